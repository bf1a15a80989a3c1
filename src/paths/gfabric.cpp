#include "paths/gfabric.h"

#include <algorithm>

namespace lumtra {

namespace {

// 2 * value, saturated to the signed 32-bit range, then taken as unsigned.
uint32_t doubled(int32_t value) {
  const int64_t d = std::clamp<int64_t>(int64_t{value} * 2, INT32_MIN, INT32_MAX);
  return static_cast<uint32_t>(static_cast<int32_t>(d));
}

}  // namespace

SwitchingWindow switching_window(const PathOptions& cfg) {
  return {doubled(cfg.min_switchings), doubled(cfg.max_switchings)};
}

bool has_switching_nodes(const Network& net) {
  return std::any_of(net.nodes.begin(), net.nodes.end(), [](const Node& n) {
    return n.type == kPartialGrooming && !n.virtual_nodes.empty();
  });
}

int32_t path_weight_sum(const Network& net, uint32_t source, const uint32_t* nodes, uint32_t hops) {
  int64_t sum = 0;
  uint32_t u = source;
  for (uint32_t k = 0; k < hops; ++k) {
    const size_t link = net.at(u, nodes[k]);
    sum += net.link_metres.empty() ? net.adjacency[link] : net.link_metres[link];
    u = nodes[k];
  }
  return static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
}

bool SwitchingExpander::owns(uint32_t owner, uint32_t v) const {
  const auto& cores = net_.nodes[owner].virtual_nodes;
  return std::find(cores.begin(), cores.end(), v) != cores.end();
}

}  // namespace lumtra
