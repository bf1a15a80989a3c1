// Deterministic learning automata (-dla): success counters instead of
// probabilities. Paths and wavelengths are tried in order of decreasing past
// success; a success moves the entry up in front of the entries it now
// outnumbers, so ties keep the order in which the counts were reached.
#include "automata/methods.h"
#include "paths/order.h"

namespace lumtra {

namespace {

int32_t counter_first(Run& run, uint32_t s, uint32_t d) {
  run.request.source = s;
  run.request.destination = d;
  run.request.position = 0;
  if (current_route(run).n == 0) return -1;
  return run.slots.dla_action_path(run);
}

int32_t counter_next(Run& run) {
  if (static_cast<uint32_t>(++run.request.position) >= current_route(run).n) return -1;
  return run.slots.dla_action_path(run);
}

void counter_commit(Run& run, uint32_t) {
  count_success(route_entries(run, current_route(run)), static_cast<uint32_t>(run.request.position));
}

// With priority groups a path only overtakes paths of its own group.
void counter_commit_in_group(Run& run, uint32_t) {
  const PathList& list = run.paths.list(run.request.source, run.request.destination);
  const Path* paths = run.paths.paths.data() + list.first;
  const int16_t mode = run.config.sort_mode;
  count_success_where(route_entries(run, current_route(run)), static_cast<uint32_t>(run.request.position),
                      [&](const RouteAction& moving, const RouteAction& other) {
                        return same_priority(mode, paths[moving.path], paths[other.path]);
                      });
}

struct CounterPolicy : RouteVectorPolicy {
  Pick choose(Run& run, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) {
    VectorHead& v = segment_vector(run, seg);
    WaveAction* a = wave_entries(run, v);
    for (uint32_t k = 0; k < v.n; ++k) {
      w = a[k].wavelength;
      if (!count_attempt(run)) return Pick::blocked;
      if (fits_segment(run.net, hops, seg, w, slots)) {
        count_success(a, k);
        return Pick::found;
      }
    }
    return Pick::path_fails;
  }
};

}  // namespace

void install_deterministic_routing(Run& run) {
  Slots& slots = run.slots;
  slots.route_first = counter_first;
  slots.route_next = counter_next;
  slots.route_commit = run.config.priority_routing ? counter_commit_in_group : counter_commit;
}

bool deterministic_assign(Run& run, uint32_t s, uint32_t d, HopArray& hops, uint32_t& path, uint32_t slots) {
  CounterPolicy policy;
  return place_call(run, s, d, hops, path, slots, policy);
}

}  // namespace lumtra
