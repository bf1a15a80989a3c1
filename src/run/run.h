// Run: the context of one run of the program. It owns the configuration, the
// network, the path table, the installed methods and their state, the random
// streams and the counters, from creation to the end of the run, and is
// passed explicitly to every stage; there is no global mutable state.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "automata/automata.h"
#include "load/load.h"
#include "network/network.h"
#include "paths/path_table.h"
#include "run/config.h"
#include "base/console.h"
#include "base/lehmer.h"
#include "run/long_options.h"
#include "base/memory.h"
#include "base/status.h"
#include "rwa/fit.h"
#include "rwa/slots.h"
#include "sim/engine.h"
#include "usage/usage.h"

namespace lumtra {

// The generator that produces every stream seed: a std::mt19937, whose
// sequence the C++ standard fixes, seeded with the calendar time or -s. It
// remembers the seed it was last given so that reports can name it.
struct SeedGenerator {
  std::mt19937 engine{0};
  uint32_t last_seed = 0;
  void seed(uint32_t s) {
    engine.seed(s);
    last_seed = s;
  }
  uint32_t operator()() { return static_cast<uint32_t>(engine()); }
};

struct Run {
  Run(std::FILE* in_, std::FILE* out_, std::FILE* err_) : out(out_), in(in_), err(err_) {}

  std::vector<std::string> args;  // the command line, program path included
  Config config;
  LongOptions extras;  // --json, --ci, --version
  Console out;        // standard output
  std::FILE* in;      // standard input
  std::FILE* err;     // standard error

  // Bytes the run's tables may take in all; checked before every large
  // allocation. The machine's available memory unless a caller lowers it.
  uint64_t memory_budget = available_memory_bytes();

  SeedGenerator seeder;
  Lehmer method_stream;
  Lehmer generator_stream;

  Network net;
  PathTable paths;

  Slots slots;
  Request request;
  uint32_t usage_tag = 0;       // path index of the last usage-method placement
  double total_attempts = 0.0;  // every wavelength trial of the run
  FitState fit;
  AutomataState automata;
  UsageState usage;
  LoadState load;

  SimState sim;
  std::time_t start_time = 0;
};

// The next stream seed: odd and within 1 .. 2^31-1, so that no Lehmer
// stream can shorten its period or reach 0.
inline uint32_t next_seed(SeedGenerator& g) { return (g() >> 1) | 1u; }

// The command line: scan, stream seeds, combination checks.
Status start_run(Run& run);
// Everything before the first batch: network input, batch values, methods,
// Pair stream seeds, path table and method preparations.
Status prepare_run(Run& run);
// One whole run; returns the exit status. main() and the in-process tests
// call it with their own streams.
int lumtra_main(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace lumtra
