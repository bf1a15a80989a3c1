#include "usage/usage_list.h"

namespace lumtra {

void reset_usage_list(UsageNode* nodes, UsageList& list) {
  if (list.count == 0) {
    list.head = kNoNode;
    return;
  }
  const int32_t last = static_cast<int32_t>(list.count) - 1;
  for (int32_t i = 0; i <= last; ++i) {
    nodes[i].usage = 0;
    nodes[i].prev = i - 1;
    nodes[i].next = i == last ? kNoNode : i + 1;
  }
  list.head = 0;
}

void UsageListSet::build(const std::vector<uint32_t>& counts) {
  lists.assign(counts.size(), UsageList{});
  uint64_t total = 0;
  for (size_t k = 0; k < counts.size(); ++k) {
    lists[k].first = total;
    lists[k].count = counts[k];
    total += counts[k];
  }
  nodes.assign(total, UsageNode{});
  reset();
}

void UsageListSet::reset() {
  for (UsageList& l : lists) reset_usage_list(nodes_of(l), l);
}

}  // namespace lumtra
