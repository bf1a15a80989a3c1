#include "load/load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "harness.h"
#include "load/stable_order.h"
#include "rwa/options.h"
#include "run/run.h"

namespace lumtra {
namespace {

using Nodes = std::vector<uint32_t>;
using Order = std::vector<int32_t>;

// The pair's candidates in the order a routing half returns them.
std::vector<int32_t> candidates(RwaContext& c, const RoutingHalf& h, uint32_t s, uint32_t d) {
  std::vector<int32_t> out{h.first(c, h.state, s, d)};
  for (int32_t p; (p = h.next(c, h.state)) != -1;) out.push_back(p);
  EXPECT_EQ(h.next(c, h.state), -1);  // stays exhausted
  return out;
}

// A hand-built network and path table: T nodes, fibres added one by one,
// candidate lists filled pair by pair.
struct Bench {
  Network net;
  PathTable table;
  LinkState links;
  LoadState load;
  RwaContext context;
  RoutingHalf half;

  Bench(uint32_t t, uint32_t slots, std::vector<std::pair<uint32_t, uint32_t>> fibres, uint32_t w) {
    net.node_count = net.total_nodes = t;
    net.nodes.resize(t);
    net.capacity.assign(size_t(t) * t, 0);
    for (auto [u, v] : fibres) net.capacity[net.at(u, v)] = net.capacity[net.at(v, u)] = w;
    net.slots_per_wavelength = slots;
    net.connect();
    links.allocate(net);
    links.reset();
    table.total_nodes = t;
    table.lists.assign(size_t(t) * t, PathList{});
    context.links = &links;
    context.paths = &table;
  }

  // The candidate list of (s, d), each path given by the nodes after s.
  // `boundaries` empty: no group boundary list.
  void set_list(uint32_t s, uint32_t d, const std::vector<Nodes>& paths, const std::vector<uint32_t>& boundaries = {}) {
    PathList& l = table.lists[size_t(s) * table.total_nodes + d];
    l.first = static_cast<uint32_t>(table.paths.size());
    l.count = static_cast<uint32_t>(paths.size());
    l.boundaries = static_cast<uint32_t>(table.boundary_pool.size());
    l.boundary_count = static_cast<uint32_t>(boundaries.size());
    table.boundary_pool.insert(table.boundary_pool.end(), boundaries.begin(), boundaries.end());
    for (const Nodes& nodes : paths) {
      Path p;
      p.nodes = static_cast<uint32_t>(table.nodes.size());
      p.hops = static_cast<uint32_t>(nodes.size());
      p.cost = static_cast<int32_t>(p.hops);
      p.hop_info = static_cast<uint32_t>(table.hop_data.size());
      table.nodes.insert(table.nodes.end(), nodes.begin(), nodes.end());
      table.nodes.push_back(table.total_nodes);
      uint32_t u = s;
      size_t segment_start = table.hop_data.size();
      for (uint32_t v : nodes) {
        const bool ends = v == d || net.nodes[v].conversion;
        table.hop_data.push_back(Hop{static_cast<uint32_t>(net.at(u, v)), 0, ends,
                                     net.nodes[u].grooming && net.nodes[v].grooming});
        if (ends) {
          uint32_t bound = UINT32_MAX;
          for (size_t k = segment_start; k < table.hop_data.size(); ++k)
            bound = std::min(bound, net.capacity[table.hop_data[k].link]);
          for (size_t k = segment_start; k < table.hop_data.size(); ++k) table.hop_data[k].bound = bound;
          segment_start = table.hop_data.size();
        }
        u = v;
      }
      table.paths.push_back(p);
    }
  }

  // Takes `slots` slots of wavelength w on the link u -> v.
  void take(uint32_t u, uint32_t v, uint32_t w, uint32_t slots) { links.take(uint32_t(net.at(u, v)), w, slots); }

  void install(int16_t code, bool priority = false) {
    PathOptions options;
    options.priority_routing = priority;
    half = load_routing(load, code, options);
    ASSERT_TRUE(prepare_load(load, table, code).ok());
  }

  // Every candidate in the order the routing half returns them.
  std::vector<int32_t> order(uint32_t s, uint32_t d) { return candidates(context, half, s, d); }

