// Usage-based methods (most used -mu/-lmu, least used -lu/-llu): the sorted
// usage lists of paths and wavelengths, their installation into the method
// slots, their preparation after the paths and their per-batch reset.
#pragma once

#include "run/status.h"

namespace lumtra {

struct Run;

struct UsageState {};

// Routing codes 6, 8 and WA codes 6 to 9.
Status install_usage_routing(Run& run);
Status install_usage_assign(Run& run);
Status prepare_usage(Run& run);
void reset_usage(Run& run);

}  // namespace lumtra
