// Building the path table: enumeration of the candidate paths of every
// ordered pair within the hop window of the options, sorting, cuts by
// priority group, group boundaries, the no-path check, the G-Fabric
// switching variants, the printout and the per-hop data of every path.
#pragma once

#include "run/status.h"

namespace lumtra {

struct Run;

// Fills run.paths and prints it. Sets `no_path` when a pair with traffic has
// no candidate path (its warnings are printed).
Status build_path_table(Run& run, bool& no_path);

}  // namespace lumtra
