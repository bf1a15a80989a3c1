// Test harness: runs Lumtra in-process (lumtra_main with temporary files for
// its three streams) or as the built binary, and manages scratch files.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "run/run.h"

namespace lumtra::test {

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// args exclude the program name. stdin_text is what standard input holds.
RunResult run_lumtra(const std::vector<std::string>& args, const std::string& stdin_text = "");
// The same through the built executable (exit status as the shell sees it),
// optionally under an address-space limit and with an alarm that kills a
// run that hangs.
RunResult run_binary(const std::vector<std::string>& args, const std::string& stdin_text = "",
                     uint64_t memory_limit_mib = 0, unsigned alarm_seconds = 0);

// How start_binary connects the program: files for its three streams, an
// address-space limit (0: none) and an alarm (0: none).
struct Spawn {
  std::string stdin_path = "/dev/null";
  std::string stdout_path = "/dev/null";
  std::string stderr_path = "/dev/null";
  uint64_t memory_limit_mib = 0;
  unsigned alarm_seconds = 0;
};
// Starts the built executable and returns its process id without waiting.
pid_t start_binary(const std::vector<std::string>& args, const Spawn& how = {});

// A run taken through every stage before the first batch (command line,
// network, methods, paths), for tests that drive the engine or the methods
// directly. `status` tells whether preparation succeeded.
struct PreparedRun {
  std::FILE* in = nullptr;
  std::FILE* out = nullptr;
  std::FILE* err = nullptr;
  std::unique_ptr<Run> run;
  Status status;
  PreparedRun(const std::vector<std::string>& args, const std::string& stdin_text = "");
  ~PreparedRun();
  PreparedRun(const PreparedRun&) = delete;
  PreparedRun& operator=(const PreparedRun&) = delete;
  // Everything printed on standard output so far.
  std::string printed();
};

// A fresh directory for the calling test, removed at process end.
std::string scratch_dir();
// Writes `content` to scratch_dir()/name and returns the full path.
std::string write_file(const std::string& name, const std::string& content);
std::string read_file(const std::string& path);
// The repository's examples/ folder.
std::string example(const std::string& name);
// Output with the "Simulation Time: N sec" line blanked, for comparisons.
std::string without_elapsed(const std::string& out);

}  // namespace lumtra::test
