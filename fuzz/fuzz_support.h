// Support for the libFuzzer targets: a private scratch directory, a run
// whose streams go nowhere, and checks of what a stopped run reports.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "run/run.h"

namespace lumtra::fuzz {

// Fuzz inputs build small networks; a modest budget keeps one input far
// below libFuzzer's memory limit, so that an oversized request shows up as
// the run's own "too large" message and not as an out-of-memory report.
inline constexpr uint64_t kFuzzMemoryBudget = uint64_t{256} << 20;

// One directory per fuzzing process for the files an input is written to.
inline const std::string& scratch() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/lumtra-fuzz-XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (!made) std::abort();
    return std::string(made);
  }();
  return dir;
}

inline void write_whole(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

// The streams of one run: standard input holds `stdin_text`, standard
// output and standard error are discarded.
struct Streams {
  std::FILE* in;
  std::FILE* out;
  std::FILE* err;
  explicit Streams(const std::string& stdin_text) {
    in = std::tmpfile();
    out = std::fopen("/dev/null", "w");
    err = std::fopen("/dev/null", "w");
    if (!in || !out || !err) std::abort();
    std::fwrite(stdin_text.data(), 1, stdin_text.size(), in);
    std::rewind(in);
  }
  ~Streams() {
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
  }
};

// A stop for bad input must be one line "lumtra: SOURCE: ITEM: PROBLEM"
// with a non-zero exit status; anything else is a finding.
inline void check_stop(const Status& s) {
  if (s.ok()) return;
  if (s.to_stderr) {
    const std::string& m = s.message;
    if (m.rfind("lumtra: ", 0) != 0 || m.empty() || m.back() != '\n' || m.find('\n') != m.size() - 1) std::abort();
    if (s.exit == Exit::ok) std::abort();
  }
}

// A network that was accepted must be one the simulation can use.
inline void check_network(const Run& run) {
  const Network& net = run.net;
  if (net.total_nodes < net.node_count || net.slots_per_wavelength == 0 || net.min_call_slots > net.max_call_slots)
    std::abort();
  for (double r : net.arrival_rates)
    if (!(r >= 0.0) || r > 1.7e308) std::abort();
  if (!(run.config.sim.batch_time > 0.0) || run.config.sim.batch_count == 0) std::abort();
}

// Runs the stages before the first batch with `args` (program name added).
inline void prepare(const std::vector<std::string>& args, const std::string& stdin_text) {
  Streams streams(stdin_text);
  auto run = std::make_unique<Run>(streams.in, streams.out, streams.err);
  run->budget = MemoryBudget(kFuzzMemoryBudget);
  run->args = {"lumtra"};
  run->args.insert(run->args.end(), args.begin(), args.end());
  run->seeder.seed(1);
  Status s = start_run(*run);
  if (s.ok()) s = prepare_run(*run);
  check_stop(s);
  if (s.ok()) check_network(*run);
}

}  // namespace lumtra::fuzz
