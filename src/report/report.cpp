#include "report/report.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "base/numbers.h"
#include "report/confidence.h"
#include "report/json.h"

namespace lumtra {

namespace {

std::string csv_field(const std::string& name) {
  if (name.find_first_of(",\"") == std::string::npos) return name;
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

// A ratio that is 0 when nothing was counted.
double ratio(double num, double den) { return den > 0 ? num / den : 0.0; }

}  // namespace

FinalStats compute_statistics(RunTotals& totals, const ReportShape& shape) {
  FinalStats st;
  const uint32_t m = shape.reported_nodes;
  st.reported_nodes = m;
  auto included = [&](uint32_t i, uint32_t j) { return i != j || shape.local_calls; };

  double sum_of_averages = 0.0;
  for (uint32_t i = 0; i < m; ++i)
    for (uint32_t j = 0; j < m; ++j)
      if (included(i, j)) {
        double& av = totals.average[size_t(i) * shape.total_nodes + j];
        av /= totals.batches;
        sum_of_averages += av;
        st.pair_averages.push_back({i + 1, j + 1, av});
      }

  // Batches without any arrival have no blocking probability and are left
  // out of the average; so are divisors that are not positive.
  st.total_arrived = totals.total_arrived;
  st.total_blocked = totals.total_blocked;
  st.average = ratio(totals.bp_sum, totals.batches_with_arrivals);
  st.overall = ratio(double(totals.total_blocked), double(totals.total_arrived));
  const int64_t mm = int64_t(m) * int64_t(m);
  st.average_of_averages = ratio(sum_of_averages, double(shape.local_calls ? mm : mm - int64_t(m)));

  // Extremes in row order; ties keep the first pair. With no included pair
  // there are none.
  double max_v = -2147483647.0, min_v = 2147483647.0, squares = 0.0;
  for (const PairAverage& p : st.pair_averages) {
    if (p.value > max_v) max_v = p.value, st.maximum = p;
    if (p.value < min_v) min_v = p.value, st.minimum = p;
    squares += (p.value - st.average) * (p.value - st.average);
  }
  st.variance = ratio(squares, double(int64_t(m) * (int64_t(m) - 1) - 1));
  st.attempts = ratio(double(totals.total_attempts), double(totals.total_arrived));
  st.nothing_blocked = totals.total_blocked == 0;
  st.upper_bound = zero_count_upper_bound(double(totals.total_arrived));
  st.has_interval = !st.nothing_blocked && confidence_half_width(totals.batch_stats, st.half_width);
  st.has_pooled_interval = !st.nothing_blocked && ratio_interval(totals.batch_totals, st.pooled_low, st.pooled_high);
  st.has_lag1 = totals.batch_stats.has_lag1();
  st.lag1 = totals.batch_stats.lag1_autocorrelation();
  return st;
}

std::vector<std::string> result_records(const FinalStats& st, bool row_name_given, const std::string& row_name) {
  std::string head(row_name_given ? "\n" : "");
  if (row_name_given) head.append(csv_field(row_name));
  head.append(", ");
  auto extreme = [](const PairAverage& p) { return p.exists() ? real_text(p.value) : std::string(); };
  return {head + real_text(st.average), head + extreme(st.maximum), head + extreme(st.minimum),
          head + real_text(st.variance), head + real_text(st.attempts)};
}

void print_main_figures(Console& out, const FinalStats& st) {
  out.text("\nAverage Blocking Probability = ").real("%g", st.average);
  out.text("\nOverall Blocking Probability = ").real("%g", st.overall);
  out.text("\nAverage of Averages Blocking Probability = ").real("%g", st.average_of_averages);
  auto extreme = [&out](const char* which, const PairAverage& p) {
    out.text("\n").text(which).text(" Blocking Probability is Av.bp[");
    if (p.exists())
      out.u64(p.source).text("][").u64(p.destination).text("] = ").real("%g", p.value);
    else
      out.text("-][-] = none");
  };
  extreme("Maximum", st.maximum);
  extreme("Minimum", st.minimum);
  out.text("\nVariance = ").real("%g", st.variance);
  out.text("\nAverage Number of attempts = ").real("%g", st.attempts);
}

void print_pooled(Console& out, const FinalStats& st) {
  out.text("\nPooled Blocking Probability (total blocked / total arrived) = ").real("%g", st.overall);
  if (st.nothing_blocked)
    out.text("\nPooled Blocking Probability 95% Upper Bound (no call blocked of ")
        .u64(st.total_arrived)
        .text(") = ")
        .real("%g", st.upper_bound);
  else if (st.has_pooled_interval)
    out.text("\nPooled Blocking Probability 95% Confidence Interval (score interval over the batch totals) = ")
        .real("%g", st.pooled_low)
        .text(" to ")
        .real("%g", st.pooled_high);
  else
    out.text("\nPooled Blocking Probability 95% Confidence Interval: none, fewer than two batches");
}

void print_interval(Console& out, const FinalStats& st) {
  if (st.has_interval)
    out.text("\nAverage Blocking Probability 95% Confidence Half-Width = ").real("%g", st.half_width);
  else if (st.nothing_blocked)
    out.text("\nAverage Blocking Probability 95% Confidence Half-Width: none, no call was blocked");
  else
    out.text("\nAverage Blocking Probability 95% Confidence Half-Width: none, fewer than two batches had arrivals");
  print_pooled(out, st);
  if (st.has_lag1)
    out.text("\nLag-1 Autocorrelation of the Batch Blocking = ").real("%g", st.lag1);
  else
    out.text("\nLag-1 Autocorrelation of the Batch Blocking: none, fewer than three batches had arrivals or all "
             "blocked the same share");
}

void print_precision(Console& out, const PrecisionOutcome& p) {
  out.text("\nPrecision: ");
  if (!p.resolvable) {
    out.text("no call was blocked in ").u64(p.batches).text(" batches, so the blocking is below the 95% upper bound ");
    out.real("%g", p.upper_bound).text("; target ").real("%g", 100.0 * p.target).text("% not met");
    return;
  }
  if (p.has_relative)
    out.text("95% interval half-width = ").real("%g", 100.0 * p.relative).text("% of the Pooled Blocking Probability");
  else
    out.text("no half-width yet");
  out.text(" after ").u64(p.batches).text(" batches, target ").real("%g", 100.0 * p.target).text("% ");
  if (p.met)
    out.text("met");
  else
    out.text("not met within ").u64(p.max_batches).text(" batches");
}

Status report_statistics(Console& out, const FinalStats& st, ReportOptions& options, bool confidence,
                         std::time_t start, JsonReport* json, const PrecisionOutcome* precision) {

  out.text("\n\nAverage Blocking Rates:\n\n");
  for (const PairAverage& p : st.pair_averages)
    out.text("Av.bp[").u64(p.source).text("][").u64(p.destination).text("] = ").real("%g", p.value).ch('\n');
  const std::time_t end_time = std::time(nullptr);

  out.text("\nTotal Blocked = ").u64(st.total_blocked);
  out.text("\nTotal Arrived = ").u64(st.total_arrived);
  print_main_figures(out, st);
  Status status;
  auto keep_first_error = [&status](Status s) {
    if (!s.ok() && status.ok()) status = s;
  };
  if (!options.results.empty())
    keep_first_error(options.results.append(result_records(st, options.row_name_given, options.row_name)));
  if (st.warmup > 0.0) out.text("\nWarm-up = ").real("%g", st.warmup).text(" time units of every batch, not counted");
  if (confidence) print_interval(out, st);
  if (precision) print_precision(out, *precision);
  const int64_t elapsed = static_cast<int64_t>(end_time - start);
  out.text("\nSimulation Time: ").i64(elapsed).text(" sec\n");
  if (json) keep_first_error(json->finish(st, elapsed, precision));
  return status;
}

}  // namespace lumtra
