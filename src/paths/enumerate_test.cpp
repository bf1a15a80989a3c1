// The pruned search against a plain exhaustive search: the reference below
// walks every loop-free path as the rules describe it (no pruning, every
// node scanned at every step, signed window arithmetic, two-phase sorts) and
// then applies the cuts, the groups and the switching variants; the built
// table must hold the same lists, hop data, warnings and printout.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "paths/testing.h"

namespace lumtra::test {
namespace {

struct RefPath {
  std::vector<uint32_t> nodes;  // after the source, no terminator
  int32_t cost = 0;
  uint32_t hops = 0;
};

struct RefList {
  std::vector<RefPath> paths;
  std::vector<uint32_t> boundaries;
};

struct RefTable {
  std::vector<RefList> lists;  // T x T
  std::vector<std::pair<uint32_t, uint32_t>> missing;
};

int32_t clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

class Reference {
 public:
  Reference(const Network& net, const TableOptions& o) : net_(net), o_(o), t_(net.total_nodes) {}

  RefTable build() {
    RefTable table;
    table.lists.resize(size_t(t_) * t_);
    std::vector<int32_t> lower(size_t(t_) * t_), upper(size_t(t_) * t_);
    if (o_.all_paths) {
      for (uint32_t s = 0; s < t_; ++s) enumerate(s, table, nullptr, nullptr);
    } else {
      for (uint32_t s = 0; s < t_; ++s) {
        std::vector<int32_t> dist = dijkstra(s);
        for (uint32_t d = 0; d < t_; ++d) {
          int32_t up;
          if (o_.margin != 0)
            up = clamp32(int64_t{dist[d]} + o_.margin);
          else if (o_.order != 1)
            up = kUnbounded;
          else {
            up = dist[d];
            if (o_.second != 0 && dist[d] <= o_.second) up = kUnbounded;
          }
          lower[s * t_ + d] = std::max(dist[d], o_.min_length);
          upper[s * t_ + d] = std::min(up, o_.max_length);
        }
        enumerate(s, table, &lower[size_t(s) * t_], &upper[size_t(s) * t_]);
      }
      for (auto& l : table.lists) sort(l.paths);
      for (size_t i = 0; i < table.lists.size(); ++i) {
        auto& l = table.lists[i];
        if (o_.order != 1)
          l.paths.resize(std::min<size_t>(l.paths.size(), prefix(l.paths, o_.order)));
        else if (o_.margin == 0 && o_.second != 0 && upper[i] == kUnbounded)
          l.paths.resize(std::min<size_t>(l.paths.size(), prefix(l.paths, 2)));
        if (o_.max_paths > 0) l.paths.resize(std::min<size_t>(l.paths.size(), size_t(o_.max_paths)));
        if (o_.priority) boundaries(l);
      }
    }
    for (uint32_t s = 0; s < t_; ++s)
      for (uint32_t d = 0; d < t_; ++d)
        if (table.lists[s * t_ + d].paths.empty() && net_.arrival_rates[net_.at(s, d)] != 0.0)
          table.missing.emplace_back(s, d);
    for (uint32_t s = 0; s < t_; ++s)
      for (uint32_t d = 0; d < t_; ++d) {
        auto& paths = table.lists[s * t_ + d].paths;
        const size_t plain = paths.size();
        for (size_t k = 0; k < plain; ++k) switchings(s, paths, k);
      }
    return table;
  }

 private:
  int32_t weight(uint32_t u, uint32_t v) const { return net_.adjacency[net_.at(u, v)]; }

  std::vector<int32_t> dijkstra(uint32_t s) const {
    std::vector<int32_t> dist(t_, kUnbounded);
    std::vector<bool> settled(t_, false);
    dist[s] = 0;
    for (;;) {
      uint32_t u = t_;
      for (uint32_t v = 0; v < t_; ++v)
        if (!settled[v] && (u == t_ || dist[v] < dist[u])) u = v;
      if (u == t_ || dist[u] == kUnbounded) break;
      settled[u] = true;
      for (uint32_t v = 0; v < t_; ++v)
        if (weight(u, v) != 0 && (dist[u] + weight(u, v) < dist[v] || dist[v] == kUnbounded))
          dist[v] = dist[u] + weight(u, v);
    }
    return dist;
  }

