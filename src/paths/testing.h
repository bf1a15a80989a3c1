// Helpers for the path tests: small networks built by hand and a build of
// the path table with its console output captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "network/network.h"
#include "paths/build.h"
#include "paths/options.h"

namespace lumtra::test {

// The options the path table reads, by shorter names.
struct TableOptions {
  bool all_paths = false;
  int32_t min_length = 0;
  int32_t max_length = kUnbounded;
  int32_t margin = 0;
  int32_t order = 1;
  int32_t second = 0;
  int32_t max_paths = 0;
  int16_t sort_mode = kNoSort;
  bool priority = false;
  int32_t max_switchings = kUnbounded;
  int32_t min_switchings = 0;
};

// A network of `real` type-1 nodes; cores are appended with add_cores before
// the first link is set.
class NetBuilder {
 public:
  explicit NetBuilder(uint32_t real) {
    net_.node_count = net_.total_nodes = real;
    net_.nodes.resize(real);
    for (Node& n : net_.nodes) n.type = kNonGrooming;
  }
  Node& node(uint32_t k) { return net_.nodes[k]; }
  // Gives `owner` type 4 and `count` grooming cores; returns the first core.
  uint32_t add_cores(uint32_t owner, uint32_t count) {
    EXPECT_TRUE(net_.capacity.empty()) << "cores must come before the links";
    const uint32_t first = net_.total_nodes;
    net_.nodes[owner].type = kPartialGrooming;
    for (uint32_t j = 0; j < count; ++j) {
      Node core;
      core.conversion = core.grooming = true;
      net_.nodes[owner].virtual_nodes.push_back(first + j);
      net_.nodes.push_back(core);
    }
    net_.nodes[owner].virtual_count = count;
    net_.total_nodes += count;
    return first;
  }
  void link(uint32_t u, uint32_t v, uint32_t capacity = 1) {
    sized();
    net_.capacity[net_.at(u, v)] = capacity;
  }
  void both(uint32_t u, uint32_t v, uint32_t capacity = 1) {
    link(u, v, capacity);
    link(v, u, capacity);
  }
  void rate(uint32_t u, uint32_t v, double r) {
    sized();
    net_.arrival_rates[net_.at(u, v)] = r;
  }
  Network done() {
    sized();
    net_.connect();
    return net_;
  }

 private:
  void sized() {
    const size_t cells = size_t(net_.total_nodes) * net_.total_nodes;
    if (net_.capacity.size() != cells) {
      net_.capacity.assign(cells, 0);
      net_.arrival_rates.assign(cells, 0.0);
    }
  }
  Network net_;
};

struct Built {
  Status status;
  bool no_path = false;
  PathTable table;
  std::string out;
};

inline Built build_paths(const Network& net, const TableOptions& o, const PathLimits& limits = {}) {
  PathOptions c;
  c.all_paths = o.all_paths;
  c.min_path_length = o.min_length;
  c.max_path_length = o.max_length;
  c.length_margin = o.margin;
  c.path_order = o.order;
  c.second_path_limit = o.second;
  c.max_paths = o.max_paths;
  c.sort_mode = o.sort_mode;
  c.priority_routing = o.priority;
  c.max_switchings = o.max_switchings;
  c.min_switchings = o.min_switchings;
  Built b;
  std::vector<std::pair<uint32_t, uint32_t>> missing;
  b.status = build_path_table(net, c, limits, b.table, missing);
  b.no_path = !missing.empty();
  if (!b.status.ok()) return b;
  std::FILE* out = std::tmpfile();
  {
    Console console(out);
    print_missing_paths(console, missing);
    print_path_table(console, b.table);
  }
  std::rewind(out);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, out)) > 0) b.out.append(buf, n);
  std::fclose(out);
  return b;
}

// The node sequences (after the source, without the terminator) of a list.
inline std::vector<std::vector<uint32_t>> sequences(const PathTable& t, uint32_t s, uint32_t d) {
  std::vector<std::vector<uint32_t>> out;
  const PathList& l = t.list(s, d);
  for (uint32_t k = 0; k < l.count; ++k) {
    const Path& p = t.paths[l.first + k];
    const uint32_t* n = t.path_nodes(p);
    out.emplace_back(n, n + p.hops);
  }
  return out;
}

// Every node linked to every other, both ways.
inline Network complete_graph(uint32_t n) {
  NetBuilder b(n);
  for (uint32_t u = 0; u < n; ++u)
    for (uint32_t v = 0; v < n; ++v)
      if (u != v) b.link(u, v);
  return b.done();
}

}  // namespace lumtra::test
