// Ordering of candidate path lists: the Sort mode keys, the equal-priority
// test, sorting, the cut to the first priority groups and the Group boundary
// lists. The same operations serve the lists while the table is being built
// (std::vector<Path> whose `nodes` point into a scratch pool) and the frozen
// table that the routing methods read.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "paths/path_table.h"

namespace lumtra {

// True when the two paths fall into the same priority group under the Sort
// mode: equal hops (-sh), equal cost (-sc), or both (-sh -sc, -sc -sh).
// Without a Sort mode every path has the same priority.
bool same_priority(int16_t sort_mode, const Path& a, const Path& b);

// Orders a list by the keys of the Sort mode (ascending, primary key first).
// Equal keys keep their current relative order. Without a Sort mode the list
// is left as it is.
void sort_paths(int16_t sort_mode, std::vector<Path>& list);

// Number of leading paths that lie in the first `n` priority groups (`n`
// taken as unsigned, so a negative value keeps everything and 0 keeps one
// path). A list of at most one path gives 1.
uint32_t priority_prefix(int16_t sort_mode, std::span<const Path> list, int32_t n);

// Keeps the first `n` paths of a build-time list.
void truncate_paths(std::vector<Path>& list, uint32_t n);

// Group boundary list: 0, the first index of every later group, then the
// path count (1 for a list of fewer than two paths). Appended to `out`.
void append_group_boundaries(int16_t sort_mode, std::span<const Path> list,
                             std::vector<uint32_t>& out);

}  // namespace lumtra
