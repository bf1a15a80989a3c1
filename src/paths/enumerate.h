// Depth-first enumeration of loop-free paths from one source under
// per-destination hop bounds. The search visits neighbours in ascending
// order, so the paths of every destination come out in ascending
// lexicographic order of their node sequences. Branches that cannot reach
// any destination within its upper bound are not walked: a branch at node v
// with h hops needs at least h + distance(v, d) hops to reach d.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "network/network.h"
#include "paths/options.h"

namespace lumtra {

// Least distances between all nodes over the links with capacity != 0.
template <class Value>
struct Distances {
  uint32_t nodes = 0;
  std::vector<Value> from;  // from[u * T + v]: distance u -> v
  std::vector<Value> to;    // to[v * T + u]: the same distance, grouped by target

  Value operator()(uint32_t u, uint32_t v) const { return from[size_t(u) * nodes + v]; }
};

// Hop counts; kUnbounded where there is no route.
using HopDistances = Distances<int32_t>;
HopDistances hop_distances(const Network& net);

// Upper bounds on the hop count of loop-free paths, from the blocks
// (biconnected components) of the network with its links taken both ways: a
// loop-free path from s to d crosses the blocks on the way from s to d in
// the block tree, and within a block of k nodes takes at most k - 1 hops.
// Built once per network; lets the search stop asking for longer paths that
// cannot exist (a node hanging from one link has just the one path).
class LongestPathBounds {
 public:
  explicit LongestPathBounds(const Network& net);

  // bound[d] for every d: at least the hops of any loop-free path s -> d;
  // 0 for s itself and for nodes not connected to s.
  void from(uint32_t s, std::vector<uint32_t>& bound);

 private:
  std::vector<uint32_t> block_first_, block_nodes_;  // nodes of block b: [block_first_[b], block_first_[b + 1])
  std::vector<uint32_t> node_first_, node_blocks_;   // blocks of node v, likewise
  std::vector<uint8_t> entered_;                      // per block, scratch of from()
  std::vector<std::pair<uint32_t, uint32_t>> stack_;  // (node, hops so far), scratch of from()
};

// The walk both searches share: a depth-first walk of the loop-free paths
// from s over the links leaving each node, one step at a time.
class LoopFreeWalk {
 protected:
  LoopFreeWalk(const Network& net, uint32_t t);

  enum class Step { branch, back, done };
  // Takes the next unvisited neighbour of the node at depth h (its link is
  // next_[i], and it is pushed at stack_[h]), or backs up one node.
  Step advance(uint32_t s, uint32_t& h, uint32_t& i) {
    const uint32_t u = h == 0 ? s : stack_[h - 1];
    i = cursor_[h];
    const uint32_t end = first_[u + 1];
    while (i < end && visited_[next_[i]]) ++i;
    if (i == end) {
      if (h == 0) return Step::done;
      --h;
      visited_[stack_[h]] = 0;
      return Step::back;
    }
    cursor_[h] = i + 1;
    stack_[h] = next_[i];
    return Step::branch;
  }
  // Goes on from the node just pushed at depth h.
  void descend(uint32_t& h) {
    const uint32_t v = stack_[h];
    visited_[v] = 1;
    cursor_[++h] = first_[v];
  }
  void start(uint32_t s) {
    std::fill(visited_.begin(), visited_.end(), uint8_t{0});
    visited_[s] = 1;
    cursor_[0] = first_[s];
  }

  std::vector<uint32_t> first_;  // neighbours of u: next_[first_[u] .. first_[u + 1])
  std::vector<uint32_t> next_;
  std::vector<uint8_t> visited_;
  std::vector<uint32_t> stack_;
  std::vector<uint32_t> cursor_;
};

class PathSearch : LoopFreeWalk {
 public:
  PathSearch(const Network& net, const HopDistances& dist);

  // Nodes reachable from s, s included.
  uint32_t reachable_count(uint32_t s) const;

  // Walks every loop-free path from s and calls record(d, nodes, h) for each
  // path of h hops ending at d with lower[d] <= h <= upper[d]; `nodes` holds
  // the h nodes after s. Destinations with lower > upper take no paths.
  // record returns false to abandon the search, and run then returns false.
  template <class Record>
  bool run(uint32_t s, std::span<const uint32_t> lower, std::span<const uint32_t> upper, Record&& record);

