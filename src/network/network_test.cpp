#include "network/network.h"

#include <gtest/gtest.h>

namespace lumtra {
namespace {

// Three nodes in a line, 0 -> 1 with one wavelength, 1 -> 2 with three;
// four slots per wavelength.
Network line() {
  Network net;
  net.node_count = net.total_nodes = 3;
  net.slots_per_wavelength = 4;
  net.capacity = {0, 1, 0, 0, 0, 3, 0, 0, 0};
  net.allocate_links();
  net.reset_links();
  return net;
}

TEST(LinkWindow, SingleWavelengthIsUsableAgainAfterRelease) {
  Network net = line();
  EXPECT_EQ(net.link(1, 0).high(), -1);  // no fibre
  EXPECT_EQ(net.link(1, 2).high(), 2);
  EXPECT_EQ(net.adjacency, (std::vector<uint8_t>{0, 1, 0, 0, 0, 1, 0, 0, 0}));
  const uint32_t to[] = {1}, w[] = {0};
  net.reserve_path(0, to, 1, w, 4);
  const Link& l = net.link(0, 1);
  EXPECT_EQ(net.channels_of(l)[0], 0u);
  EXPECT_EQ(l.free_slots, 0u);
  EXPECT_EQ(l.low, 1u);
  EXPECT_EQ(l.high(), -1);
  net.release_path(0, to, 1, w, 4);
  EXPECT_EQ(net.channels_of(l)[0], 4u);
  EXPECT_EQ(l.free_slots, 4u);
  EXPECT_EQ(l.low, 0u);
  EXPECT_EQ(l.high(), 0);
}

TEST(LinkWindow, LowMovesByExactlyOneAndBackDownOnRelease) {
  Network net = line();
  const Link& l = net.link(1, 2);
  const uint32_t to[] = {2}, w1[] = {1}, w0[] = {0};
  net.reserve_path(1, to, 1, w1, 4);  // wavelength 1 full, inside the window
  EXPECT_EQ(l.low, 0u);
  net.reserve_path(1, to, 1, w0, 3);  // partly used: no move
  EXPECT_EQ(l.low, 0u);
  net.reserve_path(1, to, 1, w0, 1);  // last slot at low
  EXPECT_EQ(l.low, 1u);               // not 2, although wavelength 1 is full
  net.release_path(1, to, 1, w0, 1);
  EXPECT_EQ(l.low, 0u);
  EXPECT_EQ(l.free_slots, 12u - 7u);
}

TEST(LinkWindow, PathReservesEveryHopOnItsWavelengthAndHighFollows) {
  Network net = line();
  const uint32_t to[] = {1, 2}, w[] = {0, 2};
  net.reserve_path(0, to, 2, w, 4);
  EXPECT_EQ(net.link(1, 2).high(), 1);
  EXPECT_EQ(net.channels_of(net.link(1, 2))[2], 0u);
  EXPECT_EQ(net.link(0, 1).free_slots, 0u);
  net.release_path(0, to, 2, w, 2);
  EXPECT_EQ(net.link(1, 2).high(), 2);
  EXPECT_EQ(net.link(0, 1).low, 0u);
  net.reset_links();
  EXPECT_EQ(net.link(1, 2).free_slots, 12u);
  EXPECT_EQ(net.channels_of(net.link(0, 1))[0], 4u);
}

}  // namespace
}  // namespace lumtra
