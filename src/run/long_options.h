// Long options: the additions to the classic command line. They start with
// two dashes, which the classic option scanner ignores, so every classic
// command line keeps its meaning. An unknown long option is an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "report/options.h"

namespace lumtra {

inline constexpr const char* kVersion = "1.0";

struct LongOptions {
  bool version = false;     // --version: print the version and exit
  bool confidence = false;  // --ci: the 95 % confidence half-width of the average blocking
  bool json = false;        // --json:FILE: one JSON document describing the run
  std::string json_path;    // "-": standard output
  bool quiet = false;       // --quiet: nothing on standard output but a JSON document
  std::string replay_path;  // --replay:FILE: the run recorded in a JSON document, again
  bool verify = false;      // --verify: the replay must give the recorded figures
  bool summary = false;     // --summary: a short block instead of the classic output
  bool strict = false;      // --strict: unknown options are refused
  bool check = false;       // --check: read and check the network, do not simulate
  // --parallel[:N]: every batch an independent replication, on N threads
  // (0: one per processor).
  bool parallel = false;
  uint32_t threads = 0;
  // --precision:R: batches are added until the 95 % half-width of the
  // pooled blocking is at most R times it, or --max-batches:M batches have
  // run.
  double precision = 0.0;  // 0: not asked
  uint32_t max_batches = 1000;
  bool max_batches_given = false;
  uint32_t min_batches = 20;  // --min-batches:K: no check before batch K
  bool min_batches_given = false;
  // --warmup:T: time units at the start of every batch that are not counted;
  // by default 10 mean holding times with --parallel or --precision.
  double warmup = 0.0;
  bool warmup_given = false;
  // --lengths:FILE: fibre lengths in km; a path then costs its length.
  std::string lengths_path;
  // --estimate[:CHOICE,...]: the reduced-load estimate of the blocking;
  // alone instead of the simulation, with "simulate" beside it;
  // "conversion" takes every node as converting, "independent" the fibres
  // of a segment as independent without conversion.
  bool estimate = false;
  bool estimate_conversion = false;
  bool estimate_independent = false;
  bool estimate_simulate = false;
  std::string report_path;  // --report:FILE.csv: per-fibre and per-pair tables
  JsonDetail json_detail = JsonDetail::full;  // --json-detail:summary|pairs|full
  bool json_detail_given = false;
  std::string names_path;  // --names:FILE: node names beside their numbers

  // Some report shows why calls block and how busy the fibres are.
  bool observes() const { return json || summary || !report_path.empty(); }
  // --plugin:FILE[:ARGS]: the assignment (or routing and assignment) of a
  // plug-in; FILE may also name a table the embedding program gave.
  std::string plugin;
};

// Reads every argument that starts with "--".
Status scan_long_options(const std::vector<std::string>& args, LongOptions& out);

// The long options, grouped (output, statistics, speed, checks), one line
// each, as the help screen lists them after the classic options.
std::string long_options_help();
// The name of every long option, in table order ("json", "ci", ...).
std::vector<std::string> long_option_names();
// An argument that is the long option `name`, with or without a value.
bool is_long_option(const std::string& arg, const char* name);

}  // namespace lumtra
