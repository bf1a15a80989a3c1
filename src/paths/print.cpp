#include "paths/build.h"
#include "base/console.h"
#include "network/lengths.h"

namespace lumtra {

void print_path_table(Console& out, const PathTable& table) {
  const uint32_t t = table.total_nodes;
  for (uint32_t s = 0; s < t; ++s) {
    for (uint32_t d = 0; d < t; ++d) {
      const PathList& l = table.list(s, d);
      for (uint32_t k = 0; k < l.count; ++k) {
        const Path& p = table.paths[l.first + k];
        out.text("\nPath From ").u64(s + 1).text(" to ").u64(d + 1).text(": ").u64(s + 1);
        const uint32_t* nodes = table.path_nodes(p);
        for (uint32_t i = 0; i < p.hops; ++i) out.ch('-').u64(uint64_t{nodes[i]} + 1);
        out.text("\nCost: ");
        if (table.costs_in_metres)
          out.text(km_text(p.cost)).text(" km\n");
        else
          out.i64(p.cost).ch('\n');
      }
    }
  }
}

void print_missing_paths(Console& out, const std::vector<std::pair<uint32_t, uint32_t>>& missing) {
  for (const auto& [s, d] : missing)
    out.text("Warning: There are no paths from ").u64(uint64_t{s} + 1).text(" to ").u64(uint64_t{d} + 1).ch('\n');
}

}  // namespace lumtra
