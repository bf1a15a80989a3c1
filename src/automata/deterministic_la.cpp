// Deterministic learning automata (-dla): success counters instead of
// probabilities. Paths and wavelengths are tried in order of decreasing past
// success; a success moves the entry up in front of the entries it now
// outnumbers, so ties keep the order in which the counts were reached.
#include "automata/shared.h"
#include "paths/order.h"

namespace lumtra {

namespace {

int32_t counter_first(RwaContext& c, AutomataState& st, uint32_t s, uint32_t d) {
  c.request.source = s;
  c.request.destination = d;
  c.request.position = 0;
  if (current_route(c, st).n == 0) return -1;
  return offered(c, st);
}

int32_t counter_next(RwaContext& c, AutomataState& st) {
  if (static_cast<uint32_t>(++c.request.position) >= current_route(c, st).n) return -1;
  return offered(c, st);
}

void counter_commit(RwaContext& c, AutomataState& st, uint32_t) {
  count_success(route_entries(st, current_route(c, st)), static_cast<uint32_t>(c.request.position));
}

// With priority groups a path only overtakes paths of its own group.
void counter_commit_in_group(RwaContext& c, AutomataState& st, uint32_t) {
  const PathList& list = c.paths->list(c.request.source, c.request.destination);
  const Path* paths = c.paths->paths.data() + list.first;
  const int16_t mode = st.sort_mode;
  RouteAction* a = route_entries(st, current_route(c, st));
  count_success_where(a, static_cast<uint32_t>(c.request.position), [&](uint32_t moving, uint32_t other) {
    return same_priority(mode, paths[a[moving].path], paths[a[other].path]);
  });
}

struct CounterPolicy : RouteVectorPolicy {
  Pick choose(RwaContext& c, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) {
    VectorHead& v = segment_vector(seg);
    const WaveRun a = wave_entries(st, v);
    const SegmentFit fit(*c.links, hops, seg, slots);
    for (uint32_t k = 0; k < v.n; ++k) {
      w = a.wavelength[k];
      if (!c.count_attempt()) return Pick::blocked;
      if (fit.fits(w)) {
        count_success(a, k);
        return Pick::found;
      }
    }
    return Pick::path_fails;
  }
};

}  // namespace

RoutingHalf deterministic_routing_half(AutomataState& state, bool priority_routing) {
  if (priority_routing) return routing_half<AutomataState, counter_first, counter_next, counter_commit_in_group>(state);
  return routing_half<AutomataState, counter_first, counter_next, counter_commit>(state);
}

bool deterministic_assign(RwaContext& c, const RoutingHalf& routing, AutomataState& st, uint32_t s, uint32_t d,
                          HopArray& hops, uint32_t& path, uint32_t slots) {
  CounterPolicy policy{{st}};
  return assign_call(c, routing, policy, s, d, hops, path, slots);
}

}  // namespace lumtra
