// Confidence intervals for batch means: the Student t quantile and the
// half-width of the 95 % interval of a mean over independent batches.
#pragma once

#include "base/running_stats.h"

namespace lumtra {

// The p-quantile (0.5 < p < 1) of Student's t distribution with `df`
// degrees of freedom.
double student_t_quantile(double p, double df);

// Half-width of the 95 % confidence interval of the mean of the values;
// false when fewer than two values give no interval.
bool confidence_half_width(const RunningStats& values, double& half_width);

}  // namespace lumtra
