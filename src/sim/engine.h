// Simulation engine: the batches. Offers Poisson traffic between all ordered
// node pairs, keeps pending arrivals and departures in the Event list, hands
// each arrival to the installed `assign`, reserves and releases capacity,
// counts arrived and blocked calls per pair and prints every batch's
// blocking. Knows nothing about the individual methods.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/lehmer.h"
#include "base/running_stats.h"
#include "base/status.h"
#include "sim/event_list.h"

namespace lumtra {

struct Run;

// The counts of one reported pair in one batch (node numbers from 1).
struct PairCount {
  uint32_t source;
  uint32_t destination;
  uint64_t arrived;
  uint64_t blocked;
};

// What one batch reported, handed to the caller of run_batches after each
// batch when it asks for the pairs (the JSON document).
struct BatchRecord {
  uint64_t arrived = 0;
  uint64_t blocked = 0;
  std::vector<PairCount> pairs;
};

struct SimState {
  double now = 0.0;
  EventList events;
  std::vector<Lehmer> pair_streams;  // T x T, seeded once per run
  std::vector<uint64_t> arrived;     // T x T, this batch
  std::vector<uint64_t> blocked;     // T x T, this batch
  // Run totals for the final report.
  std::vector<double> average;       // T x T sum of per-batch pair blocking
  uint64_t total_arrived = 0;
  uint64_t total_blocked = 0;
  double bp_sum = 0.0;               // sum of batch blocking over batches with arrivals
  uint32_t batches_with_arrivals = 0;
  RunningStats batch_stats;          // blocking of the batches that had arrivals
  bool show_progress = false;        // standard error is a terminal
  size_t max_records = 0;            // event records the memory budget allows
  bool keep_pairs = false;           // fill last_batch.pairs
  BatchRecord last_batch;            // the batch just reported
};

// Called after every batch with its number and record; a stop ends the run.
using AfterBatch = std::function<Status(uint32_t batch, const BatchRecord&)>;

// Seeds the Pair streams in row order from the run's seed generator.
void seed_pair_streams(Run& run);
// Runs every batch; leaves the run totals in run.sim. Stops with an error
// when the calls held at once would outgrow the run's memory budget. With
// `keep_pairs` the records handed to `after` carry every reported pair.
Status run_batches(Run& run, bool keep_pairs = false, const AfterBatch& after = {});
// Runs one batch (1-based number b), including its report lines.
Status run_batch(Run& run, uint32_t b);
// Places one arriving call of `demand` slots from u to v at the current
// time (in parts with -m); true when placed, false when blocked.
bool place_call(Run& run, uint32_t u, uint32_t v, uint32_t demand);

}  // namespace lumtra
