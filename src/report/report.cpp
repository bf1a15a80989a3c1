#include "report/report.h"

#include <cerrno>
#include <cstring>

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

Status report_statistics(Run& run) {
  const Config& cfg = run.config;
  const Network& net = run.net;
  SimState& sim = run.sim;
  Console& out = run.out;
  const uint32_t m = cfg.virtual_output ? net.total_nodes : net.node_count;
  auto included = [&](uint32_t i, uint32_t j) { return i != j || cfg.local_calls; };

  out.text("\n\nAverage Blocking Rates:\n\n");
  double sum_of_averages = 0.0;
  for (uint32_t i = 0; i < m; ++i)
    for (uint32_t j = 0; j < m; ++j) {
      if (!included(i, j)) continue;
      double& av = sim.average[net.at(i, j)];
      av /= cfg.batch_count;
      sum_of_averages += av;
      out.text("Av.bp[").u64(i + 1).text("][").u64(j + 1).text("] = ").real("%g", av).ch('\n');
    }
  const std::time_t end_time = std::time(nullptr);

  // Batches without any arrival have no blocking probability and are left
  // out of the average; so are divisors that are not positive.
  const double average = ratio(sim.bp_sum, sim.batches_with_arrivals);
  const int64_t mm = int64_t(m) * int64_t(m);
  const int64_t d1 = cfg.local_calls ? mm : mm - int64_t(m);
  const int64_t d2 = int64_t(m) * (int64_t(m) - 1) - 1;

  out.text("\nTotal Blocked = ").u64(sim.total_blocked);
  out.text("\nTotal Arrived = ").u64(sim.total_arrived);
  out.text("\nAverage Blocking Probability = ").real("%g", average);
  out.text("\nOverall Blocking Probability = ").real("%g", ratio(double(sim.total_blocked), double(sim.total_arrived)));
  out.text("\nAverage of Averages Blocking Probability = ").real("%g", ratio(sum_of_averages, double(d1)));
  Status status = write_result(run, 0, average);

  // Extremes in row order; ties keep the first pair. With no included pair
  // both print 0 for the pair [0][0].
  uint32_t max_i = 0, max_j = 0, min_i = 0, min_j = 0;
  double max_v = -2147483647.0, min_v = 2147483647.0, squares = 0.0;
  bool any = false;
  for (uint32_t i = 0; i < m; ++i)
    for (uint32_t j = 0; j < m; ++j) {
      if (!included(i, j)) continue;
      const double av = sim.average[net.at(i, j)];
      if (av > max_v) max_v = av, max_i = i + 1, max_j = j + 1;
      if (av < min_v) min_v = av, min_i = i + 1, min_j = j + 1;
      squares += (av - average) * (av - average);
      any = true;
    }
  if (!any) max_v = min_v = 0.0;
  out.text("\nMaximum Blocking Probability is Av.bp[").u64(max_i).text("][").u64(max_j).text("] = ").real("%g", max_v);
  if (Status s = write_result(run, 1, max_v); !s.ok() && status.ok()) status = s;
  out.text("\nMinimum Blocking Probability is Av.bp[").u64(min_i).text("][").u64(min_j).text("] = ").real("%g", min_v);
  if (Status s = write_result(run, 2, min_v); !s.ok() && status.ok()) status = s;
  const double variance = ratio(squares, double(d2));
  out.text("\nVariance = ").real("%g", variance);
  if (Status s = write_result(run, 3, variance); !s.ok() && status.ok()) status = s;
  const double attempts = ratio(run.total_attempts, double(sim.total_arrived));
  out.text("\nAverage Number of attempts = ").real("%g", attempts);
  if (Status s = write_result(run, 4, attempts); !s.ok() && status.ok()) status = s;

  out.text("\nSimulation Time: ").i64(static_cast<int64_t>(end_time - run.start_time)).text(" sec\n");
  return status;
}

}  // namespace lumtra
