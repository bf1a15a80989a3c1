// The options that shape the candidate path lists: hop window, sorting,
// cuts, priority groups and G-Fabric switchings.
#pragma once

#include <cstdint>

#include "base/limits.h"

namespace lumtra {

// Sort modes of the candidate path lists.
enum SortMode : int16_t {
  kNoSort = -1,
  kSortHops = 1,
  kSortCost = 2,
  kSortHopsThenCost = 3,
  kSortCostThenHops = 4,
};

struct PathOptions {
  bool all_paths = false;                // -a
  int32_t max_path_length = kUnbounded;  // -mx
  int32_t min_path_length = 0;           // -mn
  int32_t max_paths = 0;                 // -mp; 0 or negative: no limit
  int32_t length_margin = 0;             // -mc
  int32_t path_order = 1;                // -n
  int32_t second_path_limit = 0;         // -e
  int16_t sort_mode = kNoSort;           // -sh, -sc
  bool priority_routing = false;         // -pr
  int32_t max_switchings = kUnbounded;   // -px
  int32_t min_switchings = 0;            // -pn
};

}  // namespace lumtra
