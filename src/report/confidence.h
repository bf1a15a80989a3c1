// Confidence intervals over independent batches: the Student t quantile,
// the half-width of the 95 % interval of a mean of batch values, that of a
// ratio of batch totals, and the one-sided bound when nothing happened.
#pragma once

#include "base/running_stats.h"

namespace lumtra {

// The p-quantile (0.5 < p < 1) of Student's t distribution with `df`
// degrees of freedom.
double student_t_quantile(double p, double df);

// Half-width of the 95 % confidence interval of the mean of the values;
// false when fewer than two values give no interval.
bool confidence_half_width(const RunningStats& values, double& half_width);

// The 95 % interval of the pooled ratio R = (sum of c) / (sum of a) over
// the batches' (a, c) totals (calls arrived and blocked). The counts c of
// rare events are skewed, and an interval centred on R whose width grows
// with R lies wholly below the truth too often when R came out low; so the
// interval is the score interval: every r with
//   (C - r A)^2 <= t^2 phi r A      (A, C the sums, t of n - 1 degrees),
// where phi, the over-dispersion of the blocked counts against their mean,
// is estimated once from the residuals of the ratio estimator (delta
// method), phi = sum (c_i - R a_i)^2 / ((n - 1) R mean(a)), and is taken
// at least 1 - R, the dispersion of independent calls. False with fewer
// than two batches or nothing blocked.
bool ratio_interval(const RatioStats& totals, double& low, double& high);

// The exact one-sided 95 % upper bound on a probability of which none of
// `trials` independent trials succeeded: 1 - 0.05^(1/trials) (about
// 3 / trials). 1 when there was no trial.
double zero_count_upper_bound(double trials);

}  // namespace lumtra
