#include "base/memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace lumtra {

namespace {

std::string gib(double bytes) {
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "%.1f GiB", bytes / (1024.0 * 1024.0 * 1024.0));
  return tmp;
}

// The first number in a control-group file; "max" and unreadable files
// give 0 (no limit).
uint64_t cgroup_limit(const char* path) {
  std::ifstream f(path);
  uint64_t v = 0;
  if (!(f >> v)) return 0;
  return v;
}

// Lowers `limit` to `other` when `other` is a real limit.
void lower_to(uint64_t& limit, uint64_t other) {
  if (other != 0 && (limit == 0 || other < limit)) limit = other;
}

}  // namespace

uint64_t available_memory_bytes() {
  uint64_t limit = physical_memory_bytes();
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit r{};
    if (getrlimit(resource, &r) == 0 && r.rlim_cur != RLIM_INFINITY) lower_to(limit, r.rlim_cur);
  }
  lower_to(limit, cgroup_limit("/sys/fs/cgroup/memory.max"));                    // version 2
  const uint64_t v1 = cgroup_limit("/sys/fs/cgroup/memory/memory.limit_in_bytes");  // version 1
  if (v1 < (uint64_t{1} << 60)) lower_to(limit, v1);  // "no limit" is a huge number there
  return limit;
}

uint64_t physical_memory_bytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  uint64_t bytes;
  if (__builtin_mul_overflow(uint64_t(pages), uint64_t(page_size), &bytes)) return UINT64_MAX;
  return bytes;
}

bool estimate_run_bytes(uint64_t nodes, uint64_t channels, uint64_t& bytes) {
  uint64_t pairs, pair_bytes, node_bytes, channel_bytes;
  return !__builtin_mul_overflow(nodes, nodes, &pairs) &&
         !__builtin_mul_overflow(pairs, kBytesPerNodePair, &pair_bytes) &&
         !__builtin_mul_overflow(nodes, kBytesPerNode, &node_bytes) &&
         !__builtin_mul_overflow(channels, kBytesPerChannel, &channel_bytes) &&
         !__builtin_add_overflow(pair_bytes, node_bytes, &bytes) &&
         !__builtin_add_overflow(bytes, channel_bytes, &bytes);
}

std::string run_size_problem(uint64_t nodes, uint64_t channels, uint64_t physical) {
  uint64_t bytes = 0;
  bool fits = estimate_run_bytes(nodes, channels, bytes);
  if (physical != 0 && (!fits || bytes > physical)) {
    // The figure shown may exceed 64 bits, so it is recomputed as a real.
    double n = static_cast<double>(nodes);
    double need = n * n * kBytesPerNodePair + n * kBytesPerNode +
                  static_cast<double>(channels) * kBytesPerChannel;
    return "would need " + gib(need) + ", more than this machine's " +
           gib(static_cast<double>(physical));
  }
  uint64_t pairs;
  if (__builtin_mul_overflow(nodes, nodes, &pairs) || pairs > kMaxNodePairs)
    return "would give " + std::to_string(nodes) + " x " + std::to_string(nodes) +
           " node pairs, more than the " + std::to_string(kMaxNodePairs) +
           " that link numbers can address";
  return {};
}

}  // namespace lumtra
