// Run configuration: every setting of one run. Filled once from the command
// line, completed from the network source (batch count and time, the
// learning-automata constants), then read-only during the batches.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/append_files.h"

namespace lumtra {

// Sentinels shared by the whole program.
inline constexpr double kRealNotGiven = 4294967295.0;
inline constexpr int32_t kUnbounded = 2147483647;
inline constexpr uint32_t kNoLimit = 4294967295u;

// Method codes; the numbering is the one users see in the manual.
enum MethodCode : int16_t {
  kFirstFit = 0,
  kRandom = 1,
  kFastLA = 2,
  kExhaustiveLA = 3,
  kLastFit = 4,
  kDeterministicLA = 5,
  kMostUsed = 6,
  kLocalMostUsed = 7,
  kLeastUsed = 8,
  kLocalLeastUsed = 9,
  kLeastLoaded = 10,
  kMostLoaded = 11,
  kWeightedLeastCongestion = 12,
  kWeightedMostCongestion = 13,
};

// Sort modes of the candidate path lists.
enum SortMode : int16_t {
  kNoSort = -1,
  kSortHops = 1,
  kSortCost = 2,
  kSortHopsThenCost = 3,
  kSortCostThenHops = 4,
};

// The five CSV Result files of -of, in their fixed order: the prefix
// followed by each suffix. They are opened (created) when the option is
// scanned and each receives one record at the end of the run.
inline constexpr std::array<const char*, 5> kResultSuffixes = {
    "_Blocking_Probability.csv", "_Max_Blocking_Probability.csv", "_Min_Blocking_Probability.csv",
    "_Variance.csv", "_Av_No_Attempts.csv"};

struct Config {
  int16_t routing_code = -1;
  int16_t wa_code = -1;
  double alpha = kRealNotGiven;
  double epsilon = kRealNotGiven;
  uint32_t batch_count = 0;   // 0: not given, read from the network source
  double batch_time = 0.0;    // 0: not given
  double departure_rate = 1.0;
  double rate_factor = 1.0;
  double rate_cofactor = 1.0;
  bool multi_wavelength = false;
  bool all_paths = false;
  int32_t max_path_length = kUnbounded;
  int32_t min_path_length = 0;
  int32_t max_paths = 0;  // 0 or negative: no limit
  int32_t length_margin = 0;
  int32_t path_order = 1;
  int32_t second_path_limit = 0;
  int16_t sort_mode = kNoSort;
  bool priority_routing = false;
  bool single_la_list = false;
  int32_t max_switchings = kUnbounded;
  int32_t min_switchings = 0;
  bool virtual_input = false;
  bool virtual_output = false;
  bool local_calls = false;
  uint32_t max_attempts = kNoLimit;
  int network_source = -1;     // argument index of -nt, -2 for -i, -1 none
  std::string network_file;    // text after "-nt:" of the deciding -nt
  bool generator_given = false;
  std::string generator_file;  // text after "-g:"
  int32_t sink_node = -1;      // 0-based, -1 none
  bool row_name_given = false;
  std::string row_name;        // text after "-or:"
  AppendFiles results;         // the Result files, in kResultSuffixes order

  // Derived once the learning-automata constants are fixed.
  double one_minus_alpha = 0.0;
  double one_minus_epsilon = 0.0;

  bool interactive() const { return network_source == -2; }
  double rate_scale() const { return rate_factor / rate_cofactor; }
  // The learning-automata constants are needed by fast LA routing and by
  // fast or exhaustive LA assignment.
  bool needs_la_constants() const {
    return routing_code == kFastLA || wa_code == kFastLA || wa_code == kExhaustiveLA;
  }
};

}  // namespace lumtra
