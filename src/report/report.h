// Final statistics: per-pair averages, the run totals, the average, overall
// and average-of-averages blocking, maximum, minimum, variance and attempts,
// printed on standard output and appended to the CSV Result files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumtra {

struct Run;
class JsonReport;

struct PairAverage {
  uint32_t source = 0;       // counted from 1; 0 when there is no such pair
  uint32_t destination = 0;
  double value = 0.0;

  bool exists() const { return source != 0; }
};

// The final statistics of a run.
struct FinalStats {
  uint32_t reported_nodes = 0;
  std::vector<PairAverage> pair_averages;  // included pairs in row order
  uint64_t total_arrived = 0;
  uint64_t total_blocked = 0;
  double average = 0.0;   // mean over batches with arrivals of blocked / arrived
  double overall = 0.0;   // total blocked / total arrived
  double average_of_averages = 0.0;
  PairAverage maximum;    // none when no pair is included
  PairAverage minimum;
  double variance = 0.0;
  double attempts = 0.0;  // wavelength trials per arrived call
  bool has_interval = false;
  double half_width = 0.0;  // 95 % confidence half-width of `average`
};

// Turns the run totals into the final statistics (dividing the Average
// matrix by the batch count, in place).
FinalStats compute_statistics(Run& run);
// Prints the final report, ending with the elapsed time, appends the
// records of the Result files and finishes the JSON document when there is
// one. Fails only when one of those files cannot be written.
Status report_statistics(Run& run, JsonReport* json);

// The Result file records of a run, in kResultSuffixes order: with a row
// name "\n" NAME ", " VALUE, else ", " VALUE; a value that does not exist
// (the extremes when no pair is included) leaves the field empty. A name
// holding a comma or a double quote is quoted as CSV wants it.
std::vector<std::string> result_records(const FinalStats& stats, bool row_name_given, const std::string& row_name);

}  // namespace lumtra
