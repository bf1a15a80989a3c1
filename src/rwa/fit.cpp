#include "rwa/fit.h"

#include "rwa/placement.h"

namespace lumtra {

namespace {

const PathList& current_list(const Run& run) {
  return run.paths.list(run.request.source, run.request.destination);
}

// ---- Routing halves -------------------------------------------------------

int32_t first_fit_route_first(Run& run, uint32_t s, uint32_t d) {
  run.request.source = s;
  run.request.destination = d;
  run.request.position = 0;
  return 0;
}

int32_t first_fit_route_next(Run& run) {
  ++run.request.position;
  return static_cast<uint32_t>(run.request.position) < current_list(run).count ? run.request.position : -1;
}

int32_t last_fit_route_first(Run& run, uint32_t s, uint32_t d) {
  run.request.source = s;
  run.request.destination = d;
  run.request.position = static_cast<int32_t>(current_list(run).count) - 1;
  return run.request.position;
}

int32_t last_fit_route_next(Run& run) {
  if (run.request.position <= 0) return -1;
  return --run.request.position;
}

int32_t random_route_first(Run& run, uint32_t s, uint32_t d) {
  run.request.source = s;
  run.request.destination = d;
  run.fit.routes.reset(0, current_list(run).count);
  return static_cast<int32_t>(run.fit.routes.pick(run.method_stream));
}

int32_t random_route_next(Run& run) {
  if (run.fit.routes.exhausted()) return -1;
  return static_cast<int32_t>(run.fit.routes.pick(run.method_stream));
}

// With priority groups the paths of a group are tried in random order, and a
// group is entered only when every path of the groups before it failed.
int32_t random_group_route_first(Run& run, uint32_t s, uint32_t d) {
  run.request.source = s;
  run.request.destination = d;
  run.request.group = 0;
  const PathList& list = current_list(run);
  const uint32_t* b = run.paths.group_boundaries(list);
  run.fit.routes.reset(b[0], b[1]);
  return static_cast<int32_t>(run.fit.routes.pick(run.method_stream));
}

int32_t random_group_route_next(Run& run) {
  if (!run.fit.routes.exhausted()) return static_cast<int32_t>(run.fit.routes.pick(run.method_stream));
  const PathList& list = current_list(run);
  if (run.request.group + 1 >= run.paths.group_count(list)) return -1;
  ++run.request.group;
  const uint32_t* b = run.paths.group_boundaries(list);
  run.fit.routes.reset(b[run.request.group], b[run.request.group + 1]);
  return static_cast<int32_t>(run.fit.routes.pick(run.method_stream));
}

void no_commit(Run&, uint32_t) {}

// ---- Assignment halves ----------------------------------------------------

struct FitPolicyBase {
  uint32_t path_of(Run& run, int32_t candidate) const { return list_path(run, candidate); }
  void commit(Run&, uint32_t, const HopArray&, uint32_t) const {}
};

// First fit scans the window upwards, last fit downwards.
template <bool kDownwards>
struct ScanPolicy : FitPolicyBase {
  Pick choose(Run& run, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) const {
    uint32_t low, end;
    scan_window(run.net, hops[seg.first], low, end);
    for (uint32_t i = 0; low + i < end; ++i) {
      w = kDownwards ? end - 1 - i : low + i;
      if (!count_attempt(run)) return Pick::blocked;
      if (fits_segment(run.net, hops, seg, w, slots)) return Pick::found;
    }
    return Pick::path_fails;
  }
};
using FirstFitPolicy = ScanPolicy<false>;
using LastFitPolicy = ScanPolicy<true>;

struct RandomPolicy : FitPolicyBase {
  Pick choose(Run& run, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) const {
    uint32_t low, end;
    scan_window(run.net, hops[seg.first], low, end);
    if (low >= end) return Pick::path_fails;
    ShuffleVector& v = run.fit.wavelengths;
    v.reset(low, end);
    for (uint32_t trial = low; trial < end; ++trial) {
      if (!count_attempt(run)) return Pick::blocked;
      w = v.pick(run.method_stream);
      if (fits_segment(run.net, hops, seg, w, slots)) return Pick::found;
    }
    return Pick::path_fails;
  }
};

template <class Policy>
bool assign_with(Run& run, uint32_t s, uint32_t d, HopArray& w, uint32_t& path, uint32_t slots) {
  Policy policy;
  return place_call(run, s, d, w, path, slots, policy);
}

}  // namespace

void install_fit_routing(Run& run) {
  Slots& slots = run.slots;
  slots.route_commit = no_commit;
  switch (run.config.routing_code) {
    case kLastFit:
      slots.route_first = last_fit_route_first;
      slots.route_next = last_fit_route_next;
      break;
    case kRandom:
      slots.route_first = run.config.priority_routing ? random_group_route_first : random_route_first;
      slots.route_next = run.config.priority_routing ? random_group_route_next : random_route_next;
      break;
    default:
      slots.route_first = first_fit_route_first;
      slots.route_next = first_fit_route_next;
      break;
  }
}

void install_fit_assign(Run& run) {
  switch (run.config.wa_code) {
    case kLastFit:
      run.slots.assign = assign_with<LastFitPolicy>;
      break;
    case kRandom:
      run.slots.assign = assign_with<RandomPolicy>;
      break;
    default:
      run.slots.assign = assign_with<FirstFitPolicy>;
      break;
  }
}

}  // namespace lumtra
