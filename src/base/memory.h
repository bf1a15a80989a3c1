// Memory budget of a run: before the network and the per-pair tables are
// allocated, their size is estimated with overflow-checked 64-bit arithmetic
// and compared with the machine's physical memory, so that an oversized
// network is refused with a message instead of failing in the allocator.
#pragma once

#include <cstdint>
#include <string>

namespace lumtra {

// Rough costs: every T x T table of the run together (network, paths,
// methods, counters) per ordered node pair, one node record with its
// arrays, one wavelength channel.
inline constexpr uint64_t kBytesPerNodePair = 100;
inline constexpr uint64_t kBytesPerNode = 128;
inline constexpr uint64_t kBytesPerChannel = 4;
// Link numbers (u * T + v) are 32-bit, so T * T must stay below 2^32.
inline constexpr uint64_t kMaxNodePairs = 4294967295u;

// Physical memory of this machine in bytes; 0 when the system cannot tell.
uint64_t physical_memory_bytes();

// The memory a run may use: physical memory, lowered by the process's
// address-space and data-segment limits and by the memory limit of its
// control group (a container); 0 when none of them can be read.
uint64_t available_memory_bytes();

// Bytes a run with `nodes` nodes and `channels` wavelength channels needs;
// false when the figure does not fit 64 bits.
bool estimate_run_bytes(uint64_t nodes, uint64_t channels, uint64_t& bytes);

// Why such a run cannot be held on a machine with `physical` bytes (0: not
// known, only the link-number limit applies), phrased to follow a
// description of the value that causes it, e.g. "would need 372.5 GiB, more
// than this machine's 15.6 GiB"; empty when the run fits.
std::string run_size_problem(uint64_t nodes, uint64_t channels, uint64_t physical);

}  // namespace lumtra
