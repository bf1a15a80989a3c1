#include "load/load.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "load/stable_order.h"
#include "rwa/options.h"

namespace lumtra {

namespace {

// ---- Measures --------------------------------------------------------------

// Sum over the wavelengths below the segment's bound of the free slots that
// wavelength has on every link of the segment. Wavelengths outside the
// free-wavelength window of any link are full there and add nothing.
// `rows` receives the Channel row of every link of the segment.
uint64_t segment_free_slots(const LinkState& net, const Hop* hops, uint32_t count, const uint32_t** rows) {
  uint32_t low = 0;
  uint32_t end = hops[0].bound;
  for (uint32_t k = 0; k < count; ++k) {
    const Link& l = net.links[hops[k].link];
    low = std::max(low, l.low);
    end = std::min(end, l.high_end);
    rows[k] = net.channels.data() + l.channels;
  }
  uint64_t sum = 0;
  for (uint32_t w = low; w < end; ++w) {
    uint32_t least = rows[0][w];
    for (uint32_t k = 1; k < count; ++k) least = std::min(least, rows[k][w]);
    sum += least;
  }
  return sum;
}

// ---- Comparison slots ------------------------------------------------------

template <class T>
int larger_first(T a, T b) {
  return a > b ? -1 : (a < b ? 1 : 0);
}

int least_loaded_compare(const LoadState& st, uint32_t a, uint32_t b) {
  return larger_first(st.measure[a], st.measure[b]);
}
int most_loaded_compare(const LoadState& st, uint32_t a, uint32_t b) {
  return larger_first(st.measure[b], st.measure[a]);
}
int least_congestion_compare(const LoadState& st, uint32_t a, uint32_t b) {
  return larger_first(st.weights[a], st.weights[b]);
}
int most_congestion_compare(const LoadState& st, uint32_t a, uint32_t b) {
  return larger_first(st.weights[b], st.weights[a]);
}

// ---- Routing halves --------------------------------------------------------

const PathList& begin_request(RwaContext& c, uint32_t s, uint32_t d) {
  c.request.source = s;
  c.request.destination = d;
  c.request.position = 0;
  return c.paths->list(s, d);
}

// Grows the working arrays when a list is longer than any seen before (only
// when the table was not prepared, as in hand-built set-ups).
void fit_working_arrays(LoadState& st, uint32_t count) {
  if (st.merge_buffer.size() >= count) return;
  st.measure.resize(count);
  st.order.resize(count);
  st.weights.resize(count);
  st.merge_buffer.resize(count);
}

// Sorts the pair's Route order: whole, or with priority routing inside each
// group, leaving the entries behind the last boundary as they are.
void sort_route_order(const PathTable& paths, LoadState& st, const PathList& list, uint32_t* order) {
  const PathCompare compare = st.compare;
  auto cmp = [&st, compare](uint32_t a, uint32_t b) { return compare(st, a, b); };
  uint32_t* buffer = st.merge_buffer.data();
  if (!st.priority_routing || list.boundary_count < 2) {
    stable_order(order, list.count, buffer, cmp);
    return;
  }
  const uint32_t* b = paths.group_boundaries(list);
  for (uint32_t g = 0; g + 1 < list.boundary_count; ++g) stable_order(order + b[g], b[g + 1] - b[g], buffer, cmp);
}

// Where the Route order of the current request lives: one working array for
// least/most loaded, the pair's own carried order for weighted congestion.
uint32_t* loaded_order(LoadState& st, const PathList&) { return st.order.data(); }
uint32_t* congestion_order(LoadState& st, const PathList& list) { return st.congestion_orders.data() + list.first; }

// Starts a request: remembers the pair, lets `rank(order, k, path)` measure
// path k (and set its Route order entry when the order starts afresh), sorts
// the Route order and returns its first entry.
template <uint32_t* (*OrderOf)(LoadState&, const PathList&), class Rank>
int32_t ranked_route_first(RwaContext& c, LoadState& st, uint32_t s, uint32_t d, Rank rank) {
  const PathList& list = begin_request(c, s, d);
  if (list.count == 0) return -1;
  fit_working_arrays(st, list.count);
  uint32_t* order = OrderOf(st, list);
  const Path* paths = c.paths->paths.data() + list.first;
  for (uint32_t k = 0; k < list.count; ++k) rank(order, k, paths[k]);
  sort_route_order(*c.paths, st, list, order);
  return static_cast<int32_t>(order[0]);
}

// The next entry of the Route order; -1 once every path has been returned.
template <uint32_t* (*OrderOf)(LoadState&, const PathList&)>
int32_t ranked_route_next(RwaContext& c, LoadState& st) {
  const PathList& list = c.paths->list(c.request.source, c.request.destination);
  const uint32_t position = static_cast<uint32_t>(++c.request.position);
  if (position >= list.count) return -1;
  return static_cast<int32_t>(OrderOf(st, list)[position]);
}

int32_t loaded_route_first(RwaContext& c, LoadState& st, uint32_t s, uint32_t d) {
  return ranked_route_first<loaded_order>(c, st, s, d, [&c, &st](uint32_t* order, uint32_t k, const Path& p) {
    order[k] = k;
    st.measure[k] = bottleneck_free_slots(*c.links, *c.paths, p);
  });
}

int32_t congestion_route_first(RwaContext& c, LoadState& st, uint32_t s, uint32_t d) {
  return ranked_route_first<congestion_order>(c, st, s, d, [&c, &st](uint32_t*, uint32_t k, const Path& p) {
    st.weights[k] = congestion_weight(*c.links, *c.paths, p, st);
  });
}

void no_commit(RwaContext&, LoadState&, uint32_t) {}

bool congestion_routing(int16_t code) { return code == kWeightedLeastCongestion || code == kWeightedMostCongestion; }

}  // namespace

uint64_t bottleneck_free_slots(const LinkState& net, const PathTable& paths, const Path& path) {
  const Hop* hops = paths.path_hops(path);
  uint64_t least = std::numeric_limits<uint64_t>::max();
  for (uint32_t k = 0; k < path.hops; ++k) least = std::min<uint64_t>(least, net.links[hops[k].link].free_slots);
  return least;
}

double congestion_weight(const LinkState& net, const PathTable& paths, const Path& path, LoadState& scratch) {
  if (path.hops == 0) return 0.0;
  if (scratch.rows.size() < path.hops) scratch.rows.resize(path.hops);
  const Hop* hops = paths.path_hops(path);
  uint64_t least = std::numeric_limits<uint64_t>::max();
  for (uint32_t first = 0; first < path.hops && least != 0;) {
    uint32_t end = first;
    while (!hops[end].ends_segment) ++end;
    ++end;
    least = std::min(least, segment_free_slots(net, hops + first, end - first, scratch.rows.data()));
    first = end;
  }
  return static_cast<double>(least) / std::sqrt(static_cast<double>(path.hops));
}

RoutingHalf load_routing(LoadState& st, int16_t code, const PathOptions& paths) {
  st.priority_routing = paths.priority_routing;
  switch (code) {
    case kLeastLoaded:
      st.compare = least_loaded_compare;
      return routing_half<LoadState, loaded_route_first, ranked_route_next<loaded_order>, no_commit>(st);
    case kMostLoaded:
      st.compare = most_loaded_compare;
      return routing_half<LoadState, loaded_route_first, ranked_route_next<loaded_order>, no_commit>(st);
    case kWeightedLeastCongestion:
      st.compare = least_congestion_compare;
      break;
    default:
      st.compare = most_congestion_compare;
      break;
  }
  return routing_half<LoadState, congestion_route_first, ranked_route_next<congestion_order>, no_commit>(st);
}

Status prepare_load(LoadState& st, const PathTable& paths, int16_t code) {
  uint32_t longest = 0;
  for (const PathList& l : paths.lists) longest = std::max(longest, l.count);
  fit_working_arrays(st, longest);
  if (congestion_routing(code)) {
    uint32_t most_hops = 0;
    for (const Path& p : paths.paths) most_hops = std::max(most_hops, p.hops);
    st.rows.assign(most_hops, nullptr);
    st.congestion_orders.assign(paths.paths.size(), 0);
    reset_congestion_state(st, paths);
  }
  return Status::proceed();
}

void reset_load(LoadState& st, const PathTable& paths, int16_t code) {
  if (congestion_routing(code)) reset_congestion_state(st, paths);
}

void reset_congestion_state(LoadState& state, const PathTable& paths) {
  if (state.congestion_orders.size() < paths.paths.size()) state.congestion_orders.resize(paths.paths.size());
  for (const PathList& l : paths.lists)
    for (uint32_t k = 0; k < l.count; ++k) state.congestion_orders[l.first + k] = k;
}

}  // namespace lumtra
