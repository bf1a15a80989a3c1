// Fast learning automata (-la): linear reward and linear penalty over a
// pair's paths and over the wavelengths of every segment, roulette-wheel
// selection, and a failed action left out for the rest of the request.
#include "automata/methods.h"

namespace lumtra {

namespace {

// The chosen position becomes the request's position and is handed on in
// the form the assignment expects.
int32_t offer(Run& run, uint32_t k) {
  run.request.position = static_cast<int32_t>(k);
  return run.slots.la_action_path(run);
}

// Remembers the pair and makes all its paths candidates again; null for a
// pair without paths.
VectorHead* begin_request(Run& run, uint32_t s, uint32_t d) {
  run.request.source = s;
  run.request.destination = d;
  VectorHead& v = current_route(run);
  start_request(v);
  return v.n == 0 ? nullptr : &v;
}

// ---- One distribution over all paths ---------------------------------------

int32_t plain_first(Run& run, uint32_t s, uint32_t d) {
  VectorHead* v = begin_request(run, s, d);
  if (!v) return -1;
  return offer(run, select(route_entries(run, *v), *v, run.method_stream));
}

int32_t plain_next(Run& run) {
  VectorHead& v = current_route(run);
  RouteAction* a = route_entries(run, v);
  const uint32_t k = static_cast<uint32_t>(run.request.position);
  const LearningRates& r = run.automata.rates;
  penalty(a, v, r, k);
  remove(a, v, r, k);
  if (v.available == 0) return -1;
  return offer(run, select(a, v, run.method_stream));
}

void plain_commit(Run& run, uint32_t) {
  VectorHead& v = current_route(run);
  reward(route_entries(run, v), v, run.automata.rates, static_cast<uint32_t>(run.request.position));
}

// ---- Priority groups --------------------------------------------------------
// The groups are tried in order; `tried` counts the paths tried so far plus
// the first boundary, so the current group is exhausted when it reaches the
// group's end.

int32_t offer_in_group(Run& run, VectorHead& v, const Groups& groups) {
  const uint32_t g = run.request.group;
  const uint32_t k = group_select(route_entries(run, v), v, run.method_stream, groups.at(g), groups.at(g + 1));
  return k == v.available ? -1 : offer(run, k);
}

// Entering group g (from the first request or after the previous group was
// exhausted): per-group vectors start the group's own distribution; a single
// vector restricts its mass to the group's actions still available.
template <bool kSingle>
void enter_group(Run& run, VectorHead& v, const Groups& groups) {
  const uint32_t g = run.request.group;
  if (kSingle) {
    v.mass = group_mass(route_entries(run, v), v, groups.at(g), groups.at(g + 1));
  } else {
    v.mass = 1.0;
    set_group_share(v, run.automata.rates, groups.at(g + 1) - run.request.tried);
  }
}

template <bool kSingle>
int32_t priority_first(Run& run, uint32_t s, uint32_t d) {
  VectorHead* v = begin_request(run, s, d);
  if (!v) return -1;
  const Groups groups = current_groups(run);
  run.request.group = 0;
  run.request.tried = groups.at(0);
  enter_group<kSingle>(run, *v, groups);
  return offer_in_group(run, *v, groups);
}

// The failed path is penalised (within its group, or over the whole single
// vector) and removed; `m` passed to the removal is one less than the
// group's paths left.
template <bool kSingle>
int32_t priority_next(Run& run) {
  VectorHead& v = current_route(run);
  RouteAction* a = route_entries(run, v);
  const Groups groups = current_groups(run);
  const LearningRates& r = run.automata.rates;
  const uint32_t k = static_cast<uint32_t>(run.request.position);
  uint32_t& g = run.request.group;
  const uint32_t t = ++run.request.tried;
  if (kSingle)
    penalty(a, v, r, k);
  else
    group_penalty(a, v, r, k, groups.at(g), groups.at(g + 1));
  group_remove(a, v, r, k, double(groups.at(g + 1)) - t - 1);
  if (t == groups.at(g + 1) && !groups.is_last(g)) {
    ++g;
    enter_group<kSingle>(run, v, groups);
  }
  if (v.available == 0 || t == groups.at(g + 1)) return -1;
  return offer_in_group(run, v, groups);
}

void group_commit(Run& run, uint32_t) {
  VectorHead& v = current_route(run);
  const Groups groups = current_groups(run);
  const uint32_t g = run.request.group;
  group_reward(route_entries(run, v), v, run.automata.rates, static_cast<uint32_t>(run.request.position),
               groups.at(g), groups.at(g + 1));
}

// ---- Assignment ---------------------------------------------------------------

struct FastPolicy : RouteVectorPolicy {
  Pick choose(Run& run, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) {
    VectorHead& v = segment_vector(run, seg);
    WaveAction* a = wave_entries(run, v);
    const LearningRates& r = run.automata.rates;
    start_request(v);
    if (v.n == 0) return Pick::path_fails;
    for (;;) {
      const uint32_t k = select(a, v, run.method_stream);
      w = a[k].wavelength;
      if (!count_attempt(run)) return Pick::blocked;
      if (fits_segment(run.net, hops, seg, w, slots)) {
        reward(a, v, r, k);
        return Pick::found;
      }
      penalty(a, v, r, k);
      remove(a, v, r, k);
      if (v.available == 0) return Pick::path_fails;
    }
  }
};

}  // namespace

void install_fast_routing(Run& run) {
  Slots& slots = run.slots;
  if (!run.config.priority_routing) {
    slots.route_first = plain_first;
    slots.route_next = plain_next;
    slots.route_commit = plain_commit;
  } else if (!run.config.single_la_list) {
    slots.route_first = priority_first<false>;
    slots.route_next = priority_next<false>;
    slots.route_commit = group_commit;
  } else {
    slots.route_first = priority_first<true>;
    slots.route_next = priority_next<true>;
    slots.route_commit = plain_commit;
  }
}

bool fast_assign(Run& run, uint32_t s, uint32_t d, HopArray& hops, uint32_t& path, uint32_t slots) {
  FastPolicy policy;
  return place_call(run, s, d, hops, path, slots, policy);
}

}  // namespace lumtra
