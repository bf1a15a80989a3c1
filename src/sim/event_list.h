// Event list: the pending arrivals and departures of a batch, ordered by
// time; among equal times the event inserted last comes first, and
// Placeholder events (time -1) come before everything, newest first. It is a
// 4-ary heap whose entries carry that whole order in one 128-bit key, so
// every operation is O(log n) and the pop picks children without branches.
// Event records live in a pool and are recycled with their Hop wavelength
// arrays, so the steady state allocates nothing.
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
  // `first_rank` is where the insertion ranks start counting down; tests
  // lower it to exercise the renumbering that a batch with 2^32 insertions
  // would need.
  explicit EventList(uint32_t first_rank = UINT32_MAX) : first_rank_(first_rank), rank_(first_rank) {}

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
  uint32_t head() const { return static_cast<uint32_t>(heap_[0]); }
  // Unlinks the head record (it stays allocated until recycled).
  uint32_t pop();
  // Unlinks and recycles every record; insertion ranks start again.
  void clear();

 private:
  // One 16-byte entry per pending record, compared as one unsigned integer:
  // the time (its bits mapped so that unsigned order is the order of the
  // doubles), then the insertion rank, which counts down so that the later
  // insertion is smaller, then the record id. No two entries are equal.
  using Entry = unsigned __int128;
  static Entry entry(double time, uint32_t rank, uint32_t id);
  // Ranks ran out: gives the entries fresh ranks in the same order.
  void renumber();

  std::vector<Event> pool_;
  std::vector<uint32_t> free_;
  std::vector<Entry> heap_;
  uint32_t first_rank_;
  uint32_t rank_;  // of the next insertion
  uint32_t hop_capacity_ = 0;
};

}  // namespace lumtra
