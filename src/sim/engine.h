// Simulation engine: the batches. Offers Poisson traffic between all ordered
// node pairs, keeps pending arrivals and departures in the Event list, hands
// each arrival to the installed method, takes and gives back capacity, and
// counts arrived and blocked calls per pair. Knows nothing about the
// individual methods.
//
// A Lane holds everything a batch changes: link state, methods, event list,
// the random streams of the traffic and the batch counters. A run simulates
// on one lane; the network, the candidate paths and the options are shared
// read-only and must outlive it. The run totals are kept apart (RunTotals)
// and grow by each batch's record in batch order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/console.h"
#include "base/lehmer.h"
#include "base/philox.h"
#include "base/running_stats.h"
#include "base/status.h"
#include "methods/table.h"
#include "network/network.h"
#include "paths/path_table.h"
#include "sim/event_list.h"
#include "sim/observer.h"
#include "sim/options.h"

namespace lumtra {

// What the lanes share during the batches.
struct SimInput {
  const Network& net;
  const PathTable& paths;
  const SimOptions& options;
  MethodSetup methods;
};

// The counts of one reported pair in one batch (node numbers from 1).
struct PairCount {
  uint32_t source;
  uint32_t destination;
  uint64_t arrived;
  uint64_t blocked;
};

// What one batch reported: every reported pair with arrivals, in row order,
// and the batch's totals.
struct BatchRecord {
  uint64_t arrived = 0;
  uint64_t blocked = 0;
  uint64_t attempts = 0;  // wavelength trials of the batch's calls
  std::vector<PairCount> pairs;
  Observations observed;  // when the lane observes
};

// The traffic streams of one pair in the replication mode.
struct PairedStreams {
  CounterStream arrivals;
  CounterStream holding;
  CounterStream sizes;
};

struct Lane {
  LinkState links;
  MethodSet methods;
  EventList events;
  double now = 0.0;
  std::vector<Lehmer> pair_streams;  // T x T
  Lehmer generator_stream;           // call sizes of grooming sources
  // Paired traffic (--parallel): the calls of a batch come from streams of
  // their own that no method touches, every call's holding time drawn as it
  // arrives, so every method sees the same calls.
  bool paired = false;
  std::vector<PairedStreams> paired_streams;  // T x T when paired
  CounterStream method_counter;               // the Method stream when paired
  double holding = 0.0;                       // the arriving call's holding time
  std::vector<uint64_t> arrived;     // T x T, this batch
  std::vector<uint64_t> blocked;     // T x T, this batch
  size_t max_records = 1;            // event records the memory budget allows
  std::FILE* progress = nullptr;     // a terminal's standard error, for progress
  uint32_t batch_count = 0;          // for the progress line
  bool observe = false;              // the observer watches the batches
  Observer observer;
};

// The run totals that the final report turns into its statistics.
struct RunTotals {
  std::vector<double> average;  // T x T sum of per-batch pair blocking
  uint64_t total_arrived = 0;
  uint64_t total_blocked = 0;
  uint64_t total_attempts = 0;
  double bp_sum = 0.0;  // sum of batch blocking over batches with arrivals
  uint32_t batches_with_arrivals = 0;
  uint32_t batches = 0;
  RunningStats batch_stats;  // blocking of the batches that had arrivals
  RatioStats batch_totals;   // arrived and blocked of every batch
};

// Sizes the lane's link state and counters for the network; the event
// records may take up to `record_budget` bytes.
void prepare_lane(Lane& lane, const SimInput& in, uint64_t record_budget);
// Seeds the Pair streams in row order from the seed generator `next_seed`.
template <class NextSeed>
void seed_pair_streams(Lane& lane, NextSeed&& next_seed) {
  for (Lehmer& s : lane.pair_streams) s.state = next_seed();
}

// Runs one batch (1-based number b) and fills `record` with what it reports.
// Stops with an error when the calls held at once would outgrow the lane's
// share of the memory budget.
Status run_batch(Lane& lane, const SimInput& in, uint32_t b, BatchRecord& record);
// Places one arriving call of `demand` time slots from u to v at the lane's
// current time (in parts with -m); true when placed, false when blocked.
bool place_call(Lane& lane, const SimInput& in, uint32_t u, uint32_t v, uint32_t demand);

// "\nBatch b:\n", printed before the batch runs.
void print_batch_header(Console& out, uint32_t b);
// Prints a batch's pair lines and its closing rule, and adds it to the run
// totals.
void report_batch(Console& out, const BatchRecord& record, uint32_t total_nodes, RunTotals& totals);

}  // namespace lumtra
