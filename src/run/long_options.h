// Long options: the additions to the classic command line. They start with
// two dashes, which the classic option scanner ignores, so every classic
// command line keeps its meaning. An unknown long option is an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumtra {

inline constexpr const char* kVersion = "1.0";

struct LongOptions {
  bool version = false;     // --version: print the version and exit
  bool confidence = false;  // --ci: the 95 % confidence half-width of the average blocking
  bool json = false;        // --json:FILE: one JSON document describing the run
  std::string json_path;
  bool summary = false;     // --summary: a short block instead of the classic output
  bool strict = false;      // --strict: unknown options are refused
  bool check = false;       // --check: read and check the network, do not simulate
  // --parallel[:N]: every batch an independent replication, on N threads
  // (0: one per processor).
  bool parallel = false;
  uint32_t threads = 0;
  // --precision:R: batches are added until the 95 % half-width of the
  // average blocking is at most R times the average, or --max-batches:M
  // batches have run.
  double precision = 0.0;  // 0: not asked
  uint32_t max_batches = 1000;
  bool max_batches_given = false;
  // --plugin:FILE[:ARGS]: the assignment (or routing and assignment) of a
  // plug-in; FILE may also name a table the embedding program gave.
  std::string plugin;
  // --lengths:FILE: fibre lengths in km; a path then costs its length.
  std::string lengths_path;
};

// Reads every argument that starts with "--".
Status scan_long_options(const std::vector<std::string>& args, LongOptions& out);

}  // namespace lumtra
