// Network generator (-g): draws a random network from the distributions of a
// parameter file and writes it as a network file, which the run then reads
// like any other.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "run/status.h"

namespace lumtra {

struct Run;

// Writes a network of `node_count` nodes, drawn from run.config's parameter
// file with the Generator stream, to `out` (named `out_name` in messages).
Status generate_network(Run& run, uint32_t node_count, std::FILE* out, const std::string& out_name);

}  // namespace lumtra
