#include "network/network.h"

#include <gtest/gtest.h>

#include <random>

namespace lumtra {
namespace {

// Three nodes in a line, 0 -> 1 with one wavelength, 1 -> 2 with three;
// four slots per wavelength.
struct Line {
  Network net;
  LinkState links;
  Line() {
    net.node_count = net.total_nodes = 3;
    net.slots_per_wavelength = 4;
    net.capacity = {0, 1, 0, 0, 0, 3, 0, 0, 0};
    net.connect();
    links.allocate(net);
    links.reset();
  }
  uint32_t id(uint32_t u, uint32_t v) const { return uint32_t(net.at(u, v)); }
};

TEST(LinkWindow, SingleWavelengthIsUsableAgainAfterRelease) {
  Line n;
  EXPECT_EQ(n.links.link(1, 0).high(), -1);  // no fibre
  EXPECT_EQ(n.links.link(1, 2).high(), 2);
  EXPECT_EQ(n.net.adjacency, (std::vector<uint8_t>{0, 1, 0, 0, 0, 1, 0, 0, 0}));
  n.links.take(n.id(0, 1), 0, 4);
  const Link& l = n.links.link(0, 1);
  EXPECT_EQ(n.links.channels_of(l)[0], 0u);
  EXPECT_EQ(l.free_slots, 0u);
  EXPECT_EQ(l.low, 1u);
  EXPECT_EQ(l.high(), -1);
  n.links.give(n.id(0, 1), 0, 4);
  EXPECT_EQ(n.links.channels_of(l)[0], 4u);
  EXPECT_EQ(l.free_slots, 4u);
  EXPECT_EQ(l.low, 0u);
  EXPECT_EQ(l.high(), 0);
}

TEST(LinkWindow, LowMovesByExactlyOneAndBackDownOnRelease) {
  Line n;
  const Link& l = n.links.link(1, 2);
  n.links.take(n.id(1, 2), 1, 4);  // wavelength 1 full, inside the window
  EXPECT_EQ(l.low, 0u);
  n.links.take(n.id(1, 2), 0, 3);  // partly used: no move
  EXPECT_EQ(l.low, 0u);
  n.links.take(n.id(1, 2), 0, 1);  // last slot at low
  EXPECT_EQ(l.low, 1u);            // not 2, although wavelength 1 is full
  n.links.give(n.id(1, 2), 0, 1);
  EXPECT_EQ(l.low, 0u);
  EXPECT_EQ(l.free_slots, 12u - 7u);
}

TEST(LinkWindow, HighFollowsTheTopWavelengthAndResetEmptiesEveryLink) {
  Line n;
  n.links.take(n.id(0, 1), 0, 4);
  n.links.take(n.id(1, 2), 2, 4);
  EXPECT_EQ(n.links.link(1, 2).high(), 1);
  EXPECT_EQ(n.links.channels_of(n.links.link(1, 2))[2], 0u);
  EXPECT_EQ(n.links.link(0, 1).free_slots, 0u);
  n.links.give(n.id(1, 2), 2, 2);
  EXPECT_EQ(n.links.link(1, 2).high(), 2);
  n.links.reset();
  EXPECT_EQ(n.links.link(1, 2).free_slots, 12u);
  EXPECT_EQ(n.links.channels_of(n.links.link(0, 1))[0], 4u);
  EXPECT_EQ(n.links.link(0, 1).low, 0u);
}


// Every bit of every link's free mask against its Channels: set exactly
// where the Channel is slots_per_wavelength, clear past the capacity.
void expect_masks_agree(const LinkState& s) {
  for (size_t i = 0; i < s.links.size(); ++i) {
    const Link& l = s.links[i];
    const uint32_t* ch = s.channels_of(l);
    const uint64_t* m = s.free_mask_of(l);
    for (uint32_t w = 0; w < mask_words(l.capacity) * 64; ++w) {
      const bool bit = (m[w / 64] >> (w % 64)) & 1;
      const bool free = w < l.capacity && ch[w] == s.slots_per_wavelength;
      ASSERT_EQ(bit, free) << "link " << i << " wavelength " << w;
    }
  }
}

// Links of 1, 64, 65 and 256 wavelengths (one, one full, two and four mask
// words) under random takes and gives of 1..4 slots of four, some of them
// filling or emptying a wavelength at a word edge; then a reset.
TEST(FreeMask, FollowsTheChannelsThroughRandomTakesAndGives) {
  Network net;
  net.node_count = net.total_nodes = 3;
  net.slots_per_wavelength = 4;
  net.capacity = {0, 1, 64, 65, 0, 0, 256, 0, 0};
  net.connect();
  LinkState s;
  s.allocate(net);
  s.reset();
  expect_masks_agree(s);
  struct Held {
    uint32_t link, w, slots;
  };
  std::vector<Held> held;
  std::mt19937 rng(17);
  const uint32_t with_fibre[] = {1, 2, 3, 6};
  for (int step = 0; step < 20000; ++step) {
    if (!held.empty() && rng() % 2) {
      const size_t k = rng() % held.size();
      s.give(held[k].link, held[k].w, held[k].slots);
      held[k] = held.back();
      held.pop_back();
    } else {
      const uint32_t link = with_fibre[rng() % 4];
      const uint32_t cap = net.capacity[link];
      // Word edges and both ends of the spectrum come up often.
      const uint32_t edges[] = {0, 63, 64, cap - 1};
      const uint32_t w = rng() % 3 ? rng() % cap : std::min(edges[rng() % 4], cap - 1);
      const uint32_t free = s.channels_of(s.links[link])[w];
      if (free == 0) continue;
      const uint32_t slots = 1 + rng() % free;
      s.take(link, w, slots);
      held.push_back({link, w, slots});
    }
    if (step % 97 == 0) expect_masks_agree(s);
  }
  expect_masks_agree(s);
  while (!held.empty()) {
    s.give(held.back().link, held.back().w, held.back().slots);
    held.pop_back();
  }
  expect_masks_agree(s);
  for (uint32_t link : with_fibre) EXPECT_EQ(s.links[link].free_slots, net.capacity[link] * 4);
  s.take(6, 255, 4);
  s.reset();
  expect_masks_agree(s);
  EXPECT_EQ(s.free_mask_of(6)[3], ~uint64_t(0));
  EXPECT_EQ(s.free_mask_of(3)[1], 1u);
}

}  // namespace
}  // namespace lumtra
