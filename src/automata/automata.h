// Learning automata (fast -la, exhaustive -xla, deterministic -dla): the
// per-pair probability vectors and counters of one lane, their halves, their
// preparation after the paths and their per-batch reset.
#pragma once

#include <cstdint>
#include <vector>

#include "automata/prob_vector.h"
#include "base/memory.h"
#include "base/status.h"
#include "paths/options.h"
#include "rwa/options.h"
#include "rwa/rwa.h"

namespace lumtra {

// An action of a pair's route vector: one candidate path with the
// wavelength vectors of its segments, which travel with it when the
// automaton reorders the actions.
struct RouteAction {
  int32_t path = 0;            // index in the pair's Path list
  uint32_t segments = 0;       // index of the first segment's head in AutomataState::waves
  uint32_t segment_count = 0;
  double probability = 0.0;    // or success counter (deterministic automaton)
};


// A combination of the exhaustive automaton: a path with one wavelength per
// hop. The lists reorder the records themselves, so that a drawn position
// leads straight to its path and wavelengths.
struct Combination {
  uint64_t wavelengths = 0;  // offset of hop 0's wavelength in AutomataState::combo_wavelengths
  uint32_t path = 0;         // index into PathTable::paths
};

// A pair's exhaustive list: positions first .. first + n - 1 of
// combo_probability and combos.
struct ComboList {
  uint64_t first = 0;
  uint64_t n = 0;
  double share = -1.0;  // epsilon / (n - 1)
};

struct AutomataState {
  LearningRates rates;
  // When the assignment half reads the route vector too (-la or -dla
  // assignment), route_first/next hand it positions in the vector;
  // otherwise they hand the routing skeleton path indices.
  bool assign_reads_vector = false;
  int16_t sort_mode = kNoSort;  // priority groups of the deterministic automaton
  // Fast and deterministic automata: a route vector per ordered pair (T x T,
  // empty for a pair without paths) over `route_actions`, and a wavelength
  // vector per segment of every route action over `wave_probability` and
  // `wave_wavelength` (entry i of a vector at first + i of both).
  std::vector<VectorHead> routes;
  std::vector<RouteAction> route_actions;
  std::vector<VectorHead> waves;
  std::vector<double> wave_probability;
  std::vector<uint32_t> wave_wavelength;
  // Exhaustive automaton: a list per ordered pair (T x T). Probabilities and
  // combinations are kept apart so that the whole-list reward and penalty
  // run over plain arrays of doubles.
  std::vector<ComboList> lists;
  std::vector<double> combo_probability;  // by position
  std::vector<Combination> combos;        // by position
  std::vector<uint32_t> combo_wavelengths;
};

// Routing halves (codes 2 and 5) and assignment halves (codes 2, 3, 5);
// the exhaustive automaton routes inside its assignment and has no routing
// half of its own.
RoutingHalf fast_routing(AutomataState& state, const MethodOptions& methods, const PathOptions& paths);
RoutingHalf deterministic_routing(AutomataState& state, const MethodOptions& methods, const PathOptions& paths);
AssignmentHalf fast_assignment(AutomataState& state);
AssignmentHalf deterministic_assignment(AutomataState& state);
AssignmentHalf exhaustive_assignment(AutomataState& state);

// Builds the vectors or lists the two codes need once the path table
// exists, taking their memory from the budget.
Status prepare_automata(AutomataState& state, const PathTable& paths, const MethodOptions& methods,
                        const PathOptions& path_options, MemoryBudget& budget);
// Start of every batch: fresh probabilities and counters; the order the
// entries reached is kept.
void reset_automata(AutomataState& state, const PathTable& paths, const MethodOptions& methods,
                    const PathOptions& path_options);

}  // namespace lumtra
