// --check: reads the network exactly as a run would and builds its
// candidate paths, then prints a short report instead of simulating: nodes
// by type, fibres, wavelengths and time slots, capacities and arrival rates
// that differ between the two directions of a node pair, traffic from a node
// to itself, the offered load in Erlangs, and the pairs with traffic but no
// candidate path. A source that cannot be read is reported as far as it was
// read, with its first problem.
#pragma once

#include "base/status.h"
#include "run/run.h"

namespace lumtra {

// Finishes with Exit::ok when the network can run; otherwise returns the
// first problem found (exit status 1).
Status check_network(Run& run);

}  // namespace lumtra
