// The batches of a run, each printed, added to the run totals and to the
// JSON document in batch order.
//
// Classic: one lane; the Pair, Method and Generator streams run on from
// batch to batch, as does what the learning methods learned (the order of
// their entries).
//
// Parallel (--parallel[:N]): every batch is an independent replication with
// streams of its own (sim/replication.h) and the method state from before
// the first batch; N threads, each with its own lane, take batches in turn,
// and the main thread reports them in batch order, so the output is the
// same for every N. Network and candidate paths are shared read-only.
//
// With --precision:R batches are added after the first ones until the 95 %
// half-width of the pooled blocking (total blocked / total arrived, ratio
// estimator over the batch totals) is at most R times it, or --max-batches
// have run; the rule is checked after each batch in order from the
// --min-batches'th on, so batches a parallel run computed past the stopping
// point are discarded. While nothing is blocked the run goes on.
#pragma once

#include "base/status.h"
#include "report/json.h"
#include "report/report.h"
#include "run/run.h"

namespace lumtra {

// Runs the batches; `precision` receives the outcome of --precision.
Status run_batches(Run& run, JsonReport* json, PrecisionOutcome& precision);

}  // namespace lumtra
