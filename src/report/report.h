// Final statistics: per-pair averages, the run totals, the average, overall
// and average-of-averages blocking, maximum, minimum, variance and attempts,
// printed on standard output and appended to the CSV Result files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "run/status.h"

namespace lumtra {

struct Run;

// Prints the final report, ending with the elapsed time, and writes the
// Result files. Fails only when a Result file cannot be written or closed.
Status report_statistics(Run& run);

}  // namespace lumtra
