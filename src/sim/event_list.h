// Event list: the pending arrivals and departures of a batch, ordered by
// time; among equal times the event inserted last comes first, and
// Placeholder events (time -1) come before everything, newest first. It is a
// binary heap keyed by (time, insertion number descending), so every
// operation is O(log n). Event records live in a pool and are recycled with
// their Hop wavelength arrays, so the steady state allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumtra {

enum EventKind : uint16_t { kArrival = 0, kDeparture = 1 };

inline constexpr double kPlaceholderTime = -1.0;

struct Event {
  double time = 0.0;
  uint32_t source = 0;
  uint32_t destination = 0;
  uint32_t path = 0;        // index into PathTable::paths (departures, placeholders)
  uint32_t slots = 0;       // demand (arrivals) or slots held per hop
  uint16_t kind = kArrival; // a placeholder becomes a departure only when released
  uint32_t usage_tag = 0;   // the run's usage tag when the record was made
  std::vector<uint32_t> hop_wavelengths;  // owned; capacity kept when the record is recycled
};

class EventList {
 public:
  // A fresh record from the pool (its hop array empty, capacity retained).
  uint32_t acquire();
  // New records reserve room for this many hops, so that a recycled record
  // never has to grow its array later.
  void set_hop_capacity(uint32_t hops) { hop_capacity_ = hops; }
  // Gives a record that is not in the list back to the pool.
  void recycle(uint32_t id) { free_.push_back(id); }
  Event& operator[](uint32_t id) { return pool_[id]; }
  const Event& operator[](uint32_t id) const { return pool_[id]; }

  void insert(uint32_t id);
  bool empty() const { return heap_.empty(); }
  size_t size() const { return heap_.size(); }
  // Records allocated so far, in the list or in the pool.
  size_t records() const { return pool_.size(); }
  // Bytes one record costs at most with a Hop wavelength array of `hops`
  // entries, counting the spare room of the growing pool, heap and free list.
  static size_t record_bytes(size_t hops) {
    return 2 * (sizeof(Event) + sizeof(Entry) + sizeof(uint32_t)) + sizeof(uint32_t) * hops + 32;
  }
  uint32_t head() const { return heap_[0].id; }
  // Unlinks the head record (it stays allocated until recycled).
  uint32_t pop();
  // Unlinks and recycles every record; insertion numbers start again.
  void clear();

 private:
  // 16 bytes, so that four entries share a cache line. Ties in time are
  // rare (placeholders, coincidences); they are broken by the insertion
  // numbers kept beside the pool: the later insertion comes first.
  struct Entry {
    double time;
    uint32_t id;
  };
  bool before(const Entry& a, const Entry& b) const {
    return a.time < b.time || (a.time == b.time && order_[a.id] > order_[b.id]);
  }
  std::vector<Event> pool_;
  std::vector<uint64_t> order_;  // insertion number of every pooled record
  std::vector<uint32_t> free_;
  std::vector<Entry> heap_;
  uint64_t inserted_ = 0;
  uint32_t hop_capacity_ = 0;
};

}  // namespace lumtra
