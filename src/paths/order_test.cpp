#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "paths/order.h"
#include "run/config.h"

namespace lumtra {
namespace {

// Paths given as (hops, cost); `nodes` keeps the original position.
std::vector<Path> paths_of_keys(std::vector<std::pair<uint32_t, int32_t>> keys) {
  std::vector<Path> out;
  for (size_t i = 0; i < keys.size(); ++i) out.push_back(Path{uint32_t(i), keys[i].second, keys[i].first, 0});
  return out;
}

std::vector<std::pair<uint32_t, int32_t>> keys_of(const std::vector<Path>& l) {
  std::vector<std::pair<uint32_t, int32_t>> out;
  for (const Path& p : l) out.emplace_back(p.hops, p.cost);
  return out;
}

std::vector<uint32_t> boundaries(int16_t mode, const std::vector<Path>& l) {
  std::vector<uint32_t> b;
  append_group_boundaries(mode, l, b);
  return b;
}

using Keys = std::vector<std::pair<uint32_t, int32_t>>;

TEST(PathOrder, SortModesOrderByTheirKeysAndKeepEqualKeysInPlace) {
  const Keys mixed = {{2, 5}, {1, 7}, {2, 3}, {1, 4}};
  auto sorted = [&](int16_t mode) {
    auto l = paths_of_keys(mixed);
    sort_paths(mode, l);
    return keys_of(l);
  };
  EXPECT_EQ(sorted(kSortHopsThenCost), (Keys{{1, 4}, {1, 7}, {2, 3}, {2, 5}}));
  EXPECT_EQ(sorted(kSortCostThenHops), (Keys{{2, 3}, {1, 4}, {2, 5}, {1, 7}}));
  EXPECT_EQ(sorted(kSortHops), (Keys{{1, 7}, {1, 4}, {2, 5}, {2, 3}}));
  EXPECT_EQ(sorted(kSortCost), (Keys{{2, 3}, {1, 4}, {2, 5}, {1, 7}}));
  EXPECT_EQ(sorted(kNoSort), mixed);

  // Extreme keys are compared, not subtracted.
  auto extremes = paths_of_keys({{4000000000u, INT_MAX}, {1, INT_MIN}, {0, 0}});
  sort_paths(kSortCost, extremes);
  EXPECT_EQ(keys_of(extremes), (Keys{{1, INT_MIN}, {0, 0}, {4000000000u, INT_MAX}}));
  sort_paths(kSortHops, extremes);
  EXPECT_EQ(keys_of(extremes), (Keys{{0, 0}, {1, INT_MIN}, {4000000000u, INT_MAX}}));

  // Equal keys keep their relative order.
  auto ties = paths_of_keys({{3, 3}, {1, 1}, {3, 3}, {1, 1}, {3, 3}});
  sort_paths(kSortHopsThenCost, ties);
  std::vector<uint32_t> order;
  for (const Path& p : ties) order.push_back(p.nodes);
  EXPECT_EQ(order, (std::vector<uint32_t>{1, 3, 0, 2, 4}));
}

TEST(PathOrder, PriorityPrefixCountsGroupsAsUnsigned) {
  const auto l = paths_of_keys({{2, 2}, {2, 2}, {3, 3}, {4, 4}, {4, 4}});
  EXPECT_EQ(priority_prefix(kSortHops, l, 2), 3u);
  EXPECT_EQ(priority_prefix(kSortHops, l, 1), 2u);
  EXPECT_EQ(priority_prefix(kSortHops, l, 3), 5u);
  EXPECT_EQ(priority_prefix(kSortHops, l, 0), 1u);
  EXPECT_EQ(priority_prefix(kSortHops, l, -1), 5u);
  EXPECT_EQ(priority_prefix(kSortHops, {}, 2), 1u);
  EXPECT_EQ(priority_prefix(kSortHops, std::span(l).first(1), 0), 1u);

  // Equal hops, different cost: separate groups once cost is a key.
  const auto costs = paths_of_keys({{2, 2}, {2, 5}, {2, 5}});
  EXPECT_EQ(priority_prefix(kSortHops, costs, 1), 3u);
  EXPECT_EQ(priority_prefix(kSortHopsThenCost, costs, 1), 1u);
  EXPECT_EQ(priority_prefix(kSortCostThenHops, costs, 1), 1u);

  auto cut = paths_of_keys({{1, 1}, {1, 1}, {2, 2}});
  truncate_paths(cut, priority_prefix(kSortHops, cut, 1));
  EXPECT_EQ(cut.size(), 2u);
  truncate_paths(cut, 7);
  EXPECT_EQ(cut.size(), 2u);
}

TEST(PathOrder, GroupBoundariesSplitWhereTheKeysChange) {
  EXPECT_EQ(boundaries(kSortHops, {}), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(boundaries(kSortHops, paths_of_keys({{3, 3}})), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(boundaries(kSortCost, paths_of_keys({{3, 3}, {3, 3}, {3, 3}})), (std::vector<uint32_t>{0, 3}));
  const auto sorted = paths_of_keys({{1, 4}, {1, 7}, {2, 3}, {2, 5}});
  EXPECT_EQ(boundaries(kSortHops, sorted), (std::vector<uint32_t>{0, 2, 4}));
  EXPECT_EQ(boundaries(kSortHopsThenCost, sorted), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  // A group is measured against its first path, not the previous one.
  EXPECT_EQ(boundaries(kSortCost, paths_of_keys({{1, 1}, {1, 1}, {2, 2}, {3, 2}})),
            (std::vector<uint32_t>{0, 2, 4}));
}

}  // namespace
}  // namespace lumtra
