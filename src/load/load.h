// Load and congestion routing (-ll, -ml, -wlcr, -wmcr): orders the paths of a
// pair by the current link state at every request.
#pragma once

#include "run/status.h"

namespace lumtra {

struct Run;

struct LoadState {};

// Routing codes 10 to 13.
Status install_load_routing(Run& run);
Status prepare_load(Run& run);
void reset_load(Run& run);

}  // namespace lumtra
