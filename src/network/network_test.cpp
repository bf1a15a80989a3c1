#include "network/network.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace lumtra
