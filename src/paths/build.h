// Building the path table: enumeration of the candidate paths of every
// ordered pair within the hop window of the options, sorting, cuts by
// priority group, group boundaries, the no-path check, the G-Fabric
// switching variants, the printout and the per-hop data of every path.
#pragma once

#include <cstdint>
#include <cstdio>

#include <utility>
#include <vector>

#include "base/status.h"
#include "network/network.h"
#include "paths/options.h"
#include "paths/path_table.h"

namespace lumtra {

class Console;

// How large the table may grow before the build gives up with an error
// instead of exhausting the machine.
struct PathLimits {
  uint64_t max_entries = 4294967295u;  // per pool (32-bit offsets)
  uint64_t max_bytes = 0;              // 0: no limit but the entries
  // Where a long enumeration reports the paths found so far, a few times a
  // second (a terminal's standard error); none when null.
  std::FILE* progress = nullptr;
  uint32_t progress_ms = 250;  // least time between two reports
};

// Fills `table` with the candidate paths of every ordered pair of `net`
// under `options`, within `limits`. `missing` receives the pairs with
// traffic and no candidate path.
Status build_path_table(const Network& net, const PathOptions& options, const PathLimits& limits, PathTable& table,
                        std::vector<std::pair<uint32_t, uint32_t>>& missing);
// The bytes a built table holds.
uint64_t table_bytes(const PathTable& table);

// "Warning: There are no paths from S to D" for each pair.
void print_missing_paths(Console& out, const std::vector<std::pair<uint32_t, uint32_t>>& missing);
// The printout of every path of the table, pair by pair.
void print_path_table(Console& out, const PathTable& table);

// Per-hop data of the path that leaves `source` and visits
// nodes[0 .. hops-1]: link index, Segment wavelength bound, segment ends and
// grooming of both ends.
void fill_hop_data(const Network& net, uint32_t source, const uint32_t* nodes, uint32_t hops, Hop* out);

}  // namespace lumtra
