#include "rwa/fit.h"

#include "rwa/placement.h"

namespace lumtra {

namespace {

const PathList& current_list(const RwaContext& c) { return c.paths->list(c.request.source, c.request.destination); }

void begin(RwaContext& c, uint32_t s, uint32_t d) {
  c.request.source = s;
  c.request.destination = d;
}

void no_commit(RwaContext&, FitState&, uint32_t) {}

// ---- Routing halves -------------------------------------------------------

int32_t first_fit_first(RwaContext& c, FitState&, uint32_t s, uint32_t d) {
  begin(c, s, d);
  c.request.position = 0;
  return 0;
}

int32_t first_fit_next(RwaContext& c, FitState&) {
  ++c.request.position;
  return static_cast<uint32_t>(c.request.position) < current_list(c).count ? c.request.position : -1;
}

int32_t last_fit_first(RwaContext& c, FitState&, uint32_t s, uint32_t d) {
  begin(c, s, d);
  c.request.position = static_cast<int32_t>(current_list(c).count) - 1;
  return c.request.position;
}

int32_t last_fit_next(RwaContext& c, FitState&) {
  if (c.request.position <= 0) return -1;
  return --c.request.position;
}

int32_t random_first(RwaContext& c, FitState& f, uint32_t s, uint32_t d) {
  begin(c, s, d);
  f.routes.reset(0, current_list(c).count);
  return static_cast<int32_t>(f.routes.pick(c.stream));
}

int32_t random_next(RwaContext& c, FitState& f) {
  if (f.routes.exhausted()) return -1;
  return static_cast<int32_t>(f.routes.pick(c.stream));
}

int32_t random_group_first(RwaContext& c, FitState& f, uint32_t s, uint32_t d) {
  begin(c, s, d);
  c.request.group = 0;
  const uint32_t* b = c.paths->group_boundaries(current_list(c));
  f.routes.reset(b[0], b[1]);
  return static_cast<int32_t>(f.routes.pick(c.stream));
}

int32_t random_group_next(RwaContext& c, FitState& f) {
  if (!f.routes.exhausted()) return static_cast<int32_t>(f.routes.pick(c.stream));
  const PathList& list = current_list(c);
  if (c.request.group + 1 >= c.paths->group_count(list)) return -1;
  ++c.request.group;
  const uint32_t* b = c.paths->group_boundaries(list);
  f.routes.reset(b[c.request.group], b[c.request.group + 1]);
  return static_cast<int32_t>(f.routes.pick(c.stream));
}

// ---- Assignment halves ----------------------------------------------------

struct FitPolicyBase {
  uint32_t path_of(RwaContext& c, int32_t candidate) const { return c.list_path(candidate); }
  void commit(RwaContext&, uint32_t, const HopArray&, uint32_t) const {}
};

// First fit scans the window upwards, last fit downwards.
template <bool kDownwards>
struct ScanPolicy : FitPolicyBase {
  Pick choose(RwaContext& c, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) const {
    return scan_segment<kDownwards>(c, hops, seg, slots, w);
  }
};

struct RandomPolicy : FitPolicyBase {
  ShuffleVector& draws;
  Pick choose(RwaContext& c, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) const {
    uint32_t low, end;
    scan_window(*c.links, hops[seg.first], low, end);
    if (low >= end) return Pick::path_fails;
    const SegmentFit fit(*c.links, hops, seg, slots);
    if (!fit.grooms() && !fit.any(low, end)) {
      // Every draw would fail: only the trials and the stream's steps are
      // left to count (the draws are reset before their next use). Where a
      // hop grooms, finding that out costs about as much as the draws.
      const uint32_t trials = std::min(end - low, c.attempts_left());
      c.stream.skip(trials);
      return fail_all(c, end - low);
    }
    draws.reset(low, end);
    for (uint32_t trial = low; trial < end; ++trial) {
      if (!c.count_attempt()) return Pick::blocked;
      w = draws.pick(c.stream);
      if (fit.fits(w)) return Pick::found;
    }
    return Pick::path_fails;
  }
};

template <bool kDownwards>
bool scan_assign(RwaContext& c, const RoutingHalf& routing, FitState&, uint32_t s, uint32_t d, HopArray& w,
                 uint32_t& path, uint32_t slots) {
  ScanPolicy<kDownwards> policy;
  return assign_call(c, routing, policy, s, d, w, path, slots);
}

bool random_assign(RwaContext& c, const RoutingHalf& routing, FitState& f, uint32_t s, uint32_t d, HopArray& w,
                   uint32_t& path, uint32_t slots) {
  RandomPolicy policy{{}, f.wavelengths};
  return assign_call(c, routing, policy, s, d, w, path, slots);
}

}  // namespace

RoutingHalf first_fit_routing(FitState& state) {
  return routing_half<FitState, first_fit_first, first_fit_next, no_commit>(state);
}

RoutingHalf last_fit_routing(FitState& state) {
  return routing_half<FitState, last_fit_first, last_fit_next, no_commit>(state);
}

RoutingHalf random_routing(FitState& state, bool priority_groups) {
  if (priority_groups) return routing_half<FitState, random_group_first, random_group_next, no_commit>(state);
  return routing_half<FitState, random_first, random_next, no_commit>(state);
}

AssignmentHalf first_fit_assignment(FitState& state) { return assignment_half<FitState, scan_assign<false>>(state); }
AssignmentHalf last_fit_assignment(FitState& state) { return assignment_half<FitState, scan_assign<true>>(state); }
AssignmentHalf random_assignment(FitState& state) { return assignment_half<FitState, random_assign>(state); }

}  // namespace lumtra
