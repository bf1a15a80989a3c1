// Fast learning automata (-la): linear reward and linear penalty over a
// pair's paths and over the wavelengths of every segment, roulette-wheel
// selection, and a failed action left out for the rest of the request.
#include "automata/shared.h"

namespace lumtra {

namespace {

// The chosen position becomes the request's position and is handed on in
// the form the assignment expects.
int32_t offer(RwaContext& c, AutomataState& st, uint32_t k) {
  c.request.position = static_cast<int32_t>(k);
  return offered(c, st);
}

// Remembers the pair and makes all its paths candidates again; null for a
// pair without paths.
VectorHead* begin_request(RwaContext& c, AutomataState& st, uint32_t s, uint32_t d) {
  c.request.source = s;
  c.request.destination = d;
  VectorHead& v = current_route(c, st);
  start_request(v);
  return v.n == 0 ? nullptr : &v;
}

// ---- One distribution over all paths ---------------------------------------

int32_t plain_first(RwaContext& c, AutomataState& st, uint32_t s, uint32_t d) {
  VectorHead* v = begin_request(c, st, s, d);
  if (!v) return -1;
  return offer(c, st, select(route_entries(st, *v), *v, c.stream));
}

int32_t plain_next(RwaContext& c, AutomataState& st) {
  VectorHead& v = current_route(c, st);
  RouteAction* a = route_entries(st, v);
  const uint32_t k = static_cast<uint32_t>(c.request.position);
  penalty(a, v, st.rates, k);
  remove(a, v, st.rates, k);
  if (v.available == 0) return -1;
  return offer(c, st, select(a, v, c.stream));
}

void plain_commit(RwaContext& c, AutomataState& st, uint32_t) {
  VectorHead& v = current_route(c, st);
  reward(route_entries(st, v), v, st.rates, static_cast<uint32_t>(c.request.position));
}

// ---- Priority groups --------------------------------------------------------
// The groups are tried in order; `tried` counts the paths tried so far plus
// the first boundary, so the current group is exhausted when it reaches the
// group's end.

int32_t offer_in_group(RwaContext& c, AutomataState& st, VectorHead& v, const Groups& groups) {
  const uint32_t g = c.request.group;
  const uint32_t k = group_select(route_entries(st, v), v, c.stream, groups.at(g), groups.at(g + 1));
  return k == v.available ? -1 : offer(c, st, k);
}

// Entering group g (from the first request or after the previous group was
// exhausted): per-group vectors start the group's own distribution; a single
// vector restricts its mass to the group's actions still available.
template <bool kSingle>
void enter_group(RwaContext& c, AutomataState& st, VectorHead& v, const Groups& groups) {
  const uint32_t g = c.request.group;
  if (kSingle) {
    v.mass = group_mass(route_entries(st, v), v, groups.at(g), groups.at(g + 1));
  } else {
    v.mass = 1.0;
    set_group_share(v, st.rates, groups.at(g + 1) - c.request.tried);
  }
}

template <bool kSingle>
int32_t priority_first(RwaContext& c, AutomataState& st, uint32_t s, uint32_t d) {
  VectorHead* v = begin_request(c, st, s, d);
  if (!v) return -1;
  const Groups groups = current_groups(c);
  c.request.group = 0;
  c.request.tried = groups.at(0);
  enter_group<kSingle>(c, st, *v, groups);
  return offer_in_group(c, st, *v, groups);
}

// The failed path is penalised (within its group, or over the whole single
// vector) and removed; `m` passed to the removal is one less than the
// group's paths left.
template <bool kSingle>
int32_t priority_next(RwaContext& c, AutomataState& st) {
  VectorHead& v = current_route(c, st);
  RouteAction* a = route_entries(st, v);
  const Groups groups = current_groups(c);
  const uint32_t k = static_cast<uint32_t>(c.request.position);
  uint32_t& g = c.request.group;
  const uint32_t t = ++c.request.tried;
  if (kSingle)
    penalty(a, v, st.rates, k);
  else
    group_penalty(a, v, st.rates, k, groups.at(g), groups.at(g + 1));
  group_remove(a, v, st.rates, k, double(groups.at(g + 1)) - t - 1);
  if (t == groups.at(g + 1) && !groups.is_last(g)) {
    ++g;
    enter_group<kSingle>(c, st, v, groups);
  }
  if (v.available == 0 || t == groups.at(g + 1)) return -1;
  return offer_in_group(c, st, v, groups);
}

void group_commit(RwaContext& c, AutomataState& st, uint32_t) {
  VectorHead& v = current_route(c, st);
  const Groups groups = current_groups(c);
  const uint32_t g = c.request.group;
  group_reward(route_entries(st, v), v, st.rates, static_cast<uint32_t>(c.request.position), groups.at(g),
               groups.at(g + 1));
}

// ---- Assignment ---------------------------------------------------------------

struct FastPolicy : RouteVectorPolicy {
  Pick choose(RwaContext& c, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) {
    VectorHead& v = segment_vector(seg);
    const WaveRun a = wave_entries(st, v);
    start_request(v);
    if (v.n == 0) return Pick::path_fails;
    const SegmentFit fit(*c.links, hops, seg, slots);
    for (;;) {
      const uint32_t k = select(a, v, c.stream);
      w = a.wavelength[k];
      if (!c.count_attempt()) return Pick::blocked;
      if (fit.fits(w)) {
        reward(a, v, st.rates, k);
        return Pick::found;
      }
      penalty(a, v, st.rates, k);
      remove(a, v, st.rates, k);
      if (v.available == 0) return Pick::path_fails;
    }
  }
};

}  // namespace

RoutingHalf fast_routing_half(AutomataState& state, bool priority_routing, bool single_list) {
  if (!priority_routing) return routing_half<AutomataState, plain_first, plain_next, plain_commit>(state);
  if (!single_list)
    return routing_half<AutomataState, priority_first<false>, priority_next<false>, group_commit>(state);
  return routing_half<AutomataState, priority_first<true>, priority_next<true>, plain_commit>(state);
}

bool fast_assign(RwaContext& c, const RoutingHalf& routing, AutomataState& st, uint32_t s, uint32_t d, HopArray& hops,
                 uint32_t& path, uint32_t slots) {
  FastPolicy policy{{st}};
  return assign_call(c, routing, policy, s, d, hops, path, slots);
}

}  // namespace lumtra
