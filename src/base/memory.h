// Memory budget of a run: the bytes it may use (physical memory, lowered by
// the process's resource limits and its control group's limit), and the
// account of what the run's large structures have taken from it. Every
// check before a large allocation goes through check() or admit(), so a run
// that cannot be held is refused with one message shape,
//   SOURCE: ITEM: WHAT would take 14.9 GiB, more than the 1.0 GiB this run may use
// instead of failing in the allocator. Lives as long as the run.
#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"

namespace lumtra {

// Physical memory of this machine in bytes; 0 when the system cannot tell.
uint64_t physical_memory_bytes();

// The memory a run may use: physical memory, lowered by the process's
// address-space and data-segment limits and by the memory limit of its
// control group (a container); 0 when none of them can be read.
uint64_t available_memory_bytes();

// Size arithmetic that saturates at the largest value instead of wrapping,
// so that an impossible size still compares as too large.
inline uint64_t saturating_mul(uint64_t a, uint64_t b) {
  uint64_t r;
  return __builtin_mul_overflow(a, b, &r) ? UINT64_MAX : r;
}
inline uint64_t saturating_add(uint64_t a, uint64_t b) {
  uint64_t r;
  return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

// "N.N GiB" (or "more than 16 EiB" for a saturated size).
std::string gib(uint64_t bytes);

class MemoryBudget {
 public:
  MemoryBudget() : total_(available_memory_bytes()) {}
  // `total` 0: not known, nothing is refused.
  explicit MemoryBudget(uint64_t total) : total_(total) {}

  uint64_t total() const { return total_; }
  uint64_t used() const { return used_; }
  // What is left; the largest value when the total is not known.
  uint64_t left() const { return total_ == 0 ? UINT64_MAX : total_ - used_; }

  // Whether `bytes` more would fit, without taking them.
  Status check(uint64_t bytes, const std::string& source, const std::string& item, const std::string& what) const;
  // The same, and takes them when they fit.
  Status admit(uint64_t bytes, const std::string& source, const std::string& item, const std::string& what);

 private:
  uint64_t total_;
  uint64_t used_ = 0;
};

// Rough cost of a network of `nodes` nodes and `channels` wavelength
// channels with every T x T table the run keeps for it (network, link
// state, pair streams, counters, path lists).
uint64_t network_bytes(uint64_t nodes, uint64_t channels);
// Link numbers (u * T + v) are 32-bit, so T * T must stay below 2^32.
inline constexpr uint64_t kMaxNodePairs = 4294967295u;

}  // namespace lumtra