  void enumerate(uint32_t s, RefTable& table, const int32_t* lower, const int32_t* upper) {
    uint32_t depth = static_cast<uint32_t>(o_.max_length);
    if (lower) {
      depth = 0;
      for (uint32_t d = 0; d < t_; ++d) depth = std::max(depth, uint32_t(upper[d]));
    }
    std::vector<bool> visited(t_, false);
    visited[s] = true;
    std::vector<uint32_t> stack;
    int32_t cost = 0;
    auto visit = [&](auto& self, uint32_t u) -> void {
      for (uint32_t v = 0; v < t_; ++v) {
        if (visited[v] || weight(u, v) <= 0) continue;
        stack.push_back(v);
        cost += weight(u, v);
        const uint32_t h = static_cast<uint32_t>(stack.size());
        bool take = lower ? h >= uint32_t(lower[v]) && h <= uint32_t(upper[v]) : h >= uint32_t(o_.min_length);
        if (take) table.lists[s * t_ + v].paths.push_back({stack, cost, h});
        if (h < depth) {
          visited[v] = true;
          self(self, v);
          visited[v] = false;
        }
        stack.pop_back();
        cost -= weight(u, v);
      }
    };
    visit(visit, s);
  }

  // Primary key over the whole list, then the secondary key within runs.
  void sort(std::vector<RefPath>& l) const {
    auto by_hops = [](const RefPath& a, const RefPath& b) { return a.hops < b.hops; };
    auto by_cost = [](const RefPath& a, const RefPath& b) { return a.cost < b.cost; };
    const int16_t m = o_.sort_mode;
    if (m == kSortHops || m == kSortHopsThenCost) std::stable_sort(l.begin(), l.end(), by_hops);
    if (m == kSortCost || m == kSortCostThenHops) std::stable_sort(l.begin(), l.end(), by_cost);
    if (m != kSortHopsThenCost && m != kSortCostThenHops) return;
    size_t run = 0;
    for (size_t j = 1; j <= l.size(); ++j) {
      bool same = j < l.size() && (m == kSortHopsThenCost ? l[j].hops == l[run].hops : l[j].cost == l[run].cost);
      if (same) continue;
      if (m == kSortHopsThenCost)
        std::stable_sort(l.begin() + run, l.begin() + j, by_cost);
      else
        std::stable_sort(l.begin() + run, l.begin() + j, by_hops);
      run = j;
    }
  }

  bool same(const RefPath& a, const RefPath& b) const {
    switch (o_.sort_mode) {
      case kSortHops: return a.hops == b.hops;
      case kSortCost: return a.cost == b.cost;
      case kSortHopsThenCost:
      case kSortCostThenHops: return a.hops == b.hops && a.cost == b.cost;
      default: return true;
    }
  }

  size_t prefix(const std::vector<RefPath>& l, int32_t n) const {
    if (l.size() <= 1) return 1;
    uint32_t group = 1;
    for (size_t j = 1; j < l.size(); ++j) {
      if (!same(l[j], l[j - 1])) ++group;
      if (group > uint32_t(n)) return j;
    }
    return l.size();
  }

  void boundaries(RefList& l) const {
    const int16_t m = o_.sort_mode;
    l.boundaries = {0};
    size_t first = 0;
    for (size_t j = 1; j < l.paths.size(); ++j) {
      bool hops = l.paths[j].hops != l.paths[first].hops && (m == 1 || m == 3 || m == 4);
      bool cost = l.paths[j].cost != l.paths[first].cost && (m == 2 || m == 3 || m == 4);
      if (hops || cost) {
        l.boundaries.push_back(uint32_t(j));
        first = j;
      }
    }
    l.boundaries.push_back(l.paths.size() < 2 ? 1 : uint32_t(l.paths.size()));
  }

  bool owns(uint32_t owner, uint32_t v) const {
    const auto& c = net_.nodes[owner].virtual_nodes;
    return std::find(c.begin(), c.end(), v) != c.end();
  }

  void switchings(uint32_t s, std::vector<RefPath>& paths, size_t k) const {
    std::vector<uint32_t> x = {s};
    x.insert(x.end(), paths[k].nodes.begin(), paths[k].nodes.end());
    const uint32_t hops = paths[k].hops;
    const uint32_t max2 = uint32_t(clamp32(int64_t{o_.max_switchings} * 2));
    const uint32_t min2 = uint32_t(clamp32(int64_t{o_.min_switchings} * 2));
    std::vector<uint32_t> seq;
    auto step = [&](auto& self, uint32_t i, uint64_t m) -> void {
      if (i == hops) {
        if (m >= 1 && 2 * m <= max2 && 2 * m >= min2) {
          RefPath p{seq, 0, uint32_t(seq.size())};
          uint32_t u = s;
          for (uint32_t v : seq) p.cost += weight(u, v), u = v;
          paths.push_back(p);
        }
        return;
      }
      seq.push_back(x[i + 1]);
      self(self, i + 1, m);
      seq.pop_back();
      const Node& n = net_.nodes[x[i]];
      if (n.type != kPartialGrooming || owns(x[i], x[i + 1]) || (i > 0 && owns(x[i], x[i - 1]))) return;
      for (uint32_t core : n.virtual_nodes) {
        seq.insert(seq.end(), {core, x[i], x[i + 1]});
        self(self, i + 1, m + 1);
        seq.resize(seq.size() - 3);
      }
    };
    step(step, 0, 0);
  }

