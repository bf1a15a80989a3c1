#include "sim/event_list.h"

namespace lumtra {

uint32_t EventList::acquire() {
  if (free_.empty()) {
    pool_.emplace_back().hop_wavelengths.reserve(hop_capacity_);
    order_.push_back(0);
    return static_cast<uint32_t>(pool_.size() - 1);
  }
  uint32_t id = free_.back();
  free_.pop_back();
  pool_[id].hop_wavelengths.clear();
  return id;
}

void EventList::insert(uint32_t id) {
  order_[id] = inserted_++;
  Entry e{pool_[id].time, id};
  size_t i = heap_.size();
  heap_.push_back(e);
  while (i > 0) {
    size_t parent = (i - 1) / 2;
    if (!before(e, heap_[parent])) break;
    heap_[i] = heap_[parent];
    i = parent;
  }
  heap_[i] = e;
}

// The hole left by the head sinks to a leaf along the earlier child, then
// the last entry rises from there: about half the comparisons of a plain
// sift-down, since the last entry usually belongs near the bottom.
uint32_t EventList::pop() {
  const uint32_t id = heap_[0].id;
  const Entry last = heap_.back();
  heap_.pop_back();
  const size_t n = heap_.size();
  if (n == 0) return id;
  size_t hole = 0;
  for (size_t child = 1; child < n; child = 2 * hole + 1) {
    if (child + 1 < n && before(heap_[child + 1], heap_[child])) ++child;
    heap_[hole] = heap_[child];
    hole = child;
  }
  while (hole > 0) {
    const size_t parent = (hole - 1) / 2;
    if (!before(last, heap_[parent])) break;
    heap_[hole] = heap_[parent];
    hole = parent;
  }
  heap_[hole] = last;
  return id;
}

void EventList::clear() {
  for (const Entry& e : heap_) free_.push_back(e.id);
  heap_.clear();
  inserted_ = 0;
}

}  // namespace lumtra
