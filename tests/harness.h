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

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LUMTRA_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define LUMTRA_SANITIZED 1
#endif
#endif

namespace lumtra::test {

// Sanitizers reserve shadow memory across the whole address space, so runs
// under an address-space limit cannot be tested with them.
#ifdef LUMTRA_SANITIZED
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// args exclude the program name. stdin_text is what standard input holds;
// `hooks` offers in-process plug-in tables to --plugin.
RunResult run_lumtra(const std::vector<std::string>& args, const std::string& stdin_text = "",
                     const PluginHooks& hooks = {});
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
  uint64_t file_size_limit = 0;  // bytes (0: none); a write beyond it fails instead of killing
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

  Lane& lane() { return run->lane; }
  SimInput input() const { return run->sim_input(); }
  // The state of a batch start: every link empty, fresh method state, no
  // events.
  void start_batch();
  // Takes or gives back `slots` on wavelength w of the fibre from u to v.
  void take(uint32_t u, uint32_t v, uint32_t w, uint32_t slots);
  void give(uint32_t u, uint32_t v, uint32_t w, uint32_t slots);
  // One call through the installed method, as the engine places it (no
  // capacity is taken): its wavelengths, empty when blocked, and in `path`
  // the index of its path in the pair's list.
  HopArray assign(uint32_t s, uint32_t d, uint32_t slots, uint32_t* path = nullptr);
};

// Two nodes joined by one fibre of `wavelengths` each way, with traffic
// only from node 1 to node 2: a loss system with one server per wavelength
// when the nodes do not groom.
struct SingleLink {
  int type = 1;
  int wavelengths = 4;
  int slots = 1;  // per wavelength
  int min_slots = 1;
  int max_slots = 1;
  double rate = 1.0;  // Erlangs, with holding time 1
  int batches = 10;
  double time = 1000;
};
std::string single_link(const SingleLink& link);

// Erlang's loss formula: blocking of `servers` servers offered `load` Erlangs.
double erlang_b(int servers, double load);

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
