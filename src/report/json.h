// The JSON document of a run (--json:FILE): version, seed, configuration,
// every batch's per-pair counts and the final statistics. Written once at
// the end of the run, to a temporary file that replaces FILE only when
// complete.
#pragma once

#include <cstdint>

#include "report/report.h"
#include "run/status.h"

namespace lumtra {

struct Run;

Status write_json(const Run& run, const FinalStats& stats, int64_t elapsed_seconds);

}  // namespace lumtra
