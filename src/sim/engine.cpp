#include "sim/engine.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "run/run.h"
#include "rwa/install.h"

namespace lumtra {

namespace {

// Exponential variate with the given rate from a stream.
inline double exponential(Lehmer& stream, double rate) { return -std::log(1.0 - stream.uniform()) / rate; }

void schedule_arrival(Run& run, uint32_t u, uint32_t v) {
  SimState& sim = run.sim;
  const Network& net = run.net;
  const size_t pair = net.at(u, v);
  uint32_t id = sim.events.acquire();
  Event& e = sim.events[id];
  e.time = sim.now + exponential(sim.pair_streams[pair], net.arrival_rates[pair]);
  e.kind = kArrival;
  e.source = u;
  e.destination = v;
  if (net.nodes[u].grooming) {
    // A grooming source asks for min_call_slots .. max_call_slots slots.
    uint64_t sizes = uint64_t(net.max_call_slots) - net.min_call_slots + 1;
    e.slots = static_cast<uint32_t>(static_cast<uint64_t>(run.generator_stream.uniform() * double(sizes)) +
                                    net.min_call_slots);
  } else {
    e.slots = net.slots_per_wavelength;
  }
  sim.events.insert(id);
}

// Takes (gives back) the call's slots on its wavelength on every hop.
void reserve(Run& run, const Event& e) {
  const Path& p = run.paths.paths[e.path];
  const Hop* hops = run.paths.path_hops(p);
  for (uint32_t k = 0; k < p.hops; ++k) run.net.reserve_links(&hops[k].link, 1, &e.hop_wavelengths[k], e.slots);
}

void release(Run& run, const Event& e) {
  const Path& p = run.paths.paths[e.path];
  const Hop* hops = run.paths.path_hops(p);
  for (uint32_t k = 0; k < p.hops; ++k) run.net.release_links(&hops[k].link, 1, &e.hop_wavelengths[k], e.slots);
}

// Disposes of a record that has left the list: the method's bookkeeping for
// a departure, then back to the pool.
void dispose(Run& run, uint32_t id) {
  if (run.sim.events[id].kind == kDeparture && run.slots.event_release)
    run.slots.event_release(run, run.sim.events[id]);
  run.sim.events.recycle(id);
}

bool head_is_placeholder(const EventList& events) {
  return !events.empty() && events[events.head()].time == kPlaceholderTime;
}

// One call on one wavelength per hop.
bool place_whole(Run& run, uint32_t u, uint32_t v, uint32_t demand) {
  SimState& sim = run.sim;
  uint32_t id = sim.events.acquire();
  Event& e = sim.events[id];
  if (!run.slots.assign(run, u, v, e.hop_wavelengths, e.path, demand)) {
    sim.events.recycle(id);
    return false;
  }
  e.time = sim.now + exponential(sim.pair_streams[run.net.at(u, v)], run.config.departure_rate);
  e.kind = kDeparture;
  e.source = u;
  e.destination = v;
  e.slots = demand;
  e.usage_tag = run.usage_tag;
  sim.events.insert(id);
  reserve(run, e);
  return true;
}

// A call whose demand may be split over several placements, each part on its
// own path and wavelengths; the parts wait as Placeholder events at the front
// of the list and depart together, or are all given back when the call is
// blocked.
bool place_in_parts(Run& run, uint32_t u, uint32_t v, uint32_t demand) {
  SimState& sim = run.sim;
  uint32_t remaining = demand, k = demand;
  while (k > 0) {
    uint32_t id = sim.events.acquire();
    Event& e = sim.events[id];
    if (run.slots.assign(run, u, v, e.hop_wavelengths, e.path, k)) {
      e.time = kPlaceholderTime;
      e.kind = kArrival;
      e.source = u;
      e.destination = v;
      e.slots = k;
      e.usage_tag = run.usage_tag;
      reserve(run, e);
      sim.events.insert(id);
      remaining -= k;
      if (remaining < k) k = remaining;
    } else {
      sim.events.recycle(id);
      --k;
    }
  }
  if (remaining == 0) {
    const double departs = sim.now + exponential(sim.pair_streams[run.net.at(u, v)], run.config.departure_rate);
    while (head_is_placeholder(sim.events)) {
      uint32_t id = sim.events.pop();
      Event& e = sim.events[id];
      run.usage_tag = e.usage_tag;
      e.time = departs;
      e.kind = kDeparture;
      sim.events.insert(id);
    }
    return true;
  }
  while (head_is_placeholder(sim.events)) {
    uint32_t id = sim.events.pop();
    Event& e = sim.events[id];
    release(run, e);
    e.kind = kDeparture;
    dispose(run, id);
  }
  return false;
}

// Adds the counts of pair (i, j) and, without -vo, of the Virtual nodes of
// both ends.
void pair_counts(const Run& run, uint32_t i, uint32_t j, uint64_t& a, uint64_t& c) {
  const Network& net = run.net;
  const SimState& sim = run.sim;
  if (run.config.virtual_output) {
    a = sim.arrived[net.at(i, j)];
    c = sim.blocked[net.at(i, j)];
    return;
  }
  a = c = 0;
  auto add_from = [&](uint32_t x) {
    a += sim.arrived[net.at(x, j)];
    c += sim.blocked[net.at(x, j)];
    for (uint32_t y : net.nodes[j].virtual_nodes) {
      a += sim.arrived[net.at(x, y)];
      c += sim.blocked[net.at(x, y)];
    }
  };
  add_from(i);
  for (uint32_t x : net.nodes[i].virtual_nodes) add_from(x);
}

void report_batch(Run& run) {
  const Network& net = run.net;
  SimState& sim = run.sim;
  const uint32_t m = run.config.virtual_output ? net.total_nodes : net.node_count;
  uint64_t batch_arrived = 0, batch_blocked = 0;
  BatchRecord& record = sim.last_batch;
  record.pairs.clear();
  for (uint32_t i = 0; i < m; ++i) {
    for (uint32_t j = 0; j < m; ++j) {
      if (run.config.virtual_output && i == j) continue;
      uint64_t a, c;
      pair_counts(run, i, j, a, c);
      sim.arrived[net.at(i, j)] = a;
      sim.blocked[net.at(i, j)] = c;
      if (a == 0) continue;
      const double bp = double(c) / double(a);
      sim.average[net.at(i, j)] += bp;
      batch_arrived += a;
      batch_blocked += c;
      if (sim.keep_pairs) record.pairs.push_back({i + 1, j + 1, a, c});
      run.out.text("\nbp[").u64(i + 1).text("][").u64(j + 1).text("] = ").real("%-5g", bp);
      run.out.text("\t Arrived: ").u64(a).text("\tBlocked: ").u64(c);
    }
  }
  run.out.text("\n----------------------------------------------");
  record.arrived = batch_arrived;
  record.blocked = batch_blocked;
  sim.total_arrived += batch_arrived;
  sim.total_blocked += batch_blocked;
  if (batch_arrived > 0) {
    const double bp = double(batch_blocked) / double(batch_arrived);
    sim.bp_sum += bp;
    ++sim.batches_with_arrivals;
    sim.batch_stats.add(bp);
  }
}

// Progress on a terminal: batch b of B and the share of its simulated time,
// refreshed a few times a second.
class Progress {
 public:
  Progress(Run& run, uint32_t batch) : run_(run), batch_(batch) {}
  void tick() {
    if (!run_.sim.show_progress || --countdown_ > 0) return;
    countdown_ = kEventsBetweenChecks;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    std::fprintf(run_.err, "\rbatch %u of %u: %3.0f%% of its time", batch_, run_.config.batch_count,
                 100.0 * std::min(1.0, run_.sim.now / run_.config.batch_time));
    std::fflush(run_.err);
  }

