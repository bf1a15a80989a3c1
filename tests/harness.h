// Test harness: runs Lumtra in-process (lumtra_main with temporary files for
// its three streams) or as the built binary, and manages scratch files.
#pragma once

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
// The same through the built executable (exit status as the shell sees it).
RunResult run_binary(const std::vector<std::string>& args, const std::string& stdin_text = "");

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
