// G-Fabric switchings: variants of a path that detour through a grooming
// core of a multi-hop partial grooming node (X, core, X) at the positions
// where the path neither enters nor leaves X through one of X's own cores.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "network/network.h"
#include "paths/options.h"

namespace lumtra {

// Bounds on the number m of switchings of a variant, kept doubled as the
// hop counts they add (2m), saturated to the signed 32-bit range and then
// taken as unsigned: 2m <= max2 and 2m >= min2.
struct SwitchingWindow {
  uint32_t min2 = 0;
  uint32_t max2 = 0;
};

SwitchingWindow switching_window(const PathOptions& cfg);

// True when some node can offer a switching (type 4 with cores).
bool has_switching_nodes(const Network& net);

// Sum of the link weights (1 per existing link, 0 where the capacity is 0)
// along the path that leaves `source` and visits nodes[0 .. hops-1].
int32_t path_weight_sum(const Network& net, uint32_t source, const uint32_t* nodes, uint32_t hops);

// Produces the switching variants of one path in order: at every position
// the plain continuation first, then the detour through each core in the
// order of the node's cores. Only variants with at least one switching and
// within the window are passed to emit(nodes, hops) (nodes after the source,
// no terminator); emit returns false to stop, and so does this function.
class SwitchingExpander {
 public:
  SwitchingExpander(const Network& net, SwitchingWindow window) : net_(net), window_(window) {}

  template <class Emit>
  bool expand(uint32_t source, const uint32_t* nodes, uint32_t hops, Emit&& emit);

 private:
  template <class Emit>
  bool step(uint32_t i, uint64_t m, Emit& emit);
  // Node x(i) of the path, x(0) being the source.
  uint32_t at(uint32_t i) const { return i == 0 ? source_ : nodes_[i - 1]; }
  bool owns(uint32_t owner, uint32_t v) const;

  const Network& net_;
  SwitchingWindow window_;
  uint32_t source_ = 0;
  const uint32_t* nodes_ = nullptr;
  uint32_t hops_ = 0;
  uint64_t min_m_ = 0;
  std::vector<uint8_t> switching_;     // per position
  std::vector<uint32_t> remaining_;    // switching points at positions >= i
  std::vector<uint32_t> sequence_;
};

template <class Emit>
bool SwitchingExpander::expand(uint32_t source, const uint32_t* nodes, uint32_t hops, Emit&& emit) {
  source_ = source;
  nodes_ = nodes;
  hops_ = hops;
  min_m_ = std::max<uint64_t>(1, (uint64_t{window_.min2} + 1) / 2);
  switching_.assign(hops, 0);
  remaining_.assign(size_t(hops) + 1, 0);
  for (uint32_t i = hops; i-- > 0;) {
    const uint32_t x = at(i);
    const Node& n = net_.nodes[x];
    bool sw = n.type == kPartialGrooming && !n.virtual_nodes.empty() && !owns(x, at(i + 1)) &&
              (i == 0 || !owns(x, at(i - 1)));
    switching_[i] = sw;
    remaining_[i] = remaining_[i + 1] + sw;
  }
  if (remaining_[0] < min_m_ || window_.max2 < 2) return true;
  sequence_.clear();
  return step(0, 0, emit);
}

template <class Emit>
bool SwitchingExpander::step(uint32_t i, uint64_t m, Emit& emit) {
  if (m + remaining_[i] < min_m_) return true;  // too few switchings left
  if (i == hops_) return emit(static_cast<const uint32_t*>(sequence_.data()), static_cast<uint32_t>(sequence_.size()));
  const uint32_t next = at(i + 1);
  sequence_.push_back(next);
  if (!step(i + 1, m, emit)) return false;
  sequence_.pop_back();
  if (switching_[i] && 2 * (m + 1) <= window_.max2) {
    const uint32_t x = at(i);
    for (uint32_t core : net_.nodes[x].virtual_nodes) {
      sequence_.push_back(core);
      sequence_.push_back(x);
      sequence_.push_back(next);
      if (!step(i + 1, m + 1, emit)) return false;
      sequence_.resize(sequence_.size() - 3);
    }
  }
  return true;
}

}  // namespace lumtra