  const Path& path(uint32_t s, uint32_t d, uint32_t k) const { return table.path(s, d, k); }
};

TEST(CongestionWeight, SumsTheEndToEndFreeSlotsPerWavelengthOfEachSegment) {
  // Chain 0-1-2-3-4, two wavelengths of five slots.
  Bench b(5, 5, {{0, 1}, {1, 2}, {2, 3}, {3, 4}}, 2);
  b.take(0, 1, 0, 2);  // wavelength 0: 3, 5, 2, 4 free
  b.take(2, 3, 0, 3);
  b.take(3, 4, 0, 1);
  b.take(0, 1, 1, 5);  // wavelength 1: none free on the first link
  b.set_list(0, 4, {{1, 2, 3, 4}});
  EXPECT_DOUBLE_EQ(congestion_weight(b.links, b.table, b.path(0, 4, 0), b.load), 1.0);  // (2 + 0) / sqrt(4)

  // With node 2 converting, hops 0-1 and 2-3 are separate segments:
  // min(3 + 0, 2 + 5) / 2.
  b.net.nodes[2].conversion = true;
  b.set_list(0, 4, {{1, 2, 3, 4}});
  EXPECT_DOUBLE_EQ(congestion_weight(b.links, b.table, b.path(0, 4, 0), b.load), 1.5);

  // A segment bound below the fibre's capacity cuts the wavelengths summed.
  Bench c(2, 5, {{0, 1}}, 3);
  c.set_list(0, 1, {{1}});
  c.table.hop_data[0].bound = 2;
  EXPECT_DOUBLE_EQ(congestion_weight(c.links, c.table, c.path(0, 1, 0), c.load), 10.0);
}

TEST(Measures, LargeCapacitiesNeitherWrapNorBreakTheOrder) {
  const uint32_t big = 3000000000u;
  Bench b(3, big, {{0, 1}, {1, 2}, {0, 2}}, 2);
  b.set_list(0, 2, {{2}, {1, 2}});
  b.take(0, 2, 0, big);  // the direct link keeps one wavelength
  // 2 x 3e9 free slots would wrap a 32-bit sum.
  EXPECT_DOUBLE_EQ(congestion_weight(b.links, b.table, b.path(0, 2, 1), b.load), 6e9 / std::sqrt(2.0));
  b.install(kWeightedLeastCongestion);
  EXPECT_EQ(b.order(0, 2), (Order{1, 0}));

  // Bottleneck measures far apart: a subtracting comparison would overflow.
  Bench l(3, 1, {{0, 1}, {1, 2}, {0, 2}}, 1);
  l.set_list(0, 2, {{2}, {1, 2}});
  l.links.links[l.net.at(0, 2)].free_slots = 0;
  for (auto [u, v] : {std::pair{0u, 1u}, {1u, 2u}}) l.links.links[l.net.at(u, v)].free_slots = 4000000000u;
  EXPECT_EQ(bottleneck_free_slots(l.links, l.table, l.path(0, 2, 1)), 4000000000u);
  l.install(kLeastLoaded);
  EXPECT_EQ(l.order(0, 2), (Order{1, 0}));
  l.install(kMostLoaded);
  EXPECT_EQ(l.order(0, 2), (Order{0, 1}));
}

// Pair (0, 3) of a small mesh: direct link 0-3, two-hop paths via 1 and 2,
// a three-hop path 0-1-2-3. Four wavelengths of two slots, full grooming.
struct Mesh : Bench {
  Mesh() : Bench(4, 2, {{0, 1}, {1, 2}, {2, 3}, {0, 3}, {0, 2}, {1, 3}}, 4) {}
};

TEST(LoadedRouting, OrdersByBottleneckFreeSlotsAndKeepsListOrderOnTies) {
  Mesh m;
  m.set_list(0, 3, {{3}, {1, 3}, {2, 3}, {1, 2, 3}});
  m.take(0, 3, 0, 2);  // direct link: 4 free
  m.take(0, 3, 1, 2);
  m.take(1, 3, 0, 1);  // via 1: 7 free; via 2: 8 free
  m.take(1, 2, 3, 1);  // 0-1-2-3: 7 free
  m.install(kLeastLoaded);
  EXPECT_EQ(m.order(0, 3), (Order{2, 1, 3, 0}));
  m.install(kMostLoaded);
  EXPECT_EQ(m.order(0, 3), (Order{0, 1, 3, 2}));
}

TEST(LoadedRouting, PriorityGroupsAreSortedSeparatelyAndSwitchingVariantsComeLast) {
  Mesh m;
  // Groups {0}, {1, 2}, {3}; entry 4 lies behind the last boundary.
  m.set_list(0, 3, {{3}, {1, 3}, {2, 3}, {1, 2, 3}, {2, 3}}, {0, 1, 3, 4});
  for (uint32_t w = 0; w < 4; ++w) m.take(0, 3, w, 2);  // direct link full
  m.take(0, 1, 0, 1);
  m.install(kLeastLoaded, true);
  EXPECT_EQ(m.order(0, 3), (Order{0, 2, 1, 3, 4}));
  m.install(kMostLoaded, true);
  EXPECT_EQ(m.order(0, 3), (Order{0, 1, 2, 3, 4}));
  // Without priority routing the whole list is one sort.
  m.install(kLeastLoaded, false);
  EXPECT_EQ(m.order(0, 3), (Order{2, 4, 1, 3, 0}));
}

TEST(CongestionRouting, APathWithoutAnEndToEndWavelengthIsLastForLeastAndFirstForMost) {
  Mesh m;
  m.set_list(0, 3, {{1, 3}, {2, 3}});
  // Via 1: wavelengths 0, 1 free only on 0-1, wavelengths 2, 3 only on 1-3.
  // Plenty of free slots per link (4), but no wavelength end to end.
  for (uint32_t w : {2u, 3u}) m.take(0, 1, w, 2);
  for (uint32_t w : {0u, 1u}) m.take(1, 3, w, 2);
  // Via 2: 6 and 1 free slots per link; the one on 2-3 is free end to end.
  for (uint32_t w : {0u, 1u}) {
    m.take(0, 2, w, 1);
    m.take(2, 3, w, 2);
  }
  m.take(2, 3, 2, 2);
  m.take(2, 3, 3, 1);
  EXPECT_EQ(congestion_weight(m.links, m.table, m.path(0, 3, 0), m.load), 0.0);
  m.install(kLeastLoaded);
  EXPECT_EQ(m.order(0, 3), (Order{0, 1}));  // 4 free against 1
  m.install(kWeightedLeastCongestion);
  EXPECT_EQ(m.order(0, 3), (Order{1, 0}));
  m.install(kWeightedMostCongestion);
  EXPECT_EQ(m.order(0, 3), (Order{0, 1}));
}

TEST(CongestionRouting, EqualSegmentCapacityFavoursTheShorterPath) {
  // Pair (0, 4): a 4-hop chain and a 2-hop detour, all wavelengths free.
  Bench b(6, 3, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {0, 5}, {5, 4}}, 2);
  b.set_list(0, 4, {{1, 2, 3, 4}, {5, 4}});
  b.install(kWeightedLeastCongestion);
  EXPECT_EQ(b.order(0, 4), (Order{1, 0}));  // 6 / sqrt(2) before 6 / 2
  b.install(kWeightedMostCongestion);
  EXPECT_EQ(b.order(0, 4), (Order{0, 1}));
}

TEST(CongestionRouting, TheRouteOrderCarriesOverWithinABatchAndResetsAtItsStart) {
  Mesh m;
  m.set_list(0, 3, {{1, 3}, {2, 3}}, {0, 2});
  m.install(kWeightedLeastCongestion, true);
  EXPECT_EQ(m.order(0, 3), (Order{0, 1}));
  m.take(1, 3, 0, 1);  // path 1 now ahead
  EXPECT_EQ(m.order(0, 3), (Order{1, 0}));
  m.take(2, 3, 0, 1);  // equal again: the previous order stands
  EXPECT_EQ(m.order(0, 3), (Order{1, 0}));
  reset_load(m.load, m.table, kWeightedLeastCongestion);
  EXPECT_EQ(m.order(0, 3), (Order{0, 1}));
}

TEST(StableOrder, MatchesStdStableSortOnEveryLength) {
  std::mt19937 g(7);
  std::vector<uint32_t> buffer(300);
  for (uint32_t n = 0; n <= 300; n += (n < 40 ? 1 : 13)) {
    for (uint32_t distinct : {1u, 3u, 1000u}) {
      std::vector<uint32_t> key(n);
      for (auto& k : key) k = g() % distinct;
      std::vector<uint32_t> a(n);
      std::iota(a.begin(), a.end(), 0u);
      std::shuffle(a.begin(), a.end(), g);
      std::vector<uint32_t> expected = a;
      std::stable_sort(expected.begin(), expected.end(), [&](uint32_t x, uint32_t y) { return key[x] > key[y]; });
      stable_order(a.data(), n, buffer.data(),
                   [&](uint32_t x, uint32_t y) { return key[x] > key[y] ? -1 : (key[x] < key[y] ? 1 : 0); });
      EXPECT_EQ(a, expected) << "n=" << n << " distinct=" << distinct;
    }
  }
}


// ---- Whole runs -------------------------------------------------------------

TEST(LoadRoutingRuns, OneLinkOfNonGroomingNodesMatchesErlangB) {
  // Two non-grooming nodes, one fibre of four wavelengths of four slots,
  // calls of 1 to 4 slots from node 1 to node 2 at 3 Erlang: each call holds
  // a whole wavelength, so four servers.
  const std::string net =
      test::write_file("net.txt", test::single_link({.slots = 4, .max_slots = 4, .rate = 3.0, .batches = 20, .time = 2000}));
  for (std::vector<std::string> method : {std::vector<std::string>{"-ll"}, {"-ml"}, {"-wlcr", "-ff"}, {"-wmcr", "-ff"}}) {
    method.insert(method.end(), {"-s:3", "-nt:" + net});
    auto r = test::run_lumtra(method);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::vector<double> v;
    const std::string batch_line = "\nbp[1][2] = ";
    for (size_t at = 0; (at = r.out.find(batch_line, at)) != std::string::npos; at += batch_line.size())
      v.push_back(std::stod(r.out.substr(at + batch_line.size())));
    ASSERT_EQ(v.size(), 20u) << method[0];
    double mean = 0, ss = 0;
    for (double x : v) mean += x;
    mean /= v.size();
    for (double x : v) ss += (x - mean) * (x - mean);
    const double se = std::sqrt(ss / (v.size() - 1) / v.size());
    EXPECT_NEAR(mean, test::erlang_b(4, 3.0), 4 * se + 1e-3) << method[0];
  }
}

TEST(LoadRoutingRuns, WithOneExtraGroupTheDirectLinkGoesFirstWhateverItsLoad) {
  for (bool priority : {true, false}) {
    std::vector<std::string> args{"-ll", "-e:1", "-sh", "-b:1", "-t:1", "-nt:" + test::example("nsfnet.txt")};
    if (priority) args.push_back("-pr");
    test::PreparedRun p(args);
    ASSERT_TRUE(p.status.ok()) << p.status.message;
    p.start_batch();
    // Nodes 1 and 8: a direct link, then 1-2-4-5-7-8, 1-3-6-5-7-8 and
    // 1-3-6-10-9-8. The direct link keeps one free wavelength; link 2-4
    // keeps six.
    const uint32_t s = 0, d = 7, two = 1, four = 3;
    for (uint32_t w = 0; w < 15; ++w) p.take(s, d, w, 1);
    for (uint32_t w = 0; w < 10; ++w) p.take(two, four, w, 1);
    const PathTable& paths = p.run->paths;
    const PathList& list = paths.list(s, d);
    ASSERT_EQ(list.count, 4u);
    ASSERT_EQ(paths.path(s, d, 0).hops, 1u);
    ASSERT_EQ(paths.path_nodes(paths.path(s, d, 1))[0], two);
    Rwa& rwa = p.lane().methods.rwa;
    EXPECT_EQ(candidates(rwa.context, rwa.routing, s, d), priority ? (Order{0, 2, 3, 1}) : (Order{2, 3, 1, 0}));
  }
}

}  // namespace
}  // namespace lumtra
