// Final statistics: per-pair averages, the run totals, the average, overall
// and average-of-averages blocking, maximum, minimum, variance and attempts,
// printed on standard output and appended to the CSV Result files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/status.h"
#include "report/options.h"
#include "sim/engine.h"

namespace lumtra {

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
  // 95 % confidence half-width of `average`, the mean of the batches'
  // blocking; none when nothing was blocked.
  bool has_interval = false;
  double half_width = 0.0;
  // 95 % interval of `overall`, the pooled ratio, from the batch totals
  // (report/confidence.h); none when nothing was blocked.
  bool has_pooled_interval = false;
  double pooled_low = 0.0, pooled_high = 0.0;
  // Nothing blocked: the one-sided 95 % upper bound over the calls counted
  // replaces both intervals.
  bool nothing_blocked = false;
  double upper_bound = 0.0;
  double warmup = 0.0;  // time units of every batch not counted
  bool has_lag1 = false;
  double lag1 = 0.0;  // lag-1 autocorrelation of the batches' blocking
};

// The outcome of --precision:R: batches were added until the 95 %
// half-width of the Average Blocking Probability was at most R times it.
struct PrecisionOutcome {
  double target = 0.0;  // R
  uint32_t batches = 0;
  uint32_t max_batches = 0;
  uint32_t min_batches = 0;  // the first batch after which it was checked
  bool resolvable = true;  // some call was blocked
  double upper_bound = 0.0;  // when not: the 95 % upper bound on the blocking
  bool met = false;
  bool has_relative = false;
  double relative = 0.0;  // half-width / pooled blocking when reached
};

// Which pairs the report covers and how the Average matrix is laid out.
struct ReportShape {
  uint32_t reported_nodes = 0;  // M: all nodes with -vo, else the real nodes
  uint32_t total_nodes = 0;     // T, the stride of the Average matrix
  bool local_calls = false;     // -lo: pairs (i, i) are included
};

// Turns the run totals into the final statistics (dividing the Average
// matrix by the number of batches, in place).
FinalStats compute_statistics(RunTotals& totals, const ReportShape& shape);

// The final report of `stats`: the per-pair averages, then the figures
// from "Total Blocked" to "Average Number of attempts", the records of the
// Result files, the interval with --ci, the elapsed time since `start` and
// the end of the JSON document when there is one. Fails only when one of
// those files cannot be written.
Status report_statistics(Console& out, const FinalStats& stats, ReportOptions& options, bool confidence,
                         std::time_t start, JsonReport* json, const PrecisionOutcome* precision = nullptr);

// The lines from "Average Blocking Probability" to "Average Number of
// attempts", each starting with a line break.
void print_main_figures(Console& out, const FinalStats& stats);
// The --ci lines (the half-widths of the batch average and of the pooled
// blocking, or the upper bound when nothing was blocked, and the lag-1
// autocorrelation), each starting with a line break.
void print_interval(Console& out, const FinalStats& stats);
// The pooled blocking with its interval or upper bound, starting with a
// line break.
void print_pooled(Console& out, const FinalStats& stats);
// The --precision line, starting with a line break.
void print_precision(Console& out, const PrecisionOutcome& precision);

// The Result file records of a run, in kResultSuffixes order: with a row
// name "\n" NAME ", " VALUE, else ", " VALUE; a value that does not exist
// (the extremes when no pair is included) leaves the field empty. A name
// holding a comma or a double quote is quoted as CSV wants it.
std::vector<std::string> result_records(const FinalStats& stats, bool row_name_given, const std::string& row_name);

}  // namespace lumtra
