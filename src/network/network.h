// Network: the single in-memory optical network of a run. Nodes (real nodes
// first, then the Virtual nodes of grooming ports and cores in order of
// creation), the T x T fibre links with one Channel (count of free time slots)
// per wavelength, the time-slot parameters and the arrival-rate matrix.
// Built once by the network reader; afterwards only the link state changes,
// through reset_links, reserve_path and release_path.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumtra {

enum NodeType : int16_t {
  kNonGrooming = 1,
  kSingleHopGrooming = 2,     // grooming ports become Virtual nodes
  kFullGrooming = 3,
  kPartialGrooming = 4,       // grooming cores (G-Fabric) become Virtual nodes
};

struct Node {
  bool conversion = false;  // ends a segment: the wavelength may change here
  bool grooming = false;    // type 3 and every Virtual node
  int16_t type = 0;         // 1..4 for real nodes, 0 for Virtual nodes
  std::vector<uint32_t> virtual_nodes;  // ports/cores of types 2 and 4
  uint32_t virtual_count = 0;
  // Per port/core wavelengths, kept only between the node's entry and the
  // capacity rows (never with -vi).
  std::vector<uint32_t> port_out_capacity;  // port/core j -> node
  std::vector<uint32_t> port_in_capacity;   // node -> port/core j
  double start_at_grooming = 0.0;
  double end_at_grooming = 0.0;

  bool is_virtual() const { return type == 0; }
};

// One ordered node pair. Invariants between the link operations: free_slots
// is the sum of the link's Channels; every Channel lies in
// 0 .. slots_per_wavelength; every wavelength below `low` or at or above
// `high_end` is full (the window is a hint: wavelengths inside may be full).
struct Link {
  uint32_t capacity = 0;   // wavelengths; 0 = no fibre
  uint32_t low = 0;        // lower end of the free-wavelength window
  uint32_t high_end = 0;   // one past the upper end (`high` + 1, never negative)
  uint32_t free_slots = 0;
  uint64_t channels = 0;   // offset of wavelength 0 in Network::channels

  // The window's upper end as a signed index: -1 on a link without fibre.
  int64_t high() const { return static_cast<int64_t>(high_end) - 1; }
};

struct Network {
  uint32_t node_count = 0;   // N real nodes
  uint32_t total_nodes = 0;  // T = N + Virtual nodes
  std::vector<Node> nodes;
  std::vector<uint32_t> capacity;     // T x T wavelengths per fibre
  std::vector<uint8_t> adjacency;     // T x T, 1 where capacity != 0
  std::vector<Link> links;            // T x T
  std::vector<uint32_t> channels;     // free slots of every wavelength of every link
  std::vector<double> arrival_rates;  // T x T calls per time unit, scaled and redistributed
  uint32_t slots_per_wavelength = 0;
  uint32_t min_call_slots = 0;
  uint32_t max_call_slots = 0;
  uint32_t call_size_count = 0;
  uint32_t max_fibre_capacity = 0;    // only for global-channel usage assignment

  size_t at(uint32_t u, uint32_t v) const { return size_t(u) * total_nodes + v; }
  Link& link(uint32_t u, uint32_t v) { return links[at(u, v)]; }
  const Link& link(uint32_t u, uint32_t v) const { return links[at(u, v)]; }
  uint32_t* channels_of(const Link& l) { return channels.data() + l.channels; }
  const uint32_t* channels_of(const Link& l) const { return channels.data() + l.channels; }

  // Allocates the T x T tables and the Channels once T and the capacities are
  // known (capacity must be filled first).
  void allocate_links();
  // Every link back to the empty state (start of every batch).
  void reset_links();
  // Takes (gives back) `slots` on wavelength hop_wavelengths[k] of every hop
  // of a path that leaves `source` and visits `nodes[0 .. hops-1]`.
  void reserve_path(uint32_t source, const uint32_t* nodes, uint32_t hops,
                    const uint32_t* hop_wavelengths, uint32_t slots);
  void release_path(uint32_t source, const uint32_t* nodes, uint32_t hops,
                    const uint32_t* hop_wavelengths, uint32_t slots);

  // Hot-path forms over precomputed link indices (u * T + v per hop).
  void reserve_links(const uint32_t* link_ids, uint32_t hops, const uint32_t* w, uint32_t slots) {
    for (uint32_t k = 0; k < hops; ++k) {
      Link& l = links[link_ids[k]];
      uint32_t& ch = channels[l.channels + w[k]];
      ch -= slots;
      l.free_slots -= slots;
      if (ch == 0) {
        if (l.low == w[k]) ++l.low;
        if (l.high_end == w[k] + 1) --l.high_end;
      }
    }
  }
  void release_links(const uint32_t* link_ids, uint32_t hops, const uint32_t* w, uint32_t slots) {
    for (uint32_t k = 0; k < hops; ++k) {
      Link& l = links[link_ids[k]];
      channels[l.channels + w[k]] += slots;
      l.free_slots += slots;
      if (w[k] < l.low) l.low = w[k];
      if (w[k] >= l.high_end) l.high_end = w[k] + 1;
    }
  }
};

}  // namespace lumtra
