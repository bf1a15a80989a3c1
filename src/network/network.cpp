#include "network/network.h"

namespace lumtra {

bool network_size_fits(const MemoryBudget& budget, uint64_t nodes, uint64_t channels) {
  return saturating_mul(nodes, nodes) <= kMaxNodePairs && network_bytes(nodes, channels) <= budget.left();
}

Status check_network_size(const MemoryBudget& budget, uint64_t nodes, uint64_t channels, const std::string& source,
                          const std::string& item, const std::string& what) {
  if (saturating_mul(nodes, nodes) > kMaxNodePairs)
    return Status::error(source, item,
                         what + " would give " + std::to_string(nodes) + " x " + std::to_string(nodes) +
                             " node pairs, more than the " + std::to_string(kMaxNodePairs) +
                             " that link numbers can address");
  return budget.check(network_bytes(nodes, channels), source, item, what);
}

void Network::connect() {
  adjacency.resize(capacity.size());
  for (size_t i = 0; i < capacity.size(); ++i) adjacency[i] = capacity[i] != 0;
}

void LinkState::allocate(const Network& net) {
  total_nodes = net.total_nodes;
  slots_per_wavelength = net.slots_per_wavelength;
  links.assign(net.capacity.size(), Link{});
  uint64_t total = 0, words = 0;
  for (size_t i = 0; i < links.size(); ++i) {
    links[i].capacity = net.capacity[i];
    links[i].channels = total;
    links[i].free_mask = words;
    total += net.capacity[i];
    words += mask_words(net.capacity[i]);
  }
  channels.assign(total, 0);
  free_words.assign(words, 0);
}

void LinkState::reset() {
  std::fill(free_words.begin(), free_words.end(), ~uint64_t(0));
  for (Link& l : links) {
    l.free_slots = l.capacity * slots_per_wavelength;
    l.low = 0;
    l.high_end = l.capacity;
    if (l.capacity % 64) free_words[l.free_mask + l.capacity / 64] = ~uint64_t(0) >> (64 - l.capacity % 64);
  }
  std::fill(channels.begin(), channels.end(), slots_per_wavelength);
}

}  // namespace lumtra
