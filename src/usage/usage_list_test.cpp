#include "usage/usage_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace lumtra {
namespace {

// One list of n nodes, in index order.
struct OneList {
  UsageListSet set;
  explicit OneList(uint32_t n) { set.build({n}); }
  UsageNode* n() { return set.nodes_of(set.lists[0]); }
  int32_t& head() { return set.lists[0].head; }
  int64_t usage(uint32_t i) { return n()[i].usage; }

  // Items from head to tail; also checks that the links agree both ways and
  // that every node is in the list exactly once.
  std::vector<uint32_t> order() {
    std::vector<uint32_t> items;
    int32_t prev = kNoNode;
    for (int32_t i = head(); i != kNoNode; i = n()[i].next) {
      EXPECT_EQ(n()[i].prev, prev);
      items.push_back(static_cast<uint32_t>(i));
      prev = i;
      if (items.size() > set.lists[0].count) break;
    }
    std::vector<uint32_t> sorted = items;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted.size(), set.lists[0].count);
    for (uint32_t k = 0; k < sorted.size(); ++k) EXPECT_EQ(sorted[k], k);
    return items;
  }
};

using Items = std::vector<uint32_t>;

TEST(UsageList, MostUsedRaisedNodeGoesBehindEqualsAndLoweredNodeInFrontOfThem) {
  OneList l(4);
  most_used_increase(l.n(), l.head(), 2, 1);
  EXPECT_EQ(l.order(), (Items{2, 0, 1, 3}));
  most_used_increase(l.n(), l.head(), 3, 1);  // equals 2: stays behind it
  EXPECT_EQ(l.order(), (Items{2, 3, 0, 1}));
  most_used_increase(l.n(), l.head(), 0, 2);
  EXPECT_EQ(l.order(), (Items{0, 2, 3, 1}));
  most_used_decrease(l.n(), l.head(), 0, 1);  // now equals 2 and 3: stays in front
  EXPECT_EQ(l.order(), (Items{0, 2, 3, 1}));
  most_used_decrease(l.n(), l.head(), 2, 1);  // down to 0: in front of 1
  EXPECT_EQ(l.order(), (Items{0, 3, 2, 1}));
  most_used_decrease(l.n(), l.head(), 0, 1);  // passes 3, stays in front of the zeros
  EXPECT_EQ(l.order(), (Items{3, 0, 2, 1}));
}

TEST(UsageList, LeastUsedRaisedNodeGoesInFrontOfEqualsAndLoweredNodeBehindThem) {
  OneList l(4);
  least_used_increase(l.n(), l.head(), 2, 1);  // behind every zero, zeros keep their order
  EXPECT_EQ(l.order(), (Items{0, 1, 3, 2}));
  least_used_increase(l.n(), l.head(), 0, 1);  // equals 2: in front of it
  EXPECT_EQ(l.order(), (Items{1, 3, 0, 2}));
  least_used_increase(l.n(), l.head(), 1, 1);
  EXPECT_EQ(l.order(), (Items{3, 1, 0, 2}));
  least_used_decrease(l.n(), l.head(), 2, 1);  // back to 0: behind the zero 3
  EXPECT_EQ(l.order(), (Items{3, 2, 1, 0}));
  least_used_decrease(l.n(), l.head(), 0, 1);
  EXPECT_EQ(l.order(), (Items{3, 2, 0, 1}));
}

TEST(UsageList, ResetPutsTheListBackInIndexOrderWithZeroCounts) {
  OneList l(4);
  most_used_increase(l.n(), l.head(), 3, 7);
  most_used_increase(l.n(), l.head(), 1, 2);
  l.set.reset();
  EXPECT_EQ(l.order(), (Items{0, 1, 2, 3}));
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(l.usage(i), 0);
}

// Items 0..1 and 2..4 are two priority classes.
struct TwoClasses {
  bool operator()(uint32_t a, uint32_t b) const { return (a < 2) != (b < 2); }
};

TEST(UsageList, ABarrierKeepsNodesOfDifferentClassesFromPassingEachOther) {
  OneList l(5);
  TwoClasses b;
  most_used_increase(l.n(), l.head(), 4, 10, b);
  EXPECT_EQ(l.order(), (Items{0, 1, 4, 2, 3}));
  most_used_increase(l.n(), l.head(), 3, 20, b);
  EXPECT_EQ(l.order(), (Items{0, 1, 3, 4, 2}));
  most_used_increase(l.n(), l.head(), 1, 5, b);
  EXPECT_EQ(l.order(), (Items{1, 0, 3, 4, 2}));
  most_used_decrease(l.n(), l.head(), 3, 20, b);  // to 0: behind 4, in front of the zero 2
  EXPECT_EQ(l.order(), (Items{1, 0, 4, 3, 2}));
  OneList m(5);
  least_used_increase(m.n(), m.head(), 0, 3, b);  // passes 1, not 2
  EXPECT_EQ(m.order(), (Items{1, 0, 2, 3, 4}));
  least_used_increase(m.n(), m.head(), 2, 3, b);
  least_used_decrease(m.n(), m.head(), 2, 3, b);  // back behind the zeros it equals
  EXPECT_EQ(m.order(), (Items{1, 0, 3, 4, 2}));
}

// Where a moved node must end in a sorted list, said without walking: the
// number of other nodes that stay in front of it.
template <bool kMost, bool kIncrease>
size_t expected_position(const std::vector<int64_t>& others, int64_t u) {
  auto before = [u](int64_t o) {
    if (kMost) return kIncrease ? o >= u : o > u;
    return kIncrease ? o < u : o <= u;
  };
  return size_t(std::count_if(others.begin(), others.end(), before));
}

template <bool kMost>
void random_moves(uint32_t seed) {
  std::mt19937 g(seed);
  OneList l(9);
  for (int step = 0; step < 4000; ++step) {
    const uint32_t item = g() % 9;
    const bool increase = l.usage(item) == 0 || g() % 2;
    // Large amounts: the counts must not wrap at 32 bits.
    const int64_t amount = increase ? 1 + int64_t(g() % 3) * (int64_t(1) << 31)
                                    : 1 + int64_t(g() % uint64_t(l.usage(item)));
    std::vector<uint32_t> before = l.order();
    if (increase)
      kMost ? most_used_increase(l.n(), l.head(), item, amount) : least_used_increase(l.n(), l.head(), item, amount);
    else
      kMost ? most_used_decrease(l.n(), l.head(), item, amount) : least_used_decrease(l.n(), l.head(), item, amount);
    std::vector<uint32_t> after = l.order();
    std::vector<int64_t> others;
    std::vector<uint32_t> rest_before, rest_after;
    for (uint32_t i : before)
      if (i != item) rest_before.push_back(i), others.push_back(l.usage(i));
    for (uint32_t i : after)
      if (i != item) rest_after.push_back(i);
    ASSERT_EQ(rest_before, rest_after) << "only the changed node moves";
    const size_t at = size_t(std::find(after.begin(), after.end(), item) - after.begin());
    const size_t want = increase ? expected_position<kMost, true>(others, l.usage(item))
                                 : expected_position<kMost, false>(others, l.usage(item));
    ASSERT_EQ(at, want) << "step " << step;
  }
}

TEST(UsageList, RandomMovesKeepTheListSortedWithTheTieRules) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    random_moves<true>(seed);
    random_moves<false>(seed);
  }
}

}  // namespace
}  // namespace lumtra
