#include "sim/event_list.h"

namespace lumtra {

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

void EventList::insert(uint32_t id) {
  Entry e{pool_[id].time, inserted_++, id};
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

uint32_t EventList::pop() {
  uint32_t id = heap_[0].id;
  Entry last = heap_.back();
  heap_.pop_back();
  size_t n = heap_.size();
  if (n > 0) {
    size_t i = 0;
    for (;;) {
      size_t child = 2 * i + 1;
      if (child >= n) break;
      if (child + 1 < n && before(heap_[child + 1], heap_[child])) ++child;
      if (!before(heap_[child], last)) break;
      heap_[i] = heap_[child];
      i = child;
    }
    heap_[i] = last;
  }
  return id;
}

void EventList::clear() {
  for (const Entry& e : heap_) free_.push_back(e.id);
  heap_.clear();
  inserted_ = 0;
}

}  // namespace lumtra
