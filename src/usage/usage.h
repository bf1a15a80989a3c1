// Usage-based methods (most used -mu/-lmu, least used -lu/-llu). Paths and
// wavelengths are chosen in the order of how many time slots the calls in
// progress currently put on them, read from sorted usage lists that are
// repaired in place at every placement and departure:
//   - one Route usage list per ordered pair (routing codes 6 and 8), over the
//     pair's candidate paths;
//   - one Global channel usage list (WA codes 6 and 8), over the wavelengths
//     below the widest fibre of the network;
//   - one Local channel usage list per path (WA codes 7 and 9), over the
//     wavelengths below the path's largest segment bound.
// Codes 6 and 7 keep their lists most used first, 8 and 9 least used first.
#pragma once

#include "base/memory.h"
#include "base/status.h"
#include "network/network.h"
#include "paths/options.h"
#include "rwa/options.h"
#include "rwa/rwa.h"
#include "usage/usage_list.h"

namespace lumtra {

struct UsageState {
  // Route usage lists, indexed like the path table's lists (s * T + d).
  UsageListSet routes;
  // The global list (one list), or the local lists indexed like
  // PathTable::paths.
  UsageListSet channels;
  // Priority routing: a path never passes a path of another priority group.
  int16_t sort_mode = kNoSort;
};

// Routing codes 6 (most used first) and 8 (least used first).
RoutingHalf usage_routing(UsageState& state, int16_t code, const PathOptions& paths);
// WA codes 6 to 9.
AssignmentHalf usage_assignment(UsageState& state, int16_t code);

// Builds the lists the two codes need once the path table exists, taking
// their memory from the budget.
Status prepare_usage(UsageState& state, const Network& net, const PathTable& paths, const MethodOptions& methods,
                     MemoryBudget& budget);
// Start of a batch: every list in index order with all counts 0.
void reset_usage(UsageState& state);

}  // namespace lumtra
