#include "report/report.h"

#include <cerrno>
#include <cstring>

#include "report/confidence.h"
#include "report/json.h"
#include "run/run.h"

namespace lumtra {

namespace {

// Appends one value to a Result file and closes it: with a row name the value
// goes on a new line after the name, otherwise it extends the last line.
Status write_result(Run& run, size_t which, double value) {
  ResultFiles& r = run.config.results;
  std::FILE* f = r.files[which];
  if (!f) return Status::proceed();
  r.files[which] = nullptr;
  bool ok = true;
  if (run.config.row_name_given) ok = std::fprintf(f, "\n%s", run.config.row_name.c_str()) >= 0;
  ok = std::fprintf(f, ", %g", value) >= 0 && ok;
  ok = std::fflush(f) == 0 && !std::ferror(f) && ok;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) return Status::error(r.names[which], "result file", std::string("cannot be written: ") + std::strerror(errno));
  return Status::proceed();
}

// A ratio that is 0 when nothing was counted.
double ratio(double num, double den) { return den > 0 ? num / den : 0.0; }

}  // namespace

FinalStats compute_statistics(Run& run) {
  const Config& cfg = run.config;
  const Network& net = run.net;
  SimState& sim = run.sim;
  FinalStats st;
  const uint32_t m = cfg.virtual_output ? net.total_nodes : net.node_count;
  st.reported_nodes = m;
  auto included = [&](uint32_t i, uint32_t j) { return i != j || cfg.local_calls; };

  double sum_of_averages = 0.0;
  for (uint32_t i = 0; i < m; ++i)
    for (uint32_t j = 0; j < m; ++j)
      if (included(i, j)) {
        double& av = sim.average[net.at(i, j)];
        av /= cfg.batch_count;
        sum_of_averages += av;
        st.pair_averages.push_back({i + 1, j + 1, av});
      }

  // Batches without any arrival have no blocking probability and are left
  // out of the average; so are divisors that are not positive.
  st.total_arrived = sim.total_arrived;
  st.total_blocked = sim.total_blocked;
  st.average = ratio(sim.bp_sum, sim.batches_with_arrivals);
  st.overall = ratio(double(sim.total_blocked), double(sim.total_arrived));
  const int64_t mm = int64_t(m) * int64_t(m);
  st.average_of_averages = ratio(sum_of_averages, double(cfg.local_calls ? mm : mm - int64_t(m)));

  // Extremes in row order; ties keep the first pair. With no included pair
  // both are 0 for the pair [0][0].
  double max_v = -2147483647.0, min_v = 2147483647.0, squares = 0.0;
  for (const PairAverage& p : st.pair_averages) {
    if (p.value > max_v) max_v = p.value, st.maximum = p;
    if (p.value < min_v) min_v = p.value, st.minimum = p;
    squares += (p.value - st.average) * (p.value - st.average);
  }
  st.variance = ratio(squares, double(int64_t(m) * (int64_t(m) - 1) - 1));
  st.attempts = ratio(run.total_attempts, double(sim.total_arrived));
  st.has_interval = confidence_half_width(sim.batch_bp, st.half_width);
  return st;
}

Status report_statistics(Run& run) {
  Console& out = run.out;
  const FinalStats st = compute_statistics(run);

  out.text("\n\nAverage Blocking Rates:\n\n");
  for (const PairAverage& p : st.pair_averages)
    out.text("Av.bp[").u64(p.source).text("][").u64(p.destination).text("] = ").real("%g", p.value).ch('\n');
  const std::time_t end_time = std::time(nullptr);

  out.text("\nTotal Blocked = ").u64(st.total_blocked);
  out.text("\nTotal Arrived = ").u64(st.total_arrived);
  out.text("\nAverage Blocking Probability = ").real("%g", st.average);
  out.text("\nOverall Blocking Probability = ").real("%g", st.overall);
  out.text("\nAverage of Averages Blocking Probability = ").real("%g", st.average_of_averages);
  Status status = write_result(run, 0, st.average);
  auto keep_first_error = [&status](Status s) {
    if (!s.ok() && status.ok()) status = s;
  };
  out.text("\nMaximum Blocking Probability is Av.bp[").u64(st.maximum.source).text("][");
  out.u64(st.maximum.destination).text("] = ").real("%g", st.maximum.value);
  keep_first_error(write_result(run, 1, st.maximum.value));
  out.text("\nMinimum Blocking Probability is Av.bp[").u64(st.minimum.source).text("][");
  out.u64(st.minimum.destination).text("] = ").real("%g", st.minimum.value);
  keep_first_error(write_result(run, 2, st.minimum.value));
  out.text("\nVariance = ").real("%g", st.variance);
  keep_first_error(write_result(run, 3, st.variance));
  out.text("\nAverage Number of attempts = ").real("%g", st.attempts);
  keep_first_error(write_result(run, 4, st.attempts));

  if (run.extras.confidence) {
    if (st.has_interval)
      out.text("\nAverage Blocking Probability 95% Confidence Half-Width = ").real("%g", st.half_width);
    else
      out.text("\nAverage Blocking Probability 95% Confidence Half-Width: none, fewer than two batches had arrivals");
  }
  const int64_t elapsed = static_cast<int64_t>(end_time - run.start_time);
  out.text("\nSimulation Time: ").i64(elapsed).text(" sec\n");
  if (run.extras.json) keep_first_error(write_json(run, st, elapsed));
  return status;
}

}  // namespace lumtra