  const Network& net_;
  TableOptions o_;
  uint32_t t_;
};

// The hop data the placement needs, derived directly from the path.
std::vector<Hop> reference_hops(const Network& net, uint32_t s, const std::vector<uint32_t>& nodes) {
  std::vector<Hop> hops(nodes.size());
  std::vector<uint32_t> x = {s};
  x.insert(x.end(), nodes.begin(), nodes.end());
  size_t start = 0;
  for (size_t k = 0; k < nodes.size(); ++k) {
    hops[k].link = uint32_t(net.at(x[k], x[k + 1]));
    hops[k].groomed = net.nodes[x[k]].grooming && net.nodes[x[k + 1]].grooming;
    hops[k].ends_segment = k + 1 == nodes.size() || net.nodes[x[k + 1]].conversion || x[k + 1] == nodes.back();
    if (hops[k].ends_segment) {
      uint32_t b = 4294967295u;
      for (size_t j = start; j <= k; ++j) b = std::min(b, net.capacity[net.at(x[j], x[j + 1])]);
      for (size_t j = start; j <= k; ++j) hops[j].bound = b;
      start = k + 1;
    }
  }
  return hops;
}

std::string reference_printout(const RefTable& r, uint32_t t) {
  std::string out;
  auto number = [&](uint64_t v) { out += std::to_string(v); };
  for (const auto& [s, d] : r.missing) {
    out += "Warning: There are no paths from ";
    number(s + 1);
    out += " to ";
    number(d + 1);
    out += '\n';
  }
  for (uint32_t s = 0; s < t; ++s)
    for (uint32_t d = 0; d < t; ++d)
      for (const RefPath& p : r.lists[s * t + d].paths) {
        out += "\nPath From ";
        number(s + 1);
        out += " to ";
        number(d + 1);
        out += ": ";
        number(s + 1);
        for (uint32_t v : p.nodes) {
          out += '-';
          number(v + 1);
        }
        out += "\nCost: ";
        out += std::to_string(p.cost);
        out += '\n';
      }
  return out;
}

// A random network: real nodes with random links, some of them type 4 with
// cores joined to their owner (a link of capacity 0 now and then, and once
// in a while a core linked to another node as virtual-node input allows).
Network random_network(std::mt19937& g) {
  auto pick = [&](int n) { return int(g() % unsigned(n)); };
  const uint32_t real = 2 + pick(6);
  NetBuilder b(real);
  std::vector<std::pair<uint32_t, uint32_t>> cores;
  for (uint32_t k = 0; k < real; ++k) {
    b.node(k).conversion = pick(2);
    b.node(k).grooming = pick(3) == 0;
    if (pick(4) == 0) {
      uint32_t count = pick(3);
      uint32_t first = b.add_cores(k, count);
      for (uint32_t j = 0; j < count; ++j) cores.emplace_back(k, first + j);
    }
  }
  const int density = 2 + pick(6);
  for (uint32_t u = 0; u < real; ++u)
    for (uint32_t v = 0; v < real; ++v)
      if (u != v && pick(10) < density) b.link(u, v, 1 + pick(3));
  for (auto [owner, core] : cores) {
    b.link(owner, core, pick(5) == 0 ? 0 : 1 + pick(2));
    b.link(core, owner, pick(5) == 0 ? 0 : 1 + pick(2));
    if (pick(6) == 0) b.link(core, pick(int(real)), 1);
  }
  const Network shape = b.done();
  for (uint32_t u = 0; u < shape.total_nodes; ++u)
    for (uint32_t v = 0; v < shape.total_nodes; ++v)
      if (u != v && pick(3) == 0) b.rate(u, v, 0.5);
  return b.done();
}

TableOptions random_options(std::mt19937& g) {
  auto from = [&](std::initializer_list<int32_t> values) { return *(values.begin() + g() % values.size()); };
  TableOptions o;
  o.all_paths = g() % 7 == 0;
  o.min_length = from({0, 0, 0, 1, 2, 3, -1});
  o.max_length = from({kUnbounded, kUnbounded, kUnbounded, 0, 1, 2, 3, 4, -1});
  o.margin = from({0, 0, 0, 1, 2, -1, -3, kUnbounded, INT32_MIN});
  o.order = from({1, 1, 1, 0, 2, 3, -1});
  o.second = from({0, 0, 0, 1, 2, kUnbounded});
  o.max_paths = from({0, 0, 1, 2, 3, -1});
  o.sort_mode = int16_t(from({-1, 1, 2, 3, 4}));
  // Option checking demands a Sort mode with -n and -e; now and then run
  // without one anyway.
  if (o.sort_mode == kNoSort && (o.order != 1 || o.second != 0) && g() % 4 != 0) o.sort_mode = kSortHops;
  o.priority = !o.all_paths && o.sort_mode != kNoSort && g() % 2 == 0;
  o.max_switchings = from({kUnbounded, 0, 1, 2, -1});
  o.min_switchings = from({0, 0, 1, 2, -1});
  return o;
}

std::string describe(const TableOptions& o) {
  return "a=" + std::to_string(o.all_paths) + " mn=" + std::to_string(o.min_length) +
         " mx=" + std::to_string(o.max_length) + " mc=" + std::to_string(o.margin) +
         " n=" + std::to_string(o.order) + " e=" + std::to_string(o.second) + " mp=" + std::to_string(o.max_paths) +
         " sort=" + std::to_string(o.sort_mode) + " pr=" + std::to_string(o.priority) +
         " px=" + std::to_string(o.max_switchings) + " pn=" + std::to_string(o.min_switchings);
}

// Returns the number of paths compared.
size_t expect_same(const Network& net, const TableOptions& o, const std::string& label) {
  SCOPED_TRACE(label + " " + describe(o));
  const RefTable ref = Reference(net, o).build();
  const Built got = build_paths(net, o);
  EXPECT_TRUE(got.status.ok()) << got.status.message;
  if (!got.status.ok()) return 0;
  const uint32_t t = net.total_nodes;
  const PathTable& table = got.table;
  EXPECT_EQ(got.no_path, !ref.missing.empty());
  for (uint32_t s = 0; s < t; ++s)
    for (uint32_t d = 0; d < t; ++d) {
      const RefList& want = ref.lists[s * t + d];
      const PathList& l = table.list(s, d);
      EXPECT_EQ(l.count, want.paths.size()) << "pair " << s << "->" << d;
      if (l.count != want.paths.size()) return 0;
      for (uint32_t k = 0; k < l.count; ++k) {
        const Path& p = table.paths[l.first + k];
        const uint32_t* nodes = table.path_nodes(p);
        EXPECT_EQ(std::vector<uint32_t>(nodes, nodes + p.hops), want.paths[k].nodes) << s << "->" << d << " #" << k;
        if (p.hops != want.paths[k].hops) return 0;
        EXPECT_EQ(nodes[p.hops], t);
        EXPECT_EQ(p.cost, want.paths[k].cost);
        EXPECT_EQ(p.hops, want.paths[k].hops);
        const std::vector<Hop> hops = reference_hops(net, s, want.paths[k].nodes);
        for (uint32_t h = 0; h < p.hops; ++h) {
          const Hop& x = table.path_hops(p)[h];
          EXPECT_EQ(x.link, hops[h].link);
          EXPECT_EQ(x.bound, hops[h].bound);
          EXPECT_EQ(x.ends_segment, hops[h].ends_segment);
          EXPECT_EQ(x.groomed, hops[h].groomed);
        }
      }
      const uint32_t* b = table.group_boundaries(l);
      EXPECT_EQ(std::vector<uint32_t>(b, b + l.boundary_count), want.boundaries) << s << "->" << d;
    }
  EXPECT_EQ(got.out, reference_printout(ref, t));
  return table.paths.size();
}

TEST(PathSearch, MatchesExhaustiveSearchOnRandomNetworks) {
  std::mt19937 g(20240611);
  size_t compared = 0;
  for (int round = 0; round < 400 && !testing::Test::HasFailure(); ++round) {
    const Network net = random_network(g);
    const TableOptions o = random_options(g);
    compared += expect_same(net, o, "round " + std::to_string(round));
  }
  EXPECT_GT(compared, 20000u);  // the rounds must reach real lists
}

// Cuts to a number of groups where hop counts come in steps of two (a ring
// of even length is bipartite) and where a tree offers a single route.
TEST(PathSearch, MatchesExhaustiveSearchWhenHopCountsAreSparse) {
  NetBuilder ring(8);
  for (uint32_t k = 0; k < 8; ++k) ring.both(k, (k + 1) % 8);
  ring.both(0, 3);
  ring.both(2, 7);
  NetBuilder tree(7);
  for (uint32_t k = 1; k < 7; ++k) tree.both(k, (k - 1) / 2);
  tree.rate(6, 5, 1.0);
  for (const Network& net : {ring.done(), tree.done()})
    for (int32_t n : {0, 2, 3, 5, -1})
      for (int32_t mp : {0, 1, 4})
        for (int16_t mode : {kSortHops, kSortCostThenHops}) {
          TableOptions o;
          o.order = n;
          o.max_paths = mp;
          o.sort_mode = mode;
          o.priority = true;
          expect_same(net, o, "sparse");
          TableOptions e = o;
          e.order = 1;
          e.second = 2;
          expect_same(net, e, "sparse -e");
        }
}

}  // namespace
}  // namespace lumtra::test
