#include "automata/automata.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "automata/shared.h"

namespace lumtra {

namespace {

bool is_vector_method(int16_t code) { return code == kFastLA || code == kDeterministicLA; }

// The option that asked for the vectors, for messages.
const char* vector_option(const MethodOptions& m) {
  const int16_t code = is_vector_method(m.routing_code) ? m.routing_code : m.wa_code;
  return code == kFastLA ? "-la" : "-dla";
}

// Route vectors, and a wavelength vector per segment of every path, for
// every ordered pair. The sizes are counted first so that a run whose
// vectors cannot be held is refused before anything is allocated.
Status build_vectors(AutomataState& st, const PathTable& pt, const char* option, MemoryBudget& budget) {
  uint64_t segments = 0, wavelengths = 0;
  for (const Path& p : pt.paths) {
    const Hop* hops = pt.path_hops(p);
    for (uint32_t k = 0; k < p.hops; ++k) {
      if (k == 0 || hops[k - 1].ends_segment) {
        ++segments;
        wavelengths = saturating_add(wavelengths, hops[k].bound);
      }
    }
  }
  constexpr uint64_t kMaxEntries = std::numeric_limits<uint32_t>::max();
  if (segments > kMaxEntries || wavelengths > kMaxEntries)
    return Status::error("command line", option,
                         "the learning-automata vectors would hold " + std::to_string(wavelengths) +
                             " wavelength actions, more than the " + std::to_string(kMaxEntries) + " a run can number");
  const uint64_t bytes =
      saturating_add(uint64_t(pt.lists.size()) * sizeof(VectorHead) + pt.paths.size() * sizeof(RouteAction) +
                         segments * sizeof(VectorHead),
                     saturating_mul(wavelengths, sizeof(double) + sizeof(uint32_t)));
  if (Status s = budget.admit(bytes, "command line", option,
                              "the learning-automata vectors (" + std::to_string(wavelengths) + " wavelength actions)");
      !s.ok())
    return s;

  st.routes.assign(pt.lists.size(), VectorHead{});
  st.route_actions.clear();
  st.route_actions.reserve(pt.paths.size());
  st.waves.clear();
  st.waves.reserve(segments);
  st.wave_probability.assign(wavelengths, 0.0);
  st.wave_wavelength.clear();
  st.wave_wavelength.reserve(wavelengths);
  for (size_t pair = 0; pair < pt.lists.size(); ++pair) {
    const PathList& list = pt.lists[pair];
    VectorHead& route = st.routes[pair];
    route.first = static_cast<uint32_t>(st.route_actions.size());
    route.n = list.count;
    set_share(route, st.rates);
    for (uint32_t i = 0; i < list.count; ++i) {
      const Path& p = pt.paths[list.first + i];
      const Hop* hops = pt.path_hops(p);
      RouteAction a;
      a.path = static_cast<int32_t>(i);
      a.segments = static_cast<uint32_t>(st.waves.size());
      for (uint32_t k = 0; k < p.hops; ++k) {
        if (k != 0 && !hops[k - 1].ends_segment) continue;
        VectorHead w;
        w.first = static_cast<uint32_t>(st.wave_wavelength.size());
        w.n = hops[k].bound;
        set_share(w, st.rates);
        for (uint32_t m = 0; m < w.n; ++m) st.wave_wavelength.push_back(m);
        st.waves.push_back(w);
        ++a.segment_count;
      }
      st.route_actions.push_back(a);
    }
  }
  return Status::proceed();
}

}  // namespace

RoutingHalf fast_routing(AutomataState& state, const MethodOptions& methods, const PathOptions& paths) {
  state.assign_reads_vector = is_vector_method(methods.wa_code);
  return fast_routing_half(state, paths.priority_routing, methods.single_la_list);
}

RoutingHalf deterministic_routing(AutomataState& state, const MethodOptions& methods, const PathOptions& paths) {
  state.assign_reads_vector = is_vector_method(methods.wa_code);
  state.sort_mode = paths.sort_mode;
  return deterministic_routing_half(state, paths.priority_routing);
}

AssignmentHalf fast_assignment(AutomataState& state) { return assignment_half<AutomataState, fast_assign>(state); }
AssignmentHalf deterministic_assignment(AutomataState& state) {
  return assignment_half<AutomataState, deterministic_assign>(state);
}
AssignmentHalf exhaustive_assignment(AutomataState& state) {
  return assignment_half<AutomataState, exhaustive_assign>(state);
}

Status prepare_automata(AutomataState& st, const PathTable& paths, const MethodOptions& m, const PathOptions& po,
                        MemoryBudget& budget) {
  st.rates = {m.alpha, 1.0 - m.alpha, m.epsilon, 1.0 - m.epsilon};
  if (m.routing_code == kExhaustiveLA) return build_exhaustive_lists(st, paths, budget);
  if (!is_vector_method(m.routing_code) && !is_vector_method(m.wa_code)) return Status::proceed();
  if (po.priority_routing && is_vector_method(m.routing_code)) {
    // The priority variants walk the pair's groups.
    for (uint32_t s = 0; s < paths.total_nodes; ++s)
      for (uint32_t d = 0; d < paths.total_nodes; ++d) {
        const PathList& l = paths.list(s, d);
        if (l.count > 0 && paths.group_count(l) == 0)
          return Status::error("command line", "-pr",
                               "the paths from node " + std::to_string(s + 1) + " to node " + std::to_string(d + 1) +
                                   " have no priority groups");
      }
  }
  return build_vectors(st, paths, vector_option(m), budget);
}

void reset_automata(AutomataState& st, const PathTable& paths, const MethodOptions& m, const PathOptions& po) {
  if (m.routing_code == kExhaustiveLA) {
    reset_exhaustive(st);
    return;
  }
  if (m.routing_code == kFastLA) {
    const bool per_group = po.priority_routing && !m.single_la_list;
    for (size_t pair = 0; pair < st.routes.size(); ++pair) {
      const VectorHead& v = st.routes[pair];
      RouteAction* a = st.route_actions.data() + v.first;
      if (per_group) {
        const PathList& list = paths.lists[pair];
        group_uniform_init(a, v, paths.group_boundaries(list), list.boundary_count);
      } else {
        uniform_init(a, v);
      }
    }
  } else if (m.routing_code == kDeterministicLA) {
    for (RouteAction& a : st.route_actions) a.probability = 0.0;
  }
  if (m.wa_code == kFastLA) {
    for (const VectorHead& v : st.waves) uniform_init(wave_entries(st, v), v);
  } else if (m.wa_code == kDeterministicLA) {
    std::fill(st.wave_probability.begin(), st.wave_probability.end(), 0.0);
  }
}

}  // namespace lumtra
