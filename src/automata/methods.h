// Pieces shared by the fast, deterministic and exhaustive automata: the
// route vector of the request in progress, the assignment policy base that
// reads a route action's segment vectors, and the per-method entry points
// that automata.cpp installs.
#pragma once

#include <cstdint>
#include <string>

#include "automata/automata.h"
#include "rwa/placement.h"

namespace lumtra {

inline VectorHead& current_route(Run& run) {
  return run.automata.routes[size_t(run.request.source) * run.paths.total_nodes + run.request.destination];
}
inline RouteAction* route_entries(Run& run, const VectorHead& v) { return run.automata.route_actions.data() + v.first; }
inline WaveAction* wave_entries(Run& run, const VectorHead& v) { return run.automata.wave_actions.data() + v.first; }

// The pair's priority groups: group g covers path indices [at(g), at(g + 1)).
struct Groups {
  const uint32_t* bounds;
  uint32_t count;
  uint32_t at(uint32_t g) const { return bounds[g]; }
  bool is_last(uint32_t g) const { return g + 1 >= count; }
};
inline Groups current_groups(const Run& run) {
  const PathList& list = run.paths.list(run.request.source, run.request.destination);
  return {run.paths.group_boundaries(list), run.paths.group_count(list)};
}

// What route_first/route_next return for the action at the current
// position: the position itself when the assignment reads the route vector,
// else the action's path.
int32_t action_position(Run& run);
int32_t action_path(Run& run);

// Assignment over the route vector: the candidate is a position in the
// pair's route vector (or, under another routing method, which never
// reorders the vector, the path index, which is the same position).
struct RouteVectorPolicy {
  uint32_t segments = 0;  // the candidate's first segment vector

  uint32_t path_of(Run& run, int32_t candidate) {
    const RouteAction& a = route_entries(run, current_route(run))[candidate];
    segments = a.segments;
    return list_path(run, a.path);
  }
  VectorHead& segment_vector(Run& run, const Segment& seg) const { return run.automata.waves[segments + seg.ordinal]; }
  void commit(Run&, uint32_t, const HopArray&, uint32_t) const {}
};

void install_fast_routing(Run& run);
bool fast_assign(Run& run, uint32_t s, uint32_t d, HopArray& hops, uint32_t& path, uint32_t slots);

void install_deterministic_routing(Run& run);
bool deterministic_assign(Run& run, uint32_t s, uint32_t d, HopArray& hops, uint32_t& path, uint32_t slots);

Status build_exhaustive_lists(Run& run);
void reset_exhaustive(AutomataState& state);
bool exhaustive_assign(Run& run, uint32_t s, uint32_t d, HopArray& hops, uint32_t& path, uint32_t slots);

// Size arithmetic that saturates at the largest value instead of wrapping,
// so that an impossible size still compares as too large.
inline uint64_t saturating_mul(uint64_t a, uint64_t b) {
  uint64_t r;
  return __builtin_mul_overflow(a, b, &r) ? UINT64_MAX : r;
}
inline uint64_t saturating_add(uint64_t a, uint64_t b) {
  uint64_t r;
  return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

// Whether a structure of `bytes` bytes would not fit in this machine's memory.
bool exceeds_memory(uint64_t bytes);
// "N.N GiB" for a byte count.
std::string gib(uint64_t bytes);

}  // namespace lumtra
