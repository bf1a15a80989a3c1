// Run: the context of one run of the program. It owns the configuration,
// the network, the path table, the simulation lane and the run totals from
// creation to the end of the run, and hands each stage only what it uses;
// there is no global mutable state.
#pragma once

#include <cstdint>
#include <cstdio>
#include <unistd.h>
#include <ctime>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/console.h"
#include "base/lehmer.h"
#include "base/memory.h"
#include "base/status.h"
#include "methods/table.h"
#include "network/network.h"
#include "network/reader.h"
#include "plugin/plugin.h"
#include "paths/path_table.h"
#include "run/config.h"
#include "run/long_options.h"
#include "sim/engine.h"

namespace lumtra {

// The generator that produces every stream seed: a std::mt19937, whose
// sequence the C++ standard fixes, seeded with the calendar time or -s. It
// remembers the seed it was last given so that reports can name it.
struct SeedGenerator {
  std::mt19937 engine{0};
  uint32_t last_seed = 0;
  bool given = false;  // -s was on the command line
  void seed(uint32_t s) {
    engine.seed(s);
    last_seed = s;
  }
  uint32_t operator()() { return static_cast<uint32_t>(engine()); }
};

// The next stream seed: odd and within 1 .. 2^31-1, so that no Lehmer
// stream can shorten its period or reach 0.
inline uint32_t next_seed(SeedGenerator& g) { return (g() >> 1) | 1u; }

struct Run {
  Run(std::FILE* in_, std::FILE* out_, std::FILE* err_)
      : out(out_), in(in_), err(err_), progress(err_ && isatty(fileno(err_)) ? err_ : nullptr) {}

  std::vector<std::string> args;  // the command line, program path included
  Config config;
  LongOptions extras;  // the long options
  Console out;         // standard output
  std::FILE* in;       // standard input
  std::FILE* err;      // standard error
  std::FILE* progress; // standard error when it is a terminal, else null

  // The memory the run may use, and what its tables have taken of it.
  MemoryBudget budget;

  SeedGenerator seeder;
  Lehmer method_stream;
  Lehmer generator_stream;

  std::string source;  // the network source in messages
  ReadStage reached = ReadStage::nothing;  // how far it was read
  Network net;
  PathTable paths;
  PluginHooks hooks;    // tables the embedding program offers to --plugin
  LoadedPlugin plugin;  // outlives the lanes' instances
  Lane lane;
  uint64_t method_bytes = 0;  // what the methods of one lane took from the budget
  RunTotals totals;
  std::time_t start_time = 0;

  MethodSetup method_setup() const {
    return {config.methods, config.paths, net, paths, plugin.loaded() ? &plugin : nullptr};
  }
  SimInput sim_input() const { return {net, paths, config.sim, method_setup()}; }
};

// The command line: scan, stream seeds, combination checks.
Status start_run(Run& run);
// Everything the run takes from its network source: the network (drawn
// first with -g, and written to its file once read), the batch values and
// the learning-automata constants.
Status read_source(Run& run);
// The candidate paths; `missing` receives the pairs with traffic and none.
Status build_paths(Run& run, std::vector<std::pair<uint32_t, uint32_t>>& missing);
// The error that stops a run at the first pair (0-based) with traffic and
// no candidate path.
Status no_candidate_path(const Run& run, std::pair<uint32_t, uint32_t> pair);
// Everything before the first batch: the network source, Pair stream
// seeds, path table, methods and the lane.
Status prepare_run(Run& run);
// One whole run; returns the exit status. main() and the in-process tests
// call it with their own streams.
int lumtra_main(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err);
// The same for a program that embeds Lumtra: `--plugin:NAME[:ARGS]` takes
// the callback table that `hooks` gives under NAME, with its user pointer,
// instead of opening a file.
int lumtra_main(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err, const PluginHooks& hooks);

}  // namespace lumtra
