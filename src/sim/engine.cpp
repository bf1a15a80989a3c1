#include "sim/engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace lumtra {

namespace {

// Exponential variate with the given rate from a stream.
inline double exponential(Lehmer& stream, double rate) { return -std::log(1.0 - stream.uniform()) / rate; }

void schedule_arrival(Lane& lane, const Network& net, uint32_t u, uint32_t v) {
  const size_t pair = net.at(u, v);
  const uint32_t id = lane.events.acquire();
  Event& e = lane.events[id];
  e.time = lane.now + exponential(lane.pair_streams[pair], net.arrival_rates[pair]);
  e.kind = kArrival;
  e.source = u;
  e.destination = v;
  if (net.nodes[u].grooming) {
    // A grooming source asks for min_call_slots .. max_call_slots slots.
    const uint64_t sizes = uint64_t(net.max_call_slots) - net.min_call_slots + 1;
    e.slots = static_cast<uint32_t>(static_cast<uint64_t>(lane.generator_stream.uniform() * double(sizes)) +
                                    net.min_call_slots);
  } else {
    e.slots = net.slots_per_wavelength;
  }
  lane.events.insert(id);
}

// Takes (gives back) the call's slots on its wavelength on every hop.
void take(Lane& lane, const PathTable& paths, const Event& e) {
  const Path& p = paths.paths[e.path];
  const Hop* hops = paths.path_hops(p);
  for (uint32_t k = 0; k < p.hops; ++k) lane.links.take(hops[k].link, e.hop_wavelengths[k], e.slots);
}

void give(Lane& lane, const PathTable& paths, const Event& e) {
  const Path& p = paths.paths[e.path];
  const Hop* hops = paths.path_hops(p);
  for (uint32_t k = 0; k < p.hops; ++k) lane.links.give(hops[k].link, e.hop_wavelengths[k], e.slots);
}

// Disposes of a record that has left the list: the method's bookkeeping for
// a departure, then back to the pool.
void dispose(Lane& lane, uint32_t id) {
  const Event& e = lane.events[id];
  if (e.kind == kDeparture && lane.methods.rwa.releases())
    lane.methods.rwa.release(
        PlacedCall{e.source, e.destination, e.path, e.slots, e.usage_tag, e.hop_wavelengths.data()});
  lane.events.recycle(id);
}

bool head_is_placeholder(const EventList& events) {
  return !events.empty() && events[events.head()].time == kPlaceholderTime;
}

// One call on one wavelength per hop, in record `id` (taken from the pool,
// its hop array empty), which becomes the call's departure or goes back to
// the pool.
bool place_whole(Lane& lane, const SimInput& in, uint32_t u, uint32_t v, uint32_t demand, uint32_t id) {
  Rwa& rwa = lane.methods.rwa;
  Event& e = lane.events[id];
  if (!rwa.assign(u, v, e.hop_wavelengths, e.path, demand)) {
    lane.events.recycle(id);
    return false;
  }
  e.time = lane.now + exponential(lane.pair_streams[in.net.at(u, v)], in.options.departure_rate);
  e.kind = kDeparture;
  e.source = u;
  e.destination = v;
  e.slots = demand;
  e.usage_tag = rwa.context.usage_tag;
  lane.events.insert(id);
  take(lane, in.paths, e);
  return true;
}

// A call whose demand may be split over several placements, each part on its
// own path and wavelengths; the parts wait as Placeholder events at the front
// of the list and depart together, or are all given back when the call is
// blocked.
bool place_in_parts(Lane& lane, const SimInput& in, uint32_t u, uint32_t v, uint32_t demand) {
  Rwa& rwa = lane.methods.rwa;
  uint32_t remaining = demand, k = demand;
  while (k > 0) {
    const uint32_t id = lane.events.acquire();
    Event& e = lane.events[id];
    if (rwa.assign(u, v, e.hop_wavelengths, e.path, k)) {
      e.time = kPlaceholderTime;
      e.kind = kArrival;
      e.source = u;
      e.destination = v;
      e.slots = k;
      e.usage_tag = rwa.context.usage_tag;
      take(lane, in.paths, e);
      lane.events.insert(id);
      remaining -= k;
      if (remaining < k) k = remaining;
    } else {
      lane.events.recycle(id);
      --k;
    }
  }
  if (remaining == 0) {
    const double departs = lane.now + exponential(lane.pair_streams[in.net.at(u, v)], in.options.departure_rate);
    while (head_is_placeholder(lane.events)) {
      const uint32_t id = lane.events.pop();
      Event& e = lane.events[id];
      rwa.context.usage_tag = e.usage_tag;
      e.time = departs;
      e.kind = kDeparture;
      lane.events.insert(id);
    }
    return true;
  }
  while (head_is_placeholder(lane.events)) {
    const uint32_t id = lane.events.pop();
    Event& e = lane.events[id];
    give(lane, in.paths, e);
    e.kind = kDeparture;
    dispose(lane, id);
  }
  return false;
}

// Adds the counts of pair (i, j) and, without -vo, of the Virtual nodes of
// both ends.
void pair_counts(const Lane& lane, const SimInput& in, uint32_t i, uint32_t j, uint64_t& a, uint64_t& c) {
  const Network& net = in.net;
  if (in.options.virtual_output) {
    a = lane.arrived[net.at(i, j)];
    c = lane.blocked[net.at(i, j)];
    return;
  }
  a = c = 0;
  auto add_from = [&](uint32_t x) {
    a += lane.arrived[net.at(x, j)];
    c += lane.blocked[net.at(x, j)];
    for (uint32_t y : net.nodes[j].virtual_nodes) {
      a += lane.arrived[net.at(x, y)];
      c += lane.blocked[net.at(x, y)];
    }
  };
  add_from(i);
  for (uint32_t x : net.nodes[i].virtual_nodes) add_from(x);
}

// The reported pairs of the batch with their counts, in row order.
void record_batch(Lane& lane, const SimInput& in, BatchRecord& record) {
  const Network& net = in.net;
  const uint32_t m = in.options.virtual_output ? net.total_nodes : net.node_count;
  record.pairs.clear();
  record.arrived = record.blocked = 0;
  for (uint32_t i = 0; i < m; ++i) {
    for (uint32_t j = 0; j < m; ++j) {
      if (in.options.virtual_output && i == j) continue;
      uint64_t a, c;
      pair_counts(lane, in, i, j, a, c);
      lane.arrived[net.at(i, j)] = a;
      lane.blocked[net.at(i, j)] = c;
      if (a == 0) continue;
      record.arrived += a;
      record.blocked += c;
      record.pairs.push_back({i + 1, j + 1, a, c});
    }
  }
}

// Progress on a terminal: batch b of B and the share of its simulated time,
// refreshed a few times a second.
class Progress {
 public:
  Progress(const Lane& lane, const SimInput& in, uint32_t batch) : lane_(lane), in_(in), batch_(batch) {}
  void tick() {
    if (!lane_.progress || --countdown_ > 0) return;
    countdown_ = kEventsBetweenChecks;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    std::fprintf(lane_.progress, "\rbatch %u of %u: %3.0f%% of its time", batch_, lane_.batch_count,
                 100.0 * std::min(1.0, lane_.now / in_.options.batch_time));
    std::fflush(lane_.progress);
  }

