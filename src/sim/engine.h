// Simulation engine: the batches. Offers Poisson traffic between all ordered
// node pairs, keeps pending arrivals and departures in the Event list, hands
// each arrival to the installed `assign`, reserves and releases capacity,
// counts arrived and blocked calls per pair and prints every batch's
// blocking. Knows nothing about the individual methods.
#pragma once

#include <cstdint>
#include <vector>

#include "run/lehmer.h"
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

// What one batch reported; kept only when a JSON document is requested.
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
  std::vector<double> batch_bp;      // blocking of every batch that had arrivals
  bool show_progress = false;        // standard error is a terminal
  bool keep_records = false;
  std::vector<BatchRecord> records;  // per batch, when keep_records
};

// Seeds the Pair streams in row order from the run's seed generator.
void seed_pair_streams(Run& run);
// Runs every batch; leaves the run totals in run.sim.
void run_batches(Run& run);
// Runs one batch (1-based number b), including its report lines.
void run_batch(Run& run, uint32_t b);
// Places one arriving call of `demand` slots from u to v at the current
// time (in parts with -m); true when placed, false when blocked.
bool place_call(Run& run, uint32_t u, uint32_t v, uint32_t demand);

}  // namespace lumtra