  // Called every kStepsBetweenTicks steps of the search with the steps taken
  // so far, so that a long enumeration can show that it is alive.
  void on_progress(std::function<void(uint64_t)> tick) { tick_ = std::move(tick); }
  static constexpr uint32_t kStepsBetweenTicks = 1u << 16;

 private:
  void prepare(uint32_t s, std::span<const uint32_t> lower, std::span<const uint32_t> upper);

  const HopDistances& dist_;
  uint32_t t_;
  std::vector<int64_t> useful_;      // deepest h at which a branch at v can still record
  std::function<void(uint64_t)> tick_;
  uint64_t steps_ = 0;
  uint32_t countdown_ = kStepsBetweenTicks;
};

template <class Record>
bool PathSearch::run(uint32_t s, std::span<const uint32_t> lower, std::span<const uint32_t> upper,
                     Record&& record) {
  prepare(s, lower, upper);
  const uint32_t* lo = lower.data();
  const uint32_t* hi = upper.data();
  uint32_t h = 0, i = 0;
  for (;;) {
    if (--countdown_ == 0) {
      countdown_ = kStepsBetweenTicks;
      steps_ += kStepsBetweenTicks;
      if (tick_) tick_(steps_);
    }
    const Step step = advance(s, h, i);
    if (step == Step::done) break;
    if (step == Step::back) continue;
    const uint32_t v = next_[i];
    const uint32_t nh = h + 1;
    if (nh >= lo[v] && nh <= hi[v] && !record(v, static_cast<const uint32_t*>(stack_.data()), nh))
      return false;
    if (static_cast<int64_t>(nh) <= useful_[v]) descend(h);
  }
  return true;
}

// Path lengths in metres (net.link_metres), for distance-based costs;
// kNoRoute where there is no route.
inline constexpr int64_t kNoRoute = INT64_MAX;
using LengthDistances = Distances<int64_t>;
LengthDistances length_distances(const Network& net);

// The search of PathSearch with a length bound per destination as well:
// record(d, nodes, h, metres) for every loop-free path of h hops and the
// given length ending at d with lower[d] <= h <= upper[d] and metres <=
// most[d]. A branch at v is walked only while its length plus the least
// length from v to some destination stays within that destination's bound.
class LengthSearch : LoopFreeWalk {
 public:
  LengthSearch(const Network& net, const LengthDistances& dist);

  template <class Record>
  bool run(uint32_t s, std::span<const uint32_t> lower, std::span<const uint32_t> upper,
           std::span<const int64_t> most, Record&& record);

 private:
  void prepare(uint32_t s, std::span<const uint32_t> lower, std::span<const uint32_t> upper,
               std::span<const int64_t> most);

  const LengthDistances& dist_;
  uint32_t t_;
  std::vector<int64_t> metres_;   // length of the link to next_[i]
  std::vector<int64_t> useful_;   // longest length at which a branch at v can still record
  std::vector<int64_t> length_;   // length of the path on the stack up to depth h
  uint32_t depth_ = 0;            // hops beyond which nothing is recorded
};

template <class Record>
bool LengthSearch::run(uint32_t s, std::span<const uint32_t> lower, std::span<const uint32_t> upper,
                       std::span<const int64_t> most, Record&& record) {
  prepare(s, lower, upper, most);
  uint32_t h = 0, i = 0;
  length_[0] = 0;
  Step step;
  while ((step = advance(s, h, i)) != Step::done) {
    if (step == Step::back) continue;
    const uint32_t v = next_[i];
    const uint32_t nh = h + 1;
    const int64_t length = length_[h] + metres_[i];
    if (nh >= lower[v] && nh <= upper[v] && length <= most[v] &&
        !record(v, static_cast<const uint32_t*>(stack_.data()), nh, length))
      return false;
    if (nh < depth_ && length <= useful_[v]) {
      descend(h);
      length_[h] = length;
    }
  }
  return true;
}

}  // namespace lumtra
