// Network: the optical network of a run, as read: nodes (real nodes first,
// then the Virtual nodes of grooming ports and cores in order of creation),
// the T x T fibre capacities, the time-slot parameters and the arrival-rate
// matrix. Built once by the network reader and read-only afterwards; it may
// be shared by every simulation lane.
//
// LinkState: what the calls in progress hold on every fibre, one Channel
// (count of free time slots) per wavelength, and per fibre a bitmask of the
// wavelengths that carry no call at all. Each simulation lane owns one;
// only reset(), take() and give() change it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/status.h"

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

// The state of one fibre (an ordered node pair). Invariants between the
// link operations: free_slots is the sum of the link's Channels; every
// Channel lies in 0 .. slots_per_wavelength; every wavelength below `low` or
// at or above `high_end` is full (the window is a hint: wavelengths inside
// may be full); bit w of the free mask is set exactly when Channel w equals
// slots_per_wavelength, and the bits past `capacity` are clear.
struct Link {
  uint32_t capacity = 0;   // wavelengths; 0 = no fibre
  uint32_t low = 0;        // lower end of the free-wavelength window
  uint32_t high_end = 0;   // one past the upper end (`high` + 1, never negative)
  uint32_t free_slots = 0;
  uint64_t channels = 0;   // offset of wavelength 0 in LinkState::channels
  uint64_t free_mask = 0;  // offset of its first word in LinkState::free_words

  // The window's upper end as a signed index: -1 on a link without fibre.
  int64_t high() const { return static_cast<int64_t>(high_end) - 1; }
};

struct Network {
  uint32_t node_count = 0;   // N real nodes
  uint32_t total_nodes = 0;  // T = N + Virtual nodes
  std::vector<Node> nodes;
  std::vector<uint32_t> capacity;     // T x T wavelengths per fibre
  std::vector<uint8_t> adjacency;     // T x T, 1 where capacity != 0
  std::vector<double> arrival_rates;  // T x T calls per time unit, scaled and redistributed
  // T x T fibre lengths in metres (--lengths); empty: every link costs 1 and
  // path costs are hop counts.
  std::vector<int32_t> link_metres;
  uint32_t slots_per_wavelength = 0;
  uint32_t min_call_slots = 0;
  uint32_t max_call_slots = 0;
  uint32_t call_size_count = 0;

  size_t at(uint32_t u, uint32_t v) const { return size_t(u) * total_nodes + v; }
  // Fills `adjacency` from `capacity` (capacity must be filled first).
  void connect();
};

// Whether a network of `nodes` nodes and `channels` wavelength channels can
// be held: link numbers (u * T + v) are 32-bit, and its tables must fit the
// memory budget.
bool network_size_fits(const MemoryBudget& budget, uint64_t nodes, uint64_t channels);
// The same as a status, with the message when it cannot; `what` describes
// the cause ("'9' nodes"). Checks made for every fibre or node ask
// network_size_fits first, so that no message is built while all is well.
Status check_network_size(const MemoryBudget& budget, uint64_t nodes, uint64_t channels, const std::string& source,
                          const std::string& item, const std::string& what);

// Words of 64 wavelengths that a free mask of `capacity` wavelengths takes.
inline constexpr uint64_t mask_words(uint64_t capacity) { return (capacity + 63) / 64; }

struct LinkState {
  uint32_t total_nodes = 0;
  uint32_t slots_per_wavelength = 0;
  std::vector<Link> links;         // T x T
  std::vector<uint32_t> channels;  // free slots of every wavelength of every link
  // Per link mask_words(capacity) words; bit w % 64 of word w / 64 stands
  // for wavelength w.
  std::vector<uint64_t> free_words;

  // Sizes the links, Channels and masks for `net`; every link then needs
  // reset().
  void allocate(const Network& net);
  // Every link back to the empty state (start of every batch).
  void reset();

  // Takes (gives back) `slots` on wavelength w of link `link` (u * T + v).
  // Taking never frees a wavelength and giving never fills one, so each
  // touches the mask in one direction only.
  void take(uint32_t link, uint32_t w, uint32_t slots) {
    Link& l = links[link];
    uint32_t& ch = channels[l.channels + w];
    ch -= slots;
    l.free_slots -= slots;
    free_words[l.free_mask + w / 64] &= ~(uint64_t(ch != slots_per_wavelength) << (w % 64));
    // Whether a wavelength fills up follows the kind of call; whether the
    // window then moves is a coin toss: arithmetic, not branches.
    if (ch == 0) {
      l.low += l.low == w;
      l.high_end -= l.high_end == w + 1;
    }
  }
  void give(uint32_t link, uint32_t w, uint32_t slots) {
    Link& l = links[link];
    uint32_t& ch = channels[l.channels + w];
    ch += slots;
    l.free_slots += slots;
    free_words[l.free_mask + w / 64] |= uint64_t(ch == slots_per_wavelength) << (w % 64);
    l.low = std::min(l.low, w);
    l.high_end = std::max(l.high_end, w + 1);
  }

  size_t at(uint32_t u, uint32_t v) const { return size_t(u) * total_nodes + v; }
  const Link& link(uint32_t u, uint32_t v) const { return links[at(u, v)]; }
  const uint32_t* channels_of(const Link& l) const { return channels.data() + l.channels; }
  const uint64_t* free_mask_of(const Link& l) const { return free_words.data() + l.free_mask; }
  const uint64_t* free_mask_of(uint32_t link) const { return free_words.data() + links[link].free_mask; }
};

}  // namespace lumtra
