#include "base/memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace lumtra {

namespace {

// Rough costs: every T x T table of the run together per ordered node pair,
// one node record with its arrays, one wavelength channel.
constexpr uint64_t kBytesPerNodePair = 100;
constexpr uint64_t kBytesPerNode = 128;
constexpr uint64_t kBytesPerChannel = 4;

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

std::string gib(uint64_t bytes) {
  if (bytes == UINT64_MAX) return "more than 16 EiB";
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "%.1f GiB", double(bytes) / (1024.0 * 1024.0 * 1024.0));
  return tmp;
}

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
  return saturating_mul(uint64_t(pages), uint64_t(page_size));
}

Status MemoryBudget::check(uint64_t bytes, const std::string& source, const std::string& item,
                           const std::string& what) const {
  if (bytes <= left()) return Status::proceed();
  std::string problem = what + " would take " + gib(bytes) + ", more than the ";
  if (gib(left()) != gib(total_)) problem += gib(left()) + " left of the ";
  problem += gib(total_) + " this run may use";
  return Status::error(source, item, problem);
}

Status MemoryBudget::admit(uint64_t bytes, const std::string& source, const std::string& item,
                           const std::string& what) {
  Status s = check(bytes, source, item, what);
  if (s.ok() && total_ != 0) used_ += bytes;
  return s;
}

uint64_t network_bytes(uint64_t nodes, uint64_t channels) {
  return saturating_add(saturating_add(saturating_mul(saturating_mul(nodes, nodes), kBytesPerNodePair),
                                       saturating_mul(nodes, kBytesPerNode)),
                        saturating_mul(channels, kBytesPerChannel));
}

}  // namespace lumtra
