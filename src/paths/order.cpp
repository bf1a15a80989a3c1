#include "paths/order.h"

#include <algorithm>

#include "paths/options.h"

namespace lumtra {

namespace {

bool hops_key(int16_t mode) { return mode == kSortHops || mode == kSortHopsThenCost || mode == kSortCostThenHops; }
bool cost_key(int16_t mode) { return mode == kSortCost || mode == kSortHopsThenCost || mode == kSortCostThenHops; }

}  // namespace

bool same_priority(int16_t sort_mode, const Path& a, const Path& b) {
  if (hops_key(sort_mode) && a.hops != b.hops) return false;
  if (cost_key(sort_mode) && a.cost != b.cost) return false;
  return true;
}

void sort_paths(int16_t sort_mode, std::vector<Path>& list) {
  // Sorting by the primary key and then every run of equal primary keys by
  // the secondary key is one stable sort on the key pair.
  switch (sort_mode) {
    case kSortHops:
      std::stable_sort(list.begin(), list.end(), [](const Path& a, const Path& b) { return a.hops < b.hops; });
      break;
    case kSortCost:
      std::stable_sort(list.begin(), list.end(), [](const Path& a, const Path& b) { return a.cost < b.cost; });
      break;
    case kSortHopsThenCost:
      std::stable_sort(list.begin(), list.end(), [](const Path& a, const Path& b) {
        return a.hops != b.hops ? a.hops < b.hops : a.cost < b.cost;
      });
      break;
    case kSortCostThenHops:
      std::stable_sort(list.begin(), list.end(), [](const Path& a, const Path& b) {
        return a.cost != b.cost ? a.cost < b.cost : a.hops < b.hops;
      });
      break;
    default:
      break;
  }
}

uint32_t priority_prefix(int16_t sort_mode, std::span<const Path> list, int32_t n) {
  const size_t count = list.size();
  if (count <= 1) return 1;
  const uint32_t limit = static_cast<uint32_t>(n);
  uint32_t group = 1;
  for (size_t j = 1; j < count; ++j) {
    if (!same_priority(sort_mode, list[j], list[j - 1])) ++group;
    if (group > limit) return static_cast<uint32_t>(j);
  }
  return static_cast<uint32_t>(count);
}

void truncate_paths(std::vector<Path>& list, uint32_t n) {
  if (list.size() > n) list.resize(n);
}

void append_group_boundaries(int16_t sort_mode, std::span<const Path> list, std::vector<uint32_t>& out) {
  out.push_back(0);
  if (list.size() < 2) {
    out.push_back(1);
    return;
  }
  size_t first = 0;
  for (size_t j = 1; j < list.size(); ++j) {
    if (!same_priority(sort_mode, list[j], list[first])) {
      out.push_back(static_cast<uint32_t>(j));
      first = j;
    }
  }
  out.push_back(static_cast<uint32_t>(list.size()));
}

}  // namespace lumtra