 private:
  static constexpr int kEventsBetweenChecks = 1 << 14;
  Run& run_;
  uint32_t batch_;
  int countdown_ = kEventsBetweenChecks;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace

bool place_call(Run& run, uint32_t u, uint32_t v, uint32_t demand) {
  return run.config.multi_wavelength ? place_in_parts(run, u, v, demand) : place_whole(run, u, v, demand);
}

void seed_pair_streams(Run& run) {
  const size_t n = size_t(run.net.total_nodes) * run.net.total_nodes;
  run.sim.pair_streams.resize(n);
  for (Lehmer& s : run.sim.pair_streams) s.state = next_seed(run.seeder);
}

namespace {

// The calls in progress outgrew the memory budget: the traffic offered
// (rates against the departure rate) holds more calls at once than fit.
Status too_many_calls(const Run& run) {
  char budget[32];
  std::snprintf(budget, sizeof budget, "%.1f MiB", double(run.memory_budget) / (1024.0 * 1024.0));
  return Status::error("simulation", "calls in progress",
                       std::to_string(run.sim.events.records()) + " calls and arrivals held at once would take more than " +
                           "half of the " + budget + " this run may use; lower the arrival rates (-f, -c) or raise " +
                           "the departure rate (-dr)");
}

}  // namespace

Status run_batch(Run& run, uint32_t b) {
  SimState& sim = run.sim;
  Network& net = run.net;
  const uint32_t t = net.total_nodes;
  run.out.text("\nBatch ").u64(b).text(":\n");
  sim.now = 0.0;
  sim.events.clear();
  net.reset_links();
  reset_methods(run);
  std::fill(sim.arrived.begin(), sim.arrived.end(), 0);
  std::fill(sim.blocked.begin(), sim.blocked.end(), 0);
  for (uint32_t u = 0; u < t; ++u)
    for (uint32_t v = 0; v < t; ++v)
      if (net.arrival_rates[net.at(u, v)] != 0.0) schedule_arrival(run, u, v);

  const double end = run.config.batch_time;
  Progress progress(run, b);
  // The batch ends right after the first arrival at or after its end time;
  // departures later than that are never processed.
  while (end > sim.now && !sim.events.empty()) {
    progress.tick();
    const uint32_t id = sim.events.pop();
    Event& e = sim.events[id];
    if (e.kind == kArrival) {
      sim.now = e.time;
      const uint32_t u = e.source, v = e.destination, demand = e.slots;
      sim.events.recycle(id);
      const bool placed = place_call(run, u, v, demand);
      const size_t pair = net.at(u, v);
      if (!placed) ++sim.blocked[pair];
      ++sim.arrived[pair];
      schedule_arrival(run, u, v);
      if (sim.events.records() > sim.max_records) {
        sim.events.clear();
        return too_many_calls(run);
      }
    } else {
      release(run, e);
      dispose(run, id);
    }
  }
  report_batch(run);
  sim.events.clear();
  return Status::proceed();
}

Status run_batches(Run& run, bool keep_pairs, const AfterBatch& after) {
  const size_t n = size_t(run.net.total_nodes) * run.net.total_nodes;
  run.sim.arrived.assign(n, 0);
  run.sim.blocked.assign(n, 0);
  run.sim.average.assign(n, 0.0);
  run.sim.keep_pairs = keep_pairs;
  run.sim.show_progress = isatty(fileno(run.err));
  // Half the budget for the event records; every record reserves a Hop
  // wavelength array as long as the longest candidate path.
  uint32_t longest = 0;
  for (const Path& p : run.paths.paths) longest = std::max(longest, p.hops);
  run.sim.events.set_hop_capacity(longest);
  run.sim.max_records = std::max<size_t>(1, run.memory_budget / 2 / EventList::record_bytes(longest));
  Status status;
  for (uint32_t b = 1; b <= run.config.batch_count && status.ok(); ++b) {
    status = run_batch(run, b);
    // Every finished batch reaches standard output, so a run that is
    // stopped keeps the batches it completed.
    run.out.flush();
    if (status.ok() && after) status = after(b, run.sim.last_batch);
  }
  if (run.sim.show_progress) std::fputs("\r\033[K", run.err);
  return status;
}

}  // namespace lumtra
