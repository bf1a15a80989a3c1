#include "methods/table.h"

#include <cctype>

namespace lumtra {

namespace {

// ---- Families: halves, preparation and reset over the lane's MethodSet -----

RoutingHalf route_first_fit(MethodSet& m, const MethodSetup&) { return first_fit_routing(m.fit); }
RoutingHalf route_last_fit(MethodSet& m, const MethodSetup&) { return last_fit_routing(m.fit); }
RoutingHalf route_random(MethodSet& m, const MethodSetup& s) { return random_routing(m.fit, s.paths.priority_routing); }
AssignmentHalf assign_first_fit(MethodSet& m, const MethodSetup&) { return first_fit_assignment(m.fit); }
AssignmentHalf assign_last_fit(MethodSet& m, const MethodSetup&) { return last_fit_assignment(m.fit); }
AssignmentHalf assign_random(MethodSet& m, const MethodSetup&) { return random_assignment(m.fit); }
Status prepare_nothing(MethodSet&, const MethodSetup&, MemoryBudget&) { return Status::proceed(); }
void reset_nothing(MethodSet&, const MethodSetup&) {}

RoutingHalf route_fast_la(MethodSet& m, const MethodSetup& s) { return fast_routing(m.automata, s.methods, s.paths); }
RoutingHalf route_deterministic_la(MethodSet& m, const MethodSetup& s) {
  return deterministic_routing(m.automata, s.methods, s.paths);
}
// The exhaustive automaton chooses path and wavelengths together in its
// assignment half.
RoutingHalf route_inside_assignment(MethodSet&, const MethodSetup&) { return RoutingHalf{}; }
AssignmentHalf assign_fast_la(MethodSet& m, const MethodSetup&) { return fast_assignment(m.automata); }
AssignmentHalf assign_exhaustive_la(MethodSet& m, const MethodSetup&) { return exhaustive_assignment(m.automata); }
AssignmentHalf assign_deterministic_la(MethodSet& m, const MethodSetup&) { return deterministic_assignment(m.automata); }
Status prepare_automata_state(MethodSet& m, const MethodSetup& s, MemoryBudget& budget) {
  return prepare_automata(m.automata, s.table, s.methods, s.paths, budget);
}
void reset_automata_state(MethodSet& m, const MethodSetup& s) { reset_automata(m.automata, s.table, s.methods, s.paths); }

RoutingHalf route_by_usage(MethodSet& m, const MethodSetup& s) {
  return usage_routing(m.usage, s.methods.routing_code, s.paths);
}
AssignmentHalf assign_by_usage(MethodSet& m, const MethodSetup& s) { return usage_assignment(m.usage, s.methods.wa_code); }
Status prepare_usage_state(MethodSet& m, const MethodSetup& s, MemoryBudget& budget) {
  return prepare_usage(m.usage, s.net, s.table, s.methods, budget);
}
void reset_usage_state(MethodSet& m, const MethodSetup&) { reset_usage(m.usage); }

RoutingHalf route_by_load(MethodSet& m, const MethodSetup& s) {
  return load_routing(m.load, s.methods.routing_code, s.paths);
}
Status prepare_load_state(MethodSet& m, const MethodSetup& s, MemoryBudget&) {
  return prepare_load(m.load, s.table, s.methods.routing_code);
}
void reset_load_state(MethodSet& m, const MethodSetup& s) { reset_load(m.load, s.table, s.methods.routing_code); }

constexpr ScanRule kNext = ScanRule::next_half;

// clang-format off
constexpr MethodRow kRows[] = {
    {kFirstFit, "FF", "first fit", kNext, kFirstFit, kFirstFit, false, false, false,
     "  -ff\t\tUse first fit RWA. This is the default method\n",
     route_first_fit, assign_first_fit, prepare_nothing, reset_nothing},
    {kRandom, "R", "random", kNext, kRandom, kRandom, false, false, false,
     "  -r\t\tUse random RWA\n",
     route_random, assign_random, prepare_nothing, reset_nothing},
    {kFastLA, "LA", "fast learning automata", kNext, kFastLA, kFastLA, true, true, true,
     "  -la\t\tUse Fast Learning Automata RWA\n",
     route_fast_la, assign_fast_la, prepare_automata_state, reset_automata_state},
    {kExhaustiveLA, "XLA", "exhaustive learning automata", ScanRule::both_halves, kExhaustiveLA, kExhaustiveLA,
     false, true, false,
     "  -xla\t\tUse Exhaustive Learning Automata RWA\n",
     route_inside_assignment, assign_exhaustive_la, prepare_automata_state, reset_automata_state},
    {kDeterministicLA, "DLA", "deterministic learning automata", kNext, kDeterministicLA, kDeterministicLA,
     false, false, false,
     "  -dla\t\tUse Deterministic Learning Automata RWA\n",
     route_deterministic_la, assign_deterministic_la, prepare_automata_state, reset_automata_state},
    {kMostUsed, "MU", "most used", kNext, kMostUsed, kMostUsed, false, false, false,
     "  -mu\t\tUse Most Used Routing and Global channels Most Used WA\n",
     route_by_usage, assign_by_usage, prepare_usage_state, reset_usage_state},
    {kLocalMostUsed, "LMU", "most used, local channels", kNext, kMostUsed, kLocalMostUsed, false, false, false,
     "  -lmu\t\tUse Most Used Routing and Local channels Most Used WA\n",
     route_by_usage, assign_by_usage, prepare_usage_state, reset_usage_state},
    {kLeastUsed, "LU", "least used", kNext, kLeastUsed, kLeastUsed, false, false, false,
     "  -lu\t\tUse Least Used Routing and Global channels Least Used WA\n",
     route_by_usage, assign_by_usage, prepare_usage_state, reset_usage_state},
    {kLocalLeastUsed, "LLU", "least used, local channels", kNext, kLeastUsed, kLocalLeastUsed, false, false, false,
     "  -llu\t\tUse Least Used Routing and Local channels Least Used WA\n",
     route_by_usage, assign_by_usage, prepare_usage_state, reset_usage_state},
    {kLastFit, "LF", "last fit", kNext, kLastFit, kLastFit, false, false, false,
     "  -lf\t\tUse Last Fit RWA.\n",
     route_last_fit, assign_last_fit, prepare_nothing, reset_nothing},
    {kLeastLoaded, "LL", "least loaded", kNext, kLeastLoaded, kFirstFit, false, false, false,
     "  -ll\t\tUse Least Loaded Routing. When used for WA, first fit is used.\n"
     "\t\t-e:1 -sh -pr can be used also to let -ll behave exactly as\n"
     "\t\tLeast Loaded Routing is defined in most papers.\n",
     route_by_load, nullptr, prepare_load_state, reset_load_state},
    {kMostLoaded, "ML", "most loaded", kNext, kMostLoaded, kFirstFit, false, false, false,
     "  -ml\t\tUse Most Loaded Routing. When used for WA, first fit is used.\n",
     route_by_load, nullptr, prepare_load_state, reset_load_state},
    {kWeightedLeastCongestion, "WLCR", "weighted least congestion", ScanRule::routing_only,
     kWeightedLeastCongestion, -1, false, false, false,
     "  -wlcr\t\tUse Weighted Least Congestion Routing. Can not be used for WA.\n",
     route_by_load, nullptr, prepare_load_state, reset_load_state},
    {kWeightedMostCongestion, "WMCR", "weighted most congestion", ScanRule::routing_only,
     kWeightedMostCongestion, -1, false, false, false,
     "  -wmcr\t\tUse Weighted Most Congestion Routing. Can not be used for WA.\n",
     route_by_load, nullptr, prepare_load_state, reset_load_state},
};
// clang-format on

// Every code has exactly one row, and every row that assigns by itself has
// an assignment half.
constexpr bool table_is_whole() {
  for (int16_t code = 0; code < kMethodCount; ++code) {
    int rows = 0;
    for (const MethodRow& r : kRows) rows += r.code == code;
    if (rows != 1) return false;
  }
  for (const MethodRow& r : kRows)
    if ((r.assign_as == r.code) != (r.assignment != nullptr) || r.routing == nullptr) return false;
  return true;
}
static_assert(table_is_whole(), "every method code needs exactly one complete row");

}  // namespace

std::span<const MethodRow> method_rows() { return kRows; }

const MethodRow* method_row(int16_t code) {
  for (const MethodRow& r : kRows)
    if (r.code == code) return &r;
  return nullptr;
}

std::string option_letters(const MethodRow& row) {
  std::string letters = row.letters;
  for (char& c : letters) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return letters;
}

const MethodRow* method_row_for_option(const std::string& option) {
  const MethodRow* best = nullptr;
  size_t best_length = 0;
  for (const MethodRow& r : kRows) {
    const std::string letters = r.letters;
    if (option.size() < letters.size() || letters.size() <= best_length) continue;
    bool match = true;
    for (size_t i = 0; i < letters.size() && match; ++i)
      match = std::toupper(static_cast<unsigned char>(option[i])) == letters[i];
    if (match) {
      best = &r;
      best_length = letters.size();
    }
  }
  return best;
}

bool needs_la_constants(const MethodOptions& m) {
  const MethodRow* routing = method_row(m.routing_code);
  const MethodRow* assignment = method_row(m.wa_code);
  return (routing && routing->la_constants_routing) || (assignment && assignment->la_constants_assignment);
}

namespace {

// Binds the halves of the two codes over the set's own state.
Status bind_methods(MethodSet& set, const MethodSetup& setup, const LinkState& links, Lehmer method_stream,
                    const MethodRow*& routing, const MethodRow*& assignment) {
  routing = method_row(setup.methods.routing_code);
  assignment = method_row(setup.methods.wa_code);
  if (!routing || !assignment || !assignment->assignment)
    return Status::error("command line", "method",
                         "codes " + std::to_string(setup.methods.routing_code) + " and " +
                             std::to_string(setup.methods.wa_code) + " name no routing and assignment");
  RwaContext& c = set.rwa.context;
  c.links = &links;
  c.paths = &setup.table;
  c.stream = method_stream;
  c.max_attempts = setup.methods.max_attempts;
  set.rwa.routing = routing->routing(set, setup);
  set.rwa.assignment = assignment->assignment(set, setup);
  if (!setup.plugin) return Status::proceed();
  if (Status s = set.plugin.open(*setup.plugin); !s.ok()) return s;
  set.rwa.assignment = set.plugin.half();
  return Status::proceed();
}

}  // namespace

void copy_method_state(MethodSet& to, const MethodSet& from) {
  to.fit = from.fit;
  to.automata = from.automata;
  to.usage = from.usage;
  to.load = from.load;
}

Status install_copy(MethodSet& set, const MethodSet& prepared, const MethodSetup& setup, const LinkState& links) {
  copy_method_state(set, prepared);
  const MethodRow *routing = nullptr, *assignment = nullptr;
  return bind_methods(set, setup, links, prepared.rwa.context.stream, routing, assignment);
}

Status install_methods(MethodSet& set, const MethodSetup& setup, const LinkState& links, Lehmer method_stream,
                       MemoryBudget& budget) {
  const MethodRow *routing = nullptr, *assignment = nullptr;
  if (Status s = bind_methods(set, setup, links, method_stream, routing, assignment); !s.ok()) return s;
  if (Status s = routing->prepare(set, setup, budget); !s.ok()) return s;
  if (assignment->prepare != routing->prepare) return assignment->prepare(set, setup, budget);
  return Status::proceed();
}

void reset_methods(MethodSet& set, const MethodSetup& setup) {
  const MethodRow* routing = method_row(setup.methods.routing_code);
  const MethodRow* assignment = method_row(setup.methods.wa_code);
  routing->reset(set, setup);
  if (assignment->reset != routing->reset) assignment->reset(set, setup);
  if (set.plugin.active()) set.plugin.reset();
}

Status check_plugin_methods(const LoadedPlugin& plugin, MethodOptions& methods) {
  if (methods.routing_code == kExhaustiveLA)
    return Status::error("command line", "--plugin",
                         "-xla routes inside its own assignment, so a plug-in cannot take its place");
  if (plugin.routes() && methods.routing_code != kFirstFit)
    return Status::error("command line", "--plugin",
                         plugin.source() + " chooses the paths itself, so the routing method -" +
                             option_letters(*method_row(methods.routing_code)) + " cannot be used with it");
  methods.wa_code = kFirstFit;
  return Status::proceed();
}

}  // namespace lumtra
