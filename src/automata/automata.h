// Learning automata (fast -la, exhaustive -xla, deterministic -dla): the
// per-pair probability vectors and counters, their installation into the
// method slots, their preparation after the paths and their per-batch reset.
#pragma once

#include "run/status.h"

namespace lumtra {

struct Run;

struct AutomataState {};

// Routing codes 2, 3, 5 and WA codes 2, 3, 5.
Status install_automata_routing(Run& run);
Status install_automata_assign(Run& run);
// Builds the vectors once the path table exists.
Status prepare_automata(Run& run);
// Start of every batch.
void reset_automata(Run& run);

}  // namespace lumtra
