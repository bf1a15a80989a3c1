// Path table: the candidate paths of every ordered node pair, computed once
// before the first batch and read-only afterwards. Paths of one list are
// stored contiguously; every path keeps its node sequence (the nodes after
// the source, then the terminator T) and, per hop, the data the placement
// loop needs: the link index, the Segment wavelength bound and whether the
// hop ends a segment or joins two grooming nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumtra {

// Per-hop data of a path, derived from the network when the table is frozen.
struct Hop {
  uint32_t link;          // u * T + v
  uint32_t bound;         // Segment wavelength bound: smallest capacity on the hop's segment
  uint8_t ends_segment;   // 1 at the destination and where the hop's end node converts
  uint8_t groomed;        // 1 when both end nodes have the grooming flag
};

struct Path {
  uint32_t nodes = 0;   // offset of the first node after the source in PathTable::nodes
  int32_t cost = 0;     // sum of the link weights
  uint32_t hops = 0;    // number of links
  uint32_t hop_info = 0;  // offset of hop 0 in PathTable::hop_data
};

// One ordered pair (source, destination). Its paths are
// paths[first .. first + count), its Group boundary list (with -pr)
// boundary_pool[boundaries .. boundaries + boundary_count).
struct PathList {
  uint32_t first = 0;
  uint32_t count = 0;
  uint32_t boundaries = 0;
  uint32_t boundary_count = 0;
};

struct PathTable {
  uint32_t total_nodes = 0;  // T; also the terminator of every node sequence
  std::vector<PathList> lists;  // T x T, row = source
  std::vector<Path> paths;
  std::vector<uint32_t> nodes;
  std::vector<Hop> hop_data;
  std::vector<uint32_t> boundary_pool;
  bool costs_in_metres = false;  // costs are fibre lengths (--lengths), not hop counts

  // Index of the ordered pair (s, d) in every per-pair table, this one's
  // lists included.
  size_t pair_index(uint32_t s, uint32_t d) const { return size_t(s) * total_nodes + d; }
  const PathList& list(uint32_t s, uint32_t d) const { return lists[pair_index(s, d)]; }
  // Path `k` of the list of (s, d), and its index in `paths`.
  uint32_t global_index(uint32_t s, uint32_t d, uint32_t k) const { return list(s, d).first + k; }
  const Path& path(uint32_t s, uint32_t d, uint32_t k) const { return paths[global_index(s, d, k)]; }
  const uint32_t* path_nodes(const Path& p) const { return nodes.data() + p.nodes; }
  const Hop* path_hops(const Path& p) const { return hop_data.data() + p.hop_info; }
  const uint32_t* group_boundaries(const PathList& l) const { return boundary_pool.data() + l.boundaries; }
  uint32_t group_count(const PathList& l) const { return l.boundary_count ? l.boundary_count - 1 : 0; }
};

}  // namespace lumtra