 private:
  static constexpr int kEventsBetweenChecks = 1 << 14;
  const Lane& lane_;
  const SimInput& in_;
  uint32_t batch_;
  int countdown_ = kEventsBetweenChecks;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// The calls in progress outgrew the memory budget: the traffic offered
// (rates against the departure rate) holds more calls at once than fit.
Status too_many_calls(const Lane& lane) {
  return Status::error("simulation", "calls in progress",
                       std::to_string(lane.events.records()) + " calls and arrivals held at once would take more " +
                           "than the " + gib(lane.max_records * EventList::record_bytes(0)) +
                           " left for them; lower the arrival rates (-f, -c) or raise the departure rate (-dr)");
}

// Places a call in record `id` (a pool record with an empty hop array,
// such as the call's own arrival): a call on one wavelength per hop departs
// in it; with -m the parts take records of their own and `id` goes back.
bool place_in_record(Lane& lane, const SimInput& in, uint32_t u, uint32_t v, uint32_t demand, uint32_t id) {
  if (!in.options.multi_wavelength) return place_whole(lane, in, u, v, demand, id);
  lane.events.recycle(id);
  return place_in_parts(lane, in, u, v, demand);
}

}  // namespace

bool place_call(Lane& lane, const SimInput& in, uint32_t u, uint32_t v, uint32_t demand) {
  return place_in_record(lane, in, u, v, demand, lane.events.acquire());
}

void prepare_lane(Lane& lane, const SimInput& in, uint64_t record_budget) {
  const size_t n = size_t(in.net.total_nodes) * in.net.total_nodes;
  lane.links.allocate(in.net);
  lane.pair_streams.resize(n);
  lane.arrived.assign(n, 0);
  lane.blocked.assign(n, 0);
  // Every record reserves a Hop wavelength array as long as the longest
  // candidate path.
  uint32_t longest = 0;
  for (const Path& p : in.paths.paths) longest = std::max(longest, p.hops);
  lane.events.set_hop_capacity(longest);
  lane.max_records = std::max<uint64_t>(1, record_budget / EventList::record_bytes(longest));
  lane.batch_count = in.options.batch_count;
  lane.methods.rwa.context.clock = &lane.now;
}

Status run_batch(Lane& lane, const SimInput& in, uint32_t b, BatchRecord& record) {
  const Network& net = in.net;
  const uint32_t t = net.total_nodes;
  const uint64_t attempts_before = lane.methods.rwa.context.total_attempts;
  lane.now = 0.0;
  lane.events.clear();
  lane.links.reset();
  reset_methods(lane.methods, in.methods);
  std::fill(lane.arrived.begin(), lane.arrived.end(), 0);
  std::fill(lane.blocked.begin(), lane.blocked.end(), 0);
  for (uint32_t u = 0; u < t; ++u)
    for (uint32_t v = 0; v < t; ++v)
      if (net.arrival_rates[net.at(u, v)] != 0.0) schedule_arrival(lane, net, u, v);

  const double end = in.options.batch_time;
  Progress progress(lane, in, b);
  // The batch ends right after the first arrival at or after its end time;
  // departures later than that are never processed.
  while (end > lane.now && !lane.events.empty()) {
    progress.tick();
    const uint32_t id = lane.events.pop();
    Event& e = lane.events[id];
    if (e.kind == kArrival) {
      lane.now = e.time;
      const uint32_t u = e.source, v = e.destination, demand = e.slots;
      const bool placed = place_in_record(lane, in, u, v, demand, id);
      const size_t pair = net.at(u, v);
      if (!placed) ++lane.blocked[pair];
      ++lane.arrived[pair];
      schedule_arrival(lane, net, u, v);
      if (lane.events.records() > lane.max_records) {
        Status s = too_many_calls(lane);
        lane.events.clear();
        return s;
      }
    } else {
      give(lane, in.paths, e);
      dispose(lane, id);
    }
  }
  if (Status s = lane.methods.plugin.failure(b); !s.ok()) {
    lane.events.clear();
    return s;
  }
  record_batch(lane, in, record);
  record.attempts = lane.methods.rwa.context.total_attempts - attempts_before;
  lane.events.clear();
  if (lane.progress) std::fputs("\r\033[K", lane.progress);
  return Status::proceed();
}

void print_batch_header(Console& out, uint32_t b) { out.text("\nBatch ").u64(b).text(":\n"); }

void report_batch(Console& out, const BatchRecord& record, uint32_t total_nodes, RunTotals& totals) {
  for (const PairCount& p : record.pairs) {
    const double bp = double(p.blocked) / double(p.arrived);
    totals.average[size_t(p.source - 1) * total_nodes + (p.destination - 1)] += bp;
    out.text("\nbp[").u64(p.source).text("][").u64(p.destination).text("] = ").real("%-5g", bp);
    out.text("\t Arrived: ").u64(p.arrived).text("\tBlocked: ").u64(p.blocked);
  }
  out.text("\n----------------------------------------------");
  totals.total_arrived += record.arrived;
  totals.total_blocked += record.blocked;
  totals.total_attempts += record.attempts;
  ++totals.batches;
  if (record.arrived > 0) {
    const double bp = double(record.blocked) / double(record.arrived);
    totals.bp_sum += bp;
    ++totals.batches_with_arrivals;
    totals.batch_stats.add(bp);
  }
}

}  // namespace lumtra
