// Usage lists: the items a usage method can choose (the paths of a pair, or
// wavelengths), kept sorted by how many time slots of the calls in progress
// use them, so that the head is always the best choice. A most-used list runs
// from the largest count to the smallest, a least-used list the other way.
//
// Every item is always in its list exactly once; a count change moves just
// that node, walking only across the nodes it passes. Links are indices
// (-1 for none) into one node array, and many lists share one array, so
// nothing is allocated after the lists are built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumtra {

inline constexpr int32_t kNoNode = -1;

// Node i of a list stands for item i (a path index within the pair's Path
// list, or a wavelength index). Counts are 64-bit: slots x hops x calls may
// exceed 32 bits.
struct UsageNode {
  int64_t usage = 0;
  int32_t next = kNoNode;  // towards the tail
  int32_t prev = kNoNode;  // towards the head
};

struct UsageList {
  uint64_t first = 0;  // node 0 of this list in UsageListSet::nodes
  uint32_t count = 0;
  int32_t head = kNoNode;
};

// Any number of lists over one node array.
struct UsageListSet {
  std::vector<UsageNode> nodes;
  std::vector<UsageList> lists;

  // One list per entry of `counts`, with that many nodes, in index order.
  void build(const std::vector<uint32_t>& counts);
  // Every list back to count 0 on every node, in index order.
  void reset();
  UsageNode* nodes_of(const UsageList& l) { return nodes.data() + l.first; }
  const UsageNode* nodes_of(const UsageList& l) const { return nodes.data() + l.first; }
};

// The list in index order, every count 0.
void reset_usage_list(UsageNode* nodes, UsageList& list);

// A stop condition for the walks: true when the moved node must not pass
// neighbour q. Without one, only the counts decide.
struct NoBarrier {
  bool operator()(uint32_t, uint32_t) const { return false; }
};

namespace usage_detail {

inline void unlink(UsageNode* n, int32_t& head, int32_t i) {
  const int32_t p = n[i].prev, q = n[i].next;
  if (p != kNoNode) n[p].next = q;
  else head = q;
  if (q != kNoNode) n[q].prev = p;
}

// Links i in right behind a (at the head when a is none).
inline void link_after(UsageNode* n, int32_t& head, int32_t i, int32_t a) {
  const int32_t b = a == kNoNode ? head : n[a].next;
  n[i].prev = a;
  n[i].next = b;
  if (a != kNoNode) n[a].next = i;
  else head = i;
  if (b != kNoNode) n[b].prev = i;
}

// Changes node i's count by `delta` and walks it towards the head (kToHead)
// or the tail past every neighbour whose count is strictly smaller
// (kPassSmaller) or strictly greater than the new one, stopping early where
// `barrier` says so.
template <bool kToHead, bool kPassSmaller, class Barrier>
inline void change(UsageNode* n, int32_t& head, uint32_t item, int64_t delta, const Barrier& barrier) {
  const int32_t i = static_cast<int32_t>(item);
  const int64_t u = (n[i].usage += delta);
  auto passes = [&](int32_t q) {
    const bool order = kPassSmaller ? n[q].usage < u : n[q].usage > u;
    return order && !barrier(item, static_cast<uint32_t>(q));
  };
  int32_t q = kToHead ? n[i].prev : n[i].next;
  if (q == kNoNode || !passes(q)) return;
  int32_t passed;
  do {
    passed = q;
    q = kToHead ? n[q].prev : n[q].next;
  } while (q != kNoNode && passes(q));
  unlink(n, head, i);
  // Towards the head the node goes in front of the last node passed, that is
  // behind q; towards the tail it goes behind the last node passed.
  link_after(n, head, i, kToHead ? q : passed);
}

}  // namespace usage_detail

// The four moves. `amount` is a slot count (times hops for channel lists).
// Most used, descending: a raised node ends behind the nodes it equals, a
// lowered one in front of them.
template <class Barrier = NoBarrier>
inline void most_used_increase(UsageNode* n, int32_t& head, uint32_t item, int64_t amount, const Barrier& b = {}) {
  usage_detail::change<true, true>(n, head, item, amount, b);
}
template <class Barrier = NoBarrier>
inline void most_used_decrease(UsageNode* n, int32_t& head, uint32_t item, int64_t amount, const Barrier& b = {}) {
  usage_detail::change<false, false>(n, head, item, -amount, b);
}
// Least used, ascending: a raised node ends in front of the nodes it equals,
// a lowered one behind them.
template <class Barrier = NoBarrier>
inline void least_used_increase(UsageNode* n, int32_t& head, uint32_t item, int64_t amount, const Barrier& b = {}) {
  usage_detail::change<false, true>(n, head, item, amount, b);
}
template <class Barrier = NoBarrier>
inline void least_used_decrease(UsageNode* n, int32_t& head, uint32_t item, int64_t amount, const Barrier& b = {}) {
  usage_detail::change<true, false>(n, head, item, -amount, b);
}

enum class UsageOrder : uint8_t { most_used, least_used };

// The move of a placement (increase) or a departure (decrease) for a list
// kept in the given order.
template <UsageOrder kOrder, class Barrier = NoBarrier>
inline void usage_increase(UsageNode* n, int32_t& head, uint32_t item, int64_t amount, const Barrier& b = {}) {
  if constexpr (kOrder == UsageOrder::most_used) most_used_increase(n, head, item, amount, b);
  else least_used_increase(n, head, item, amount, b);
}
template <UsageOrder kOrder, class Barrier = NoBarrier>
inline void usage_decrease(UsageNode* n, int32_t& head, uint32_t item, int64_t amount, const Barrier& b = {}) {
  if constexpr (kOrder == UsageOrder::most_used) most_used_decrease(n, head, item, amount, b);
  else least_used_decrease(n, head, item, amount, b);
}

}  // namespace lumtra
