// Path table timings on random meshes of 60 and 200 nodes (average degree
// 4, fixed seed): the whole build, printout included, under several option
// sets.
// Usage: paths_bench [printout file] (default /dev/null).
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "paths/build.h"
#include "base/console.h"


using namespace lumtra;

namespace {

Network random_mesh(uint32_t n, uint32_t edges, uint32_t seed) {
  std::mt19937 g(seed);
  std::set<std::pair<uint32_t, uint32_t>> links;
  auto join = [&](uint32_t a, uint32_t b) { links.insert({std::min(a, b), std::max(a, b)}); };
  for (uint32_t k = 0; k < n; ++k) join(k, (k + 1) % n);  // a ring keeps it connected
  while (links.size() < edges) {
    uint32_t a = g() % n, b = g() % n;
    if (a != b) join(a, b);
  }
  Network net;
  net.node_count = net.total_nodes = n;
  net.nodes.resize(n);
  for (Node& node : net.nodes) {
    node.type = kNonGrooming;
    node.conversion = g() % 2;
  }
  net.capacity.assign(size_t(n) * n, 0);
  net.arrival_rates.assign(size_t(n) * n, 0.0);
  for (auto [a, b] : links) net.capacity[net.at(a, b)] = net.capacity[net.at(b, a)] = 8;
  for (uint32_t u = 0; u < n; ++u)
    for (uint32_t v = 0; v < n; ++v)
      if (u != v) net.arrival_rates[net.at(u, v)] = 1.0;
  net.connect();
  return net;
}

struct OptionSet {
  const char* name;
  void (*apply)(PathOptions&);
};

// Builds and prints the table of `mesh` under one option set; one result line.
bool time_build(const Network& mesh, const char* label, const OptionSet& set, const char* sink) {
  std::FILE* out = std::fopen(sink, "w");
  if (!out) {
    std::perror(sink);
    return false;
  }
  PathOptions options;
  set.apply(options);
  PathTable table;
  std::vector<std::pair<uint32_t, uint32_t>> missing;
  const auto start = std::chrono::steady_clock::now();
  Status st = build_path_table(mesh, options, PathLimits{}, table, missing);
  {
    Console console(out);
    print_missing_paths(console, missing);
    print_path_table(console, table);
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!st.ok()) std::fputs(st.message.c_str(), stderr);
  const long bytes = std::ftell(out);
  std::printf("%-10s %-18s %10zu %12zu %12ld %9.3f\n", label, set.name, table.paths.size(), table.nodes.size(),
              bytes, secs);
  std::fclose(out);
  return st.ok();
}

}  // namespace

int main(int argc, char** argv) {
  const char* sink = argc > 1 ? argv[1] : "/dev/null";
  const OptionSet sets[] = {
      {"default", [](PathOptions&) {}},
      {"-mc:1", [](PathOptions& c) { c.length_margin = 1; }},
      {"-mc:2", [](PathOptions& c) { c.length_margin = 2; }},
      {"-n:3 -sh", [](PathOptions& c) { c.path_order = 3; c.sort_mode = kSortHops; }},
      {"-e:1 -sh", [](PathOptions& c) { c.second_path_limit = 1; c.sort_mode = kSortHops; }},
      {"-n:-1 -sh -mp:5", [](PathOptions& c) { c.path_order = -1; c.sort_mode = kSortHops; c.max_paths = 5; }},
      {"-mc:1 -sh -pr", [](PathOptions& c) { c.length_margin = 1; c.sort_mode = kSortHops; c.priority_routing = true; }},
  };
  std::printf("printout to %s\n", sink);
  std::printf("%-10s %-18s %10s %12s %12s %9s\n", "network", "options", "paths", "node entries", "printout B",
              "seconds");
  bool ok = true;
  const Network mesh60 = random_mesh(60, 120, 7);
  for (const OptionSet& set : sets) ok &= time_build(mesh60, "mesh 60", set, sink);
  const Network mesh200 = random_mesh(200, 400, 7);
  for (const OptionSet& set : {sets[0], sets[1], sets[3]}) ok &= time_build(mesh200, "mesh 200", set, sink);
  return ok ? 0 : 1;
}
