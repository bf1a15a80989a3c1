// --summary: the short block that replaces the classic standard output of a
// run: the network, the methods by name, the seed, the batches, the main
// figures of the final statistics and, with --ci, the interval.
#pragma once

#include "base/console.h"
#include "report/report.h"
#include "run/run.h"

namespace lumtra {

// `precision` is the outcome of --precision, null when it was not asked for.
void print_summary(Console& out, const Run& run, const FinalStats& stats, const PrecisionOutcome* precision);

}  // namespace lumtra
