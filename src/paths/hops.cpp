#include <algorithm>

#include "network/network.h"
#include "paths/build.h"

namespace lumtra {

void fill_hop_data(const Network& net, uint32_t source, const uint32_t* nodes, uint32_t hops, Hop* out) {
  if (hops == 0) return;
  const uint32_t destination = nodes[hops - 1];
  uint32_t u = source;
  uint32_t segment_start = 0;
  uint32_t bound = 4294967295u;
  for (uint32_t k = 0; k < hops; ++k) {
    const uint32_t v = nodes[k];
    const uint32_t link = static_cast<uint32_t>(net.at(u, v));
    bound = std::min(bound, net.capacity[link]);
    const bool ends = v == destination || net.nodes[v].conversion;
    out[k].link = link;
    out[k].ends_segment = ends;
    out[k].groomed = net.nodes[u].grooming && net.nodes[v].grooming;
    if (ends) {
      for (uint32_t j = segment_start; j <= k; ++j) out[j].bound = bound;
      segment_start = k + 1;
      bound = 4294967295u;
    }
    u = v;
  }
}

}  // namespace lumtra
