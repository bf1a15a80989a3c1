// Usage-based methods (most used -mu/-lmu, least used -lu/-llu). Paths and
// wavelengths are chosen in the order of how many time slots the calls in
// progress currently put on them, read from sorted usage lists that are
// repaired in place at every placement and departure:
//   - one Route usage list per ordered pair (routing codes 6 and 8), over the
//     pair's candidate paths;
//   - one Global channel usage list (WA codes 6 and 8), over the wavelengths
//     0 .. max_fibre_capacity-1, counting every hop of every call;
//   - one Local channel usage list per path (WA codes 7 and 9), over the
//     wavelengths below the path's largest segment bound.
// Codes 6 and 7 keep their lists most used first, 8 and 9 least used first.
#pragma once

#include "base/status.h"
#include "usage/usage_list.h"

namespace lumtra {

struct Run;

struct UsageState {
  // Route usage lists, indexed like the path table's lists (s * T + d).
  UsageListSet routes;
  // The global list (one list), or the local lists indexed like
  // PathTable::paths.
  UsageListSet channels;
};

// Routing codes 6, 8: the routing slots and the path-usage event_release.
Status install_usage_routing(Run& run);
// WA codes 6 to 9: `assign` and the channel-usage event_release, which also
// does the path-usage bookkeeping when the routing is usage-based too.
Status install_usage_assign(Run& run);
// Builds the lists the installed codes need, once the path table exists.
Status prepare_usage(Run& run);
// Start of a batch: every list in index order with all counts 0.
void reset_usage(Run& run);

}  // namespace lumtra
