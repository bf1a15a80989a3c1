// RunningStats: mean and spread of a series of values (the blocking of each
// batch), kept in constant memory however long the series grows (Welford's
// updates). Also the sums for the lag-1 autocorrelation of the series, taken
// around its first value so that nearly equal values do not cancel.
#pragma once

#include <cmath>
#include <cstdint>

namespace lumtra {

struct RunningStats {
  uint64_t n = 0;
  double mean = 0.0;
  double m2 = 0.0;  // sum of squared deviations from the mean

  // Sums for the autocorrelation, over y = x - first.
  double first = 0.0;
  double last = 0.0;     // y of the latest value
  double lag_sum = 0.0;  // sum of y[i] * y[i+1]
  double head_sum = 0.0; // sum of y[0 .. n-2]

  void add(double x) {
    ++n;
    const double delta = x - mean;
    mean += delta / double(n);
    m2 += delta * (x - mean);
    if (n == 1) first = x;
    const double y = x - first;
    if (n > 1) {
      lag_sum += last * y;
      head_sum += last;
    }
    last = y;
  }
  // Sample variance; 0 with fewer than two values.
  double variance() const { return n > 1 ? m2 / double(n - 1) : 0.0; }
  double sd() const { return std::sqrt(variance()); }
  // The lag-1 autocorrelation is defined: three values or more, with spread.
  bool has_lag1() const { return n >= 3 && m2 > 0.0; }
  // Lag-1 autocorrelation of the series, sum (x[i]-m)(x[i+1]-m) / sum (x[i]-m)^2;
  // 0 where it is not defined.
  double lag1_autocorrelation() const {
    if (!has_lag1()) return 0.0;
    const double my = mean - first;      // the mean of y
    const double tail_sum = head_sum + last;  // sum of y[1 .. n-1], as y[0] is 0
    const double cross = lag_sum - my * head_sum - my * tail_sum + double(n - 1) * my * my;
    return cross / m2;
  }
};

// RatioStats: the batches' (arrived, blocked) totals, for the ratio of
// their sums: the means of both and their centred sums of squares and
// products (Welford's updates for two series), in constant memory.
struct RatioStats {
  uint64_t n = 0;
  double mean_a = 0.0, mean_c = 0.0;
  double saa = 0.0, scc = 0.0, sac = 0.0;

  void add(double a, double c) {
    ++n;
    const double da = a - mean_a, dc = c - mean_c;
    mean_a += da / double(n);
    mean_c += dc / double(n);
    saa += da * (a - mean_a);
    scc += dc * (c - mean_c);
    sac += da * (c - mean_c);
  }
};

}  // namespace lumtra
