#include "automata/automata.h"

#include <cstdio>
#include <limits>

#include "automata/methods.h"
#include "base/memory.h"
#include "run/run.h"

namespace lumtra {

namespace {

bool is_vector_method(int16_t code) { return code == kFastLA || code == kDeterministicLA; }

// The option that asked for the vectors, for messages.
const char* vector_option(const Config& cfg) {
  const int16_t code = is_vector_method(cfg.routing_code) ? cfg.routing_code : cfg.wa_code;
  return code == kFastLA ? "-la" : "-dla";
}

// Route vectors, and a wavelength vector per segment of every path, for
// every ordered pair. The sizes are counted first so that a run whose
// vectors cannot be held is refused before anything is allocated.
Status build_vectors(Run& run) {
  const PathTable& pt = run.paths;
  AutomataState& st = run.automata;

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
  const uint64_t bytes =
      saturating_add(uint64_t(pt.lists.size()) * sizeof(VectorHead) + pt.paths.size() * sizeof(RouteAction) +
                         segments * sizeof(VectorHead),
                     saturating_mul(wavelengths, sizeof(WaveAction)));
  const std::string held = "the learning-automata vectors would hold " + std::to_string(wavelengths) +
                           " wavelength actions (" + gib(bytes) + "), more than ";
  if (exceeds_memory(bytes)) return Status::error("command line", vector_option(run.config), held + "this machine's memory");
  constexpr uint64_t kMaxEntries = std::numeric_limits<uint32_t>::max();
  if (segments > kMaxEntries || wavelengths > kMaxEntries)
    return Status::error("command line", vector_option(run.config),
                         held + "the " + std::to_string(kMaxEntries) + " a run can number");

  st.routes.assign(pt.lists.size(), VectorHead{});
  st.route_actions.clear();
  st.route_actions.reserve(pt.paths.size());
  st.waves.clear();
  st.waves.reserve(segments);
  st.wave_actions.clear();
  st.wave_actions.reserve(wavelengths);
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
        w.first = static_cast<uint32_t>(st.wave_actions.size());
        w.n = hops[k].bound;
        set_share(w, st.rates);
        for (uint32_t m = 0; m < w.n; ++m) st.wave_actions.push_back(WaveAction{m, 0.0});
        st.waves.push_back(w);
        ++a.segment_count;
      }
      st.route_actions.push_back(a);
    }
  }
  return Status::proceed();
}

}  // namespace

bool exceeds_memory(uint64_t bytes) {
  const uint64_t have = available_memory_bytes();
  return have != 0 && bytes > have;
}

std::string gib(uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f GiB", double(bytes) / double(uint64_t(1) << 30));
  return text;
}

int32_t action_position(Run& run) { return run.request.position; }
int32_t action_path(Run& run) { return route_entries(run, current_route(run))[run.request.position].path; }

Status install_automata_routing(Run& run) {
  Slots& slots = run.slots;
  const bool assign_reads_vector = is_vector_method(run.config.wa_code);
  slots.la_action_path = assign_reads_vector ? action_position : action_path;
  slots.dla_action_path = slots.la_action_path;
  switch (run.config.routing_code) {
    case kFastLA:
      install_fast_routing(run);
      break;
    case kDeterministicLA:
      install_deterministic_routing(run);
      break;
    default:  // the exhaustive automaton routes inside its own assign
      break;
  }
  return Status::proceed();
}

Status install_automata_assign(Run& run) {
  switch (run.config.wa_code) {
    case kFastLA:
      run.slots.assign = fast_assign;
      break;
    case kDeterministicLA:
      run.slots.assign = deterministic_assign;
      break;
    default:
      run.slots.assign = exhaustive_assign;
      break;
  }
  return Status::proceed();
}

Status prepare_automata(Run& run) {
  const Config& cfg = run.config;
  run.automata = AutomataState{};
  run.automata.rates = {cfg.alpha, cfg.one_minus_alpha, cfg.epsilon, cfg.one_minus_epsilon};
  if (cfg.routing_code == kExhaustiveLA) return build_exhaustive_lists(run);
  if (!is_vector_method(cfg.routing_code) && !is_vector_method(cfg.wa_code)) return Status::proceed();
  if (cfg.priority_routing && is_vector_method(cfg.routing_code)) {
    // The priority variants walk the pair's groups.
    for (uint32_t s = 0; s < run.paths.total_nodes; ++s)
      for (uint32_t d = 0; d < run.paths.total_nodes; ++d) {
        const PathList& l = run.paths.list(s, d);
        if (l.count > 0 && run.paths.group_count(l) == 0)
          return Status::error("command line", "-pr",
                               "the paths from node " + std::to_string(s + 1) + " to node " + std::to_string(d + 1) +
                                   " have no priority groups");
      }
  }
  return build_vectors(run);
}

void reset_automata(Run& run) {
  const Config& cfg = run.config;
  AutomataState& st = run.automata;
  if (cfg.routing_code == kExhaustiveLA) {
    reset_exhaustive(st);
    return;
  }
  if (cfg.routing_code == kFastLA) {
    const bool per_group = cfg.priority_routing && !cfg.single_la_list;
    for (size_t pair = 0; pair < st.routes.size(); ++pair) {
      const VectorHead& v = st.routes[pair];
      RouteAction* a = st.route_actions.data() + v.first;
      if (per_group) {
        const PathList& list = run.paths.lists[pair];
        group_uniform_init(a, v, run.paths.group_boundaries(list), list.boundary_count);
      } else {
        uniform_init(a, v);
      }
    }
  } else if (cfg.routing_code == kDeterministicLA) {
    for (RouteAction& a : st.route_actions) a.probability = 0.0;
  }
  if (cfg.wa_code == kFastLA) {
    for (const VectorHead& v : st.waves) uniform_init(st.wave_actions.data() + v.first, v);
  } else if (cfg.wa_code == kDeterministicLA) {
    for (WaveAction& a : st.wave_actions) a.probability = 0.0;
  }
}

}  // namespace lumtra
