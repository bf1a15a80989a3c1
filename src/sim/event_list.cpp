#include "sim/event_list.h"

#include <algorithm>
#include <bit>

namespace lumtra {

namespace {

// Children per node. Four halve the depth of a binary heap, and a family of
// four 16-byte entries is a cache line's worth of memory; eight cost a
// quarter more instructions per pop for no gain (bench/RESULTS.md).
constexpr size_t kArity = 4;

}  // namespace

EventList::Entry EventList::entry(double time, uint32_t rank, uint32_t id) {
  // Adding +0.0 turns -0.0 into +0.0, which the doubles hold equal. The
  // sign-magnitude bits of a double then sort as unsigned integers once
  // negative values have all their bits flipped and the others their sign.
  const uint64_t bits = std::bit_cast<uint64_t>(time + 0.0);
  const uint64_t key = bits ^ (static_cast<uint64_t>(static_cast<int64_t>(bits) >> 63) | (uint64_t(1) << 63));
  return (Entry(key) << 64) | (uint64_t(rank) << 32) | id;
}

uint32_t EventList::acquire() {
  if (free_.empty()) {
    pool_.emplace_back().hop_wavelengths.reserve(hop_capacity_);
    return static_cast<uint32_t>(pool_.size() - 1);
  }
  uint32_t id = free_.back();
  free_.pop_back();
  pool_[id].hop_wavelengths.clear();
  return id;
}

void EventList::renumber() {
  std::vector<Entry> order(heap_);
  std::sort(order.begin(), order.end(), [](Entry a, Entry b) { return uint64_t(a) < uint64_t(b); });
  // `order` runs from the newest entry to the oldest; the oldest takes the
  // top rank, and room is left for more insertions than there are entries.
  const size_t n = order.size();
  rank_ = static_cast<uint32_t>(std::clamp<uint64_t>(2 * uint64_t(n) + 1, first_rank_, UINT32_MAX));
  std::vector<uint32_t> rank_of(pool_.size());
  for (size_t k = n; k-- > 0;) rank_of[uint32_t(order[k])] = rank_--;
  for (Entry& e : heap_) {
    const uint32_t id = static_cast<uint32_t>(e);
    e = (e >> 64 << 64) | (uint64_t(rank_of[id]) << 32) | id;
  }
}

void EventList::insert(uint32_t id) {
  if (rank_ == 0) renumber();
  const Entry e = entry(pool_[id].time, rank_--, id);
  size_t i = heap_.size();
  heap_.push_back(e);
  Entry* h = heap_.data();
  while (i > 0) {
    const size_t parent = (i - 1) / kArity;
    if (!(e < h[parent])) break;
    h[i] = h[parent];
    i = parent;
  }
  h[i] = e;
}

// The hole left by the head sinks to a leaf along the earliest child, then
// the last entry rises from there; it usually belongs near the bottom, so
// this takes fewer comparisons than a plain sift-down. The earliest child
// is chosen with comparisons whose outcome is used as a number, not a
// branch: which child wins is a coin toss the processor cannot predict.
uint32_t EventList::pop() {
  const uint32_t id = static_cast<uint32_t>(heap_[0]);
  const Entry last = heap_.back();
  heap_.pop_back();
  const size_t n = heap_.size();
  if (n == 0) return id;
  Entry* h = heap_.data();
  size_t hole = 0;
  for (;;) {
    const size_t c = kArity * hole + 1;
    size_t m;
    if (c + kArity <= n) {
      const size_t a = c + (h[c + 1] < h[c]);
      const size_t b = c + 2 + (h[c + 3] < h[c + 2]);
      m = h[b] < h[a] ? b : a;
    } else if (c < n) {
      m = c;
      for (size_t k = c + 1; k < n; ++k) m = h[k] < h[m] ? k : m;
    } else {
      break;
    }
    h[hole] = h[m];
    hole = m;
  }
  while (hole > 0) {
    const size_t parent = (hole - 1) / kArity;
    if (!(last < h[parent])) break;
    h[hole] = h[parent];
    hole = parent;
  }
  h[hole] = last;
  return id;
}

void EventList::clear() {
  for (const Entry& e : heap_) free_.push_back(static_cast<uint32_t>(e));
  heap_.clear();
  rank_ = first_rank_;
}

}  // namespace lumtra
