// Pieces shared by the fast, deterministic and exhaustive automata: the
// route vector of the request in progress, the priority groups of its pair,
// the assignment policy base that reads a route action's segment vectors,
// and the per-method pieces that automata.cpp binds.
#pragma once

#include <cstdint>

#include "automata/automata.h"
#include "rwa/placement.h"

namespace lumtra {

inline VectorHead& current_route(const RwaContext& c, AutomataState& st) {
  return st.routes[c.paths->pair_index(c.request.source, c.request.destination)];
}
inline RouteAction* route_entries(AutomataState& st, const VectorHead& v) { return st.route_actions.data() + v.first; }
inline WaveRun wave_entries(AutomataState& st, const VectorHead& v) {
  return {st.wave_probability.data() + v.first, st.wave_wavelength.data() + v.first};
}

// The pair's priority groups: group g covers path indices [at(g), at(g + 1)).
struct Groups {
  const uint32_t* bounds;
  uint32_t count;
  uint32_t at(uint32_t g) const { return bounds[g]; }
  bool is_last(uint32_t g) const { return g + 1 >= count; }
};
inline Groups current_groups(const RwaContext& c) {
  const PathList& list = c.paths->list(c.request.source, c.request.destination);
  return {c.paths->group_boundaries(list), c.paths->group_count(list)};
}

// What route_first/route_next return for the action at the current
// position: the position itself when the assignment reads the route vector,
// else the action's path.
inline int32_t offered(const RwaContext& c, AutomataState& st) {
  if (st.assign_reads_vector) return c.request.position;
  return route_entries(st, current_route(c, st))[c.request.position].path;
}

// Assignment over the route vector: the candidate is a position in the
// pair's route vector (or, under another routing method, which never
// reorders the vector, the path index, which is the same position).
struct RouteVectorPolicy {
  AutomataState& st;
  uint32_t segments = 0;  // the candidate's first segment vector

  uint32_t path_of(RwaContext& c, int32_t candidate) {
    const RouteAction& a = route_entries(st, current_route(c, st))[candidate];
    segments = a.segments;
    return c.list_path(a.path);
  }
  VectorHead& segment_vector(const Segment& seg) const { return st.waves[segments + seg.ordinal]; }
  void commit(RwaContext&, uint32_t, const HopArray&, uint32_t) const {}
};

RoutingHalf fast_routing_half(AutomataState& state, bool priority_routing, bool single_list);
bool fast_assign(RwaContext& c, const RoutingHalf& routing, AutomataState& st, uint32_t s, uint32_t d, HopArray& hops,
                 uint32_t& path, uint32_t slots);

RoutingHalf deterministic_routing_half(AutomataState& state, bool priority_routing);
bool deterministic_assign(RwaContext& c, const RoutingHalf& routing, AutomataState& st, uint32_t s, uint32_t d,
                          HopArray& hops, uint32_t& path, uint32_t slots);

Status build_exhaustive_lists(AutomataState& state, const PathTable& paths, MemoryBudget& budget);
void reset_exhaustive(AutomataState& state);
bool exhaustive_assign(RwaContext& c, const RoutingHalf& routing, AutomataState& st, uint32_t s, uint32_t d,
                       HopArray& hops, uint32_t& path, uint32_t slots);

}  // namespace lumtra
