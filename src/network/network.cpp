#include "network/network.h"

namespace lumtra {

void Network::allocate_links() {
  const uint32_t t = total_nodes;
  adjacency.assign(size_t(t) * t, 0);
  links.assign(size_t(t) * t, Link{});
  uint64_t total = 0;
  for (size_t i = 0; i < links.size(); ++i) {
    adjacency[i] = capacity[i] != 0;
    links[i].capacity = capacity[i];
    links[i].channels = total;
    total += capacity[i];
  }
  channels.assign(total, 0);
}

void Network::reset_links() {
  for (Link& l : links) {
    l.free_slots = l.capacity * slots_per_wavelength;
    l.low = 0;
    l.high_end = l.capacity;
  }
  std::fill(channels.begin(), channels.end(), slots_per_wavelength);
}

void Network::reserve_path(uint32_t source, const uint32_t* nodes, uint32_t hops,
                           const uint32_t* hop_wavelengths, uint32_t slots) {
  uint32_t u = source;
  for (uint32_t k = 0; k < hops; ++k) {
    uint32_t id = static_cast<uint32_t>(at(u, nodes[k]));
    reserve_links(&id, 1, hop_wavelengths + k, slots);
    u = nodes[k];
  }
}

void Network::release_path(uint32_t source, const uint32_t* nodes, uint32_t hops,
                           const uint32_t* hop_wavelengths, uint32_t slots) {
  uint32_t u = source;
  for (uint32_t k = 0; k < hops; ++k) {
    uint32_t id = static_cast<uint32_t>(at(u, nodes[k]));
    release_links(&id, 1, hop_wavelengths + k, slots);
    u = nodes[k];
  }
}

}  // namespace lumtra
