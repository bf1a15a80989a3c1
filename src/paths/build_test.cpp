#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "paths/testing.h"

namespace lumtra::test {
namespace {

using Seqs = std::vector<std::vector<uint32_t>>;

Network square() {
  NetBuilder b(4);
  for (uint32_t k = 0; k < 4; ++k) b.both(k, (k + 1) % 4);
  return b.done();
}

TEST(PathTable, WindowOptionsChooseTheListedPaths) {
  // Default: only the paths of minimum hop count.
  NetBuilder chord(4);
  for (uint32_t k = 0; k < 4; ++k) chord.both(k, (k + 1) % 4);
  chord.both(0, 2);
  Built b = build_paths(chord.done(), {});
  ASSERT_TRUE(b.status.ok());
  EXPECT_EQ(sequences(b.table, 0, 2), (Seqs{{2}}));
  EXPECT_EQ(sequences(b.table, 1, 3), (Seqs{{0, 3}, {2, 3}}));
  EXPECT_EQ(b.table.list(1, 1).count, 0u);

  // -e 1: pairs joined by a link get the link and the next hop count.
  TableOptions e;
  e.second = 1;
  e.sort_mode = kSortHops;
  b = build_paths(square(), e);
  EXPECT_EQ(sequences(b.table, 0, 1), (Seqs{{1}, {3, 2, 1}}));
  EXPECT_EQ(sequences(b.table, 0, 2), (Seqs{{1, 2}, {3, 2}}));

  // On a complete graph of four nodes, 0 -> 1 has paths of 1, 2 and 3 hops.
  const Network k4 = complete_graph(4);
  b = build_paths(k4, e);
  EXPECT_EQ(sequences(b.table, 0, 1), (Seqs{{1}, {2, 1}, {3, 1}}));
  // With -mx the marked pairs lose the mark: every path up to -mx, no cut.
  e.max_length = 3;
  b = build_paths(k4, e);
  EXPECT_EQ(sequences(b.table, 0, 1), (Seqs{{1}, {2, 1}, {3, 1}, {2, 3, 1}, {3, 2, 1}}));

  // -mp applies after the cut by groups.
  TableOptions n;
  n.order = 3;
  n.sort_mode = kSortHops;
  b = build_paths(k4, n);
  EXPECT_EQ(b.table.list(0, 1).count, 5u);
  n.max_paths = 2;
  b = build_paths(k4, n);
  EXPECT_EQ(sequences(b.table, 0, 1), (Seqs{{1}, {2, 1}}));
  // A negative -mp keeps everything.
  n.max_paths = -1;
  b = build_paths(k4, n);
  EXPECT_EQ(b.table.list(0, 1).count, 5u);

  // -a with -mx 0 still lists one-hop paths.
  TableOptions a;
  a.all_paths = true;
  a.max_length = 0;
  b = build_paths(k4, a);
  EXPECT_EQ(sequences(b.table, 0, 1), (Seqs{{1}}));
}

// 0 - X(1) - Y(2) - 3 in a line; X has cores 4, 5 and Y has cores 6, 7.
class Switching : public testing::Test {
 protected:
  Network line(bool dead_core_link = false) {
    NetBuilder b(4);
    const uint32_t x = b.add_cores(1, 2), y = b.add_cores(2, 2);
    b.both(0, 1);
    b.both(1, 2);
    b.both(2, 3);
    for (uint32_t c : {x, x + 1}) b.both(1, c);
    for (uint32_t c : {y, y + 1}) b.both(2, c);
    if (dead_core_link) b.link(1, x + 1, 0);
    return b.done();
  }
  Seqs listed(const Network& net, int32_t px, int32_t pn, uint32_t s = 0, uint32_t d = 3) {
    TableOptions o;
    o.max_switchings = px;
    o.min_switchings = pn;
    last = build_paths(net, o);
    EXPECT_TRUE(last.status.ok());
    return sequences(last.table, s, d);
  }
  Built last;
};

TEST_F(Switching, VariantsFollowThePlainPathInRecursionOrder) {
  const Network net = line();
  EXPECT_EQ(listed(net, 0, 0), (Seqs{{1, 2, 3}}));
  EXPECT_EQ(listed(net, 1, 0), (Seqs{{1, 2, 3}, {1, 2, 6, 2, 3}, {1, 2, 7, 2, 3}, {1, 4, 1, 2, 3}, {1, 5, 1, 2, 3}}));
  EXPECT_EQ(listed(net, 2, 0),
            (Seqs{{1, 2, 3},
                  {1, 2, 6, 2, 3},
                  {1, 2, 7, 2, 3},
                  {1, 4, 1, 2, 3},
                  {1, 4, 1, 2, 6, 2, 3},
                  {1, 4, 1, 2, 7, 2, 3},
                  {1, 5, 1, 2, 3},
                  {1, 5, 1, 2, 6, 2, 3},
                  {1, 5, 1, 2, 7, 2, 3}}));
  // -pn 2 keeps the plain path and the variants with two switchings.
  EXPECT_EQ(listed(net, kUnbounded, 2),
            (Seqs{{1, 2, 3}, {1, 4, 1, 2, 6, 2, 3}, {1, 4, 1, 2, 7, 2, 3}, {1, 5, 1, 2, 6, 2, 3}, {1, 5, 1, 2, 7, 2, 3}}));
  // A negative -pn, as unsigned, asks for more switchings than any path has.
  EXPECT_EQ(listed(net, kUnbounded, -1), (Seqs{{1, 2, 3}}));
  EXPECT_EQ(last.table.paths[last.table.list(0, 3).first].hops, 3u);
}

TEST_F(Switching, NoSwitchingWhereThePathUsesTheNodesOwnCores) {
  const Network net = line();
  // Entering X from its core 4: switchings only at Y.
  EXPECT_EQ(listed(net, 1, 0, 4, 3), (Seqs{{1, 2, 3}, {1, 2, 6, 2, 3}, {1, 2, 7, 2, 3}}));
  // Leaving X into its own core: none at X (0 is not type 4).
  EXPECT_EQ(listed(net, 1, 0, 0, 5), (Seqs{{1, 5}}));
  // X as the source switches; the destination never does.
  EXPECT_EQ(listed(net, 1, 0, 1, 2), (Seqs{{2}, {4, 1, 2}, {5, 1, 2}}));
}

TEST_F(Switching, VariantThroughAMissingCoreLinkIsListedWithoutWavelengths) {
  const Network net = line(true);
  TableOptions o;
  o.max_switchings = 1;
  o.sort_mode = kSortHops;
  o.priority = true;
  Built b = build_paths(net, o);
  const PathTable& t = b.table;
  const PathList& l = t.list(0, 2);
  ASSERT_EQ(sequences(t, 0, 2), (Seqs{{1, 2}, {1, 4, 1, 2}, {1, 5, 1, 2}}));
  const Path& dead = t.paths[l.first + 2];
  EXPECT_EQ(dead.hops, 4u);
  EXPECT_EQ(dead.cost, 3);  // the link 1 -> 5 does not exist
  EXPECT_EQ(t.path_hops(dead)[1].bound, 0u);
  EXPECT_EQ(t.paths[l.first + 1].cost, 4);
  // The variants lie behind the last group boundary.
  EXPECT_EQ(std::vector<uint32_t>(t.group_boundaries(l), t.group_boundaries(l) + l.boundary_count),
            (std::vector<uint32_t>{0, 1}));
}

TEST(PathTable, HopDataFollowsSegments) {
  // s(0) - a(1) - b(2) - d(3); only a converts; a and b groom.
  NetBuilder b(4);
  b.link(0, 1, 5);
  b.link(1, 2, 3);
  b.link(2, 3, 7);
  b.node(1).conversion = true;
  b.node(1).grooming = b.node(2).grooming = true;
  Built got = build_paths(b.done(), {});
  const PathTable& t = got.table;
  ASSERT_EQ(sequences(t, 0, 3), (Seqs{{1, 2, 3}}));
  const Hop* h = t.path_hops(t.path(0, 3, 0));
  EXPECT_EQ(h[0].bound, 5u);
  EXPECT_EQ(h[1].bound, 3u);
  EXPECT_EQ(h[2].bound, 3u);
  EXPECT_EQ((std::vector<int>{h[0].ends_segment, h[1].ends_segment, h[2].ends_segment}), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ((std::vector<int>{h[0].groomed, h[1].groomed, h[2].groomed}), (std::vector<int>{0, 1, 0}));
  EXPECT_EQ((std::vector<uint32_t>{h[0].link, h[1].link, h[2].link}), (std::vector<uint32_t>{1, 6, 11}));
  // b -> d alone: its own segment.
  EXPECT_EQ(t.path_hops(t.path(2, 3, 0))[0].bound, 7u);
}

TEST(PathTable, PrintoutAndNoPathWarnings) {
  // 1 <-> 2 -> 3 and an isolated node 4; traffic 1->4 and 4->2 has no path,
  // 3->1 has none either but no traffic.
  NetBuilder b(4);
  b.both(0, 1);
  b.link(1, 2);
  b.rate(0, 3, 1.0);
  b.rate(3, 1, 0.25);
  b.rate(0, 2, 1.0);
  Built got = build_paths(b.done(), {});
  ASSERT_TRUE(got.status.ok());
  EXPECT_TRUE(got.no_path);
  EXPECT_EQ(got.out,
            "Warning: There are no paths from 1 to 4\n"
            "Warning: There are no paths from 4 to 2\n"
            "\nPath From 1 to 2: 1-2\nCost: 1\n"
            "\nPath From 1 to 3: 1-2-3\nCost: 2\n"
            "\nPath From 2 to 1: 2-1\nCost: 1\n"
            "\nPath From 2 to 3: 2-3\nCost: 1\n");

  NetBuilder fine(2);
  fine.both(0, 1);
  fine.rate(0, 1, 1.0);
  got = build_paths(fine.done(), {});
  EXPECT_FALSE(got.no_path);
  EXPECT_EQ(got.out, "\nPath From 1 to 2: 1-2\nCost: 1\n\nPath From 2 to 1: 2-1\nCost: 1\n");
}

TEST(PathTable, OversizedTableIsAnError) {
  const Network k5 = complete_graph(5);
  TableOptions all;
  all.all_paths = true;
  PathLimits few;
  few.max_entries = 100;
  Built got = build_paths(k5, all, few);
  ASSERT_FALSE(got.status.ok());
  EXPECT_NE(got.status.message.find("lumtra: command line: candidate paths: the options ask for more than"),
            std::string::npos)
      << got.status.message;
  EXPECT_TRUE(got.table.paths.empty());
  EXPECT_EQ(got.out, "");

  PathLimits small_memory;
  small_memory.max_bytes = 1 << 12;
  EXPECT_FALSE(build_paths(k5, all, small_memory).status.ok());
  EXPECT_TRUE(build_paths(k5, all).status.ok());
}

// Bounded lists on a complete graph whose full path set is far beyond
// reach: the search must stop at the depth the kept paths need, also when a
// node cannot be reached.
TEST(PathTable, BoundedListsOnLargeCompleteGraphStayShallow) {
  NetBuilder b(15);
  for (uint32_t u = 0; u < 14; ++u)
    for (uint32_t v = 0; v < 15; ++v)
      if (u != v) b.link(u, v);  // node 14 has no way out
  const Network net = b.done();
  PathLimits guard;
  guard.max_entries = 1 << 20;

  Built got = build_paths(net, {}, guard);
  ASSERT_TRUE(got.status.ok()) << got.status.message;
  EXPECT_EQ(got.table.paths.size(), 14u * 14u);

  TableOptions n;
  n.order = 2;
  n.sort_mode = kSortHops;
  got = build_paths(net, n, guard);
  ASSERT_TRUE(got.status.ok()) << got.status.message;
  EXPECT_EQ(got.table.list(0, 1).count, 13u);  // the link and 12 two-hop paths

  TableOptions e;
  e.second = 1;
  e.sort_mode = kSortCost;
  e.max_paths = 4;
  got = build_paths(net, e, guard);
  ASSERT_TRUE(got.status.ok()) << got.status.message;
  EXPECT_EQ(sequences(got.table, 0, 14), (Seqs{{14}, {1, 14}, {2, 14}, {3, 14}}));
}

// Two nodes hang from node 0 of a complete graph of 14: the paths between
// them and node 0 are forced, and asking for a second group of paths (-e,
// -n) must settle for the one group there is instead of walking the
// complete graph's 13! paths to look for a longer one.
TEST(PathTable, NodesHangingFromOneLinkKeepTheirOnlyPath) {
  NetBuilder b(16);
  for (uint32_t u = 0; u < 14; ++u)
    for (uint32_t v = 0; v < 14; ++v)
      if (u != v) b.link(u, v);
  b.both(0, 14);
  b.both(0, 15);
  const Network net = b.done();

  TableOptions e;
  e.second = 1;
  e.sort_mode = kSortHops;
  Built got = build_paths(net, e);
  ASSERT_TRUE(got.status.ok()) << got.status.message;
  EXPECT_EQ(sequences(got.table, 0, 14), (Seqs{{14}}));
  EXPECT_EQ(sequences(got.table, 14, 0), (Seqs{{0}}));

  TableOptions n;
  n.order = 2;
  n.sort_mode = kSortHops;
  got = build_paths(net, n);
  ASSERT_TRUE(got.status.ok()) << got.status.message;
  EXPECT_EQ(sequences(got.table, 14, 15), (Seqs{{0, 15}}));
  EXPECT_EQ(got.table.list(14, 1).count, 13u);  // through 0, then directly or by one more node
}

}  // namespace
}  // namespace lumtra::test
