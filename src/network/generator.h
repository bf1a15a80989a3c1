// Network generator (-g): draws a random network from the distributions of a
// parameter file and writes it as a network file, which the run then reads
// like any other.
//
// Item positions (S = number of type values of item 0; the last type value
// takes the remainder of the percentages, so items 1 .. S-1 are the
// percentages and position S is the conversion item):
//   0 .. S-1   node type range and type percentages (percentages silent)
//   S          wavelength conversion (yes/no)
//   S+1        ports or cores of a node of type 2 or 4
//   S+2..S+4   port capacity, terminate and start probability (not with -vi)
//   B+1..B+3   slots per wavelength, minimum and maximum call slots
//              (B = S+4, or S+1 with -vi)
//   B+4, B+5   capacity symmetry switch, link percentage (both silent)
//   B+6, B+7   capacity of a pair without and with a link
//   B+8        rate symmetry switch (silent)
//   B+9, B+10  arrival rate towards an ordinary node and towards the sink
//   B+11..B+14 batches, batch time, alpha, epsilon
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/status.h"
#include "network/parameters.h"

namespace lumtra {

// What the command line says about generating: the parameter file, the
// sink node and virtual-node input.
struct GeneratorOptions {
  std::string file;          // text after "-g:"
  int32_t sink_node = -1;    // 0-based, -1 none
  bool virtual_input = false;
};

// A parameter file that has been read and checked against the layout above.
struct GeneratorInput {
  std::vector<ParameterItem> items;
  uint64_t type_values = 0;  // S
  uint64_t base = 0;         // B
};

// Reads the parameter file and checks every item against its position
// (kind, silence, bounds, count) and the -sn node against the network of
// `node_count` nodes. Writes nothing, so a bad file leaves every output as
// it was.
Status load_generator_input(const GeneratorOptions& options, uint32_t node_count, const MemoryBudget& budget,
                            GeneratorInput& input);

// Writes a network of `node_count` nodes drawn from `input` with the
// Generator stream `stream` to `out` (named `out_name` in messages).
Status generate_network(const GeneratorOptions& options, const GeneratorInput& input, uint32_t node_count,
                        Lehmer& stream, const MemoryBudget& budget, std::FILE* out, const std::string& out_name);

}  // namespace lumtra
