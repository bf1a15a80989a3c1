#include "usage/usage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "harness.h"
#include "run/run.h"
#include "rwa/install.h"
#include "sim/engine.h"

namespace lumtra {
namespace {

// A hand-made network with its candidate paths, taken through installation
// and preparation like a real run. Paths are given per pair in list order.
class Lab {
 public:
  Lab(uint32_t t, int16_t routing, int16_t wa, uint32_t slots_per_wavelength = 1)
      : out_(std::tmpfile()), run_(std::make_unique<Run>(stdin, out_, stderr)) {
    Config& c = run_->config;
    c.routing_code = routing;
    c.wa_code = wa;
    c.batch_count = 1;
    c.batch_time = 100;
    Network& n = run_->net;
    n.node_count = n.total_nodes = t;
    n.nodes.resize(t);
    n.capacity.assign(size_t(t) * t, 0);
    n.arrival_rates.assign(size_t(t) * t, 0.0);
    n.slots_per_wavelength = n.min_call_slots = n.max_call_slots = slots_per_wavelength;
    n.call_size_count = 1;
    paths_.resize(size_t(t) * t);
  }
  ~Lab() {
    run_.reset();
    std::fclose(out_);
  }
  Run& run() { return *run_; }
  Config& config() { return run_->config; }
  Network& net() { return run_->net; }

  Lab& fibre(uint32_t u, uint32_t v, uint32_t w) {
    net().capacity[net().at(u, v)] = w;
    return *this;
  }
  Lab& path(uint32_t s, uint32_t d, std::vector<uint32_t> nodes) {
    paths_[net().at(s, d)].push_back(std::move(nodes));
    return *this;
  }
  Lab& rate(uint32_t s, uint32_t d, double r) {
    net().arrival_rates[net().at(s, d)] = r;
    return *this;
  }
  Lab& call_sizes(uint32_t lo, uint32_t hi) {
    net().min_call_slots = lo;
    net().max_call_slots = hi;
    net().call_size_count = hi - lo + 1;
    return *this;
  }
  // Links, path table, methods and lists; then the state of a batch start.
  void finish() {
    Network& n = net();
    n.allocate_links();
    for (uint32_t c : n.capacity) n.max_fibre_capacity = std::max(n.max_fibre_capacity, c);
    build_paths();
    ASSERT_TRUE(install_methods(run()).ok());
    seed_pair_streams(run());
    ASSERT_TRUE(prepare_methods(run()).ok());
    start_batch();
  }
  void start_batch() { start_batch_of(run()); }
  static void start_batch_of(Run& run) {
    run.net.reset_links();
    reset_methods(run);
    run.sim.events.clear();
  }

  // Takes or gives back `slots` on wavelength w of link (u, v).
  void take(uint32_t u, uint32_t v, uint32_t w, uint32_t slots) {
    uint32_t id = uint32_t(net().at(u, v));
    net().reserve_links(&id, 1, &w, slots);
  }
  void give(uint32_t u, uint32_t v, uint32_t w, uint32_t slots) {
    uint32_t id = uint32_t(net().at(u, v));
    net().release_links(&id, 1, &w, slots);
  }

  // One call through the installed assign; the wavelengths, or empty.
  HopArray assign(uint32_t s, uint32_t d, uint32_t slots, uint32_t* path = nullptr) {
    HopArray hops;
    uint32_t p = ~0u;
    if (!run().slots.assign(run(), s, d, hops, p, slots)) return {};
    if (path) *path = p - run().paths.list(s, d).first;
    return hops;
  }

  // Items of a list from head to tail.
  static std::vector<uint32_t> order(const UsageListSet& set, size_t list) {
    std::vector<uint32_t> items;
    const UsageNode* n = set.nodes_of(set.lists[list]);
    for (int32_t i = set.lists[list].head; i != kNoNode; i = n[i].next) items.push_back(uint32_t(i));
    return items;
  }
  std::vector<uint32_t> global_order() { return order(run().usage.channels, 0); }
  std::vector<uint32_t> route_order(uint32_t s, uint32_t d) { return order(run().usage.routes, net().at(s, d)); }
  std::vector<uint32_t> local_order(uint32_t s, uint32_t d, uint32_t k) {
    return order(run().usage.channels, run().paths.global_index(s, d, k));
  }

 private:
  void build_paths() {
    PathTable& pt = run().paths;
    const Network& n = net();
    const uint32_t t = n.total_nodes;
    pt.total_nodes = t;
    pt.lists.assign(size_t(t) * t, PathList{});
    for (uint32_t s = 0; s < t; ++s)
      for (uint32_t d = 0; d < t; ++d) {
        PathList& l = pt.lists[n.at(s, d)];
        const auto& given = paths_[n.at(s, d)];
        l.first = uint32_t(pt.paths.size());
        l.count = uint32_t(given.size());
        l.boundaries = uint32_t(pt.boundary_pool.size());
        pt.boundary_pool.push_back(0);
        for (uint32_t k = 0; k < given.size(); ++k) {
          add_path(s, given[k]);
          if (k > 0 && given[k].size() != given[k - 1].size()) pt.boundary_pool.push_back(k);
        }
        pt.boundary_pool.push_back(std::max<uint32_t>(l.count, 1));
        l.boundary_count = uint32_t(pt.boundary_pool.size()) - l.boundaries;
      }
  }
  void add_path(uint32_t s, const std::vector<uint32_t>& nodes) {
    PathTable& pt = run().paths;
    const Network& n = net();
    Path p;
    p.nodes = uint32_t(pt.nodes.size());
    p.hops = uint32_t(nodes.size());
    p.cost = int32_t(p.hops);
    p.hop_info = uint32_t(pt.hop_data.size());
    uint32_t u = s;
    for (uint32_t k = 0; k < p.hops; ++k) {
      const uint32_t v = nodes[k];
      pt.nodes.push_back(v);
      const bool last = k + 1 == p.hops;
      pt.hop_data.push_back(Hop{uint32_t(n.at(u, v)), 0, uint8_t(last || n.nodes[v].conversion),
                                uint8_t(n.nodes[u].grooming && n.nodes[v].grooming)});
      u = v;
    }
    pt.nodes.push_back(n.total_nodes);
    Hop* h = pt.hop_data.data() + p.hop_info;
    for (uint32_t a = 0; a < p.hops;) {  // one segment [a, b)
      uint32_t b = a, bound = ~0u;
      do bound = std::min(bound, n.capacity[h[b].link]);
      while (!h[b++].ends_segment);
      for (uint32_t k = a; k < b; ++k) h[k].bound = bound;
      a = b;
    }
    pt.paths.push_back(p);
  }

  std::FILE* out_;
  std::unique_ptr<Run> run_;
  std::vector<std::vector<std::vector<uint32_t>>> paths_;
};

// Two grooming nodes, one fibre of four wavelengths of four slots.
void one_link(Lab& lab) {
  lab.net().nodes[0].grooming = lab.net().nodes[1].grooming = true;
  lab.fibre(0, 1, 4).path(0, 1, {1}).rate(0, 1, 1.0).call_sizes(1, 1);
  lab.finish();
}

using Items = std::vector<uint32_t>;

TEST(UsageMethods, MostUsedPutsTheWavelengthOfACallAtTheHeadAndTriesItFirst) {
  Lab lab(2, kMostUsed, kMostUsed, 4);
  one_link(lab);
  for (uint32_t w : {0u, 1u}) lab.take(0, 1, w, 4);
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{2});
  lab.take(0, 1, 2, 1);
  EXPECT_EQ(lab.global_order(), (Items{2, 0, 1, 3}));
  EXPECT_EQ(lab.route_order(0, 1), (Items{0}));
  for (uint32_t w : {0u, 1u}) lab.give(0, 1, w, 4);
  const double before = lab.run().total_attempts;
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{2});  // although 0 is free
  EXPECT_EQ(lab.run().total_attempts, before + 1);
}

TEST(UsageMethods, LeastUsedMovesTheWavelengthOfACallBehindTheUnusedOnes) {
  Lab lab(2, kLeastUsed, kLeastUsed, 4);
  one_link(lab);
  for (uint32_t w : {0u, 1u}) lab.take(0, 1, w, 4);
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{2});
  EXPECT_EQ(lab.global_order(), (Items{0, 1, 3, 2}));
  for (uint32_t w : {0u, 1u}) lab.give(0, 1, w, 4);
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{0});
  EXPECT_EQ(lab.global_order(), (Items{1, 3, 0, 2}));
}

TEST(UsageMethods, WavelengthsOutsideTheWindowArePassedOverWithoutAnAttempt) {
  Lab lab(2, kMostUsed, kMostUsed, 4);
  one_link(lab);
  for (uint32_t w : {0u, 1u, 2u}) lab.take(0, 1, w, 4);
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{3});
  for (uint32_t w : {0u, 1u, 2u}) lab.give(0, 1, w, 4);
  lab.take(0, 1, 3, 4);  // the window now ends below 3, the head
  ASSERT_EQ(lab.net().link(0, 1).high_end, 3u);
  const double before = lab.run().total_attempts;
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{0});
  EXPECT_EQ(lab.run().total_attempts, before + 1);
}

// Pair (0, 1): the direct path, then the path through node 2; every fibre
// has two wavelengths. Node 2 converts.
void triangle(Lab& lab) {
  lab.net().nodes[2].conversion = true;
  lab.fibre(0, 1, 2).fibre(0, 2, 2).fibre(2, 1, 2);
  lab.path(0, 1, {1}).path(0, 1, {2, 1}).rate(0, 1, 1.0);
  lab.finish();
}

TEST(UsageMethods, EveryPathHasItsOwnLocalOrderAndTheTagNamesThePathUsed) {
  Lab lab(3, kMostUsed, kLocalMostUsed);
  triangle(lab);
  uint32_t path = 9;
  lab.take(0, 1, 0, 1);
  EXPECT_EQ(lab.assign(0, 1, 1, &path), HopArray{1});
  EXPECT_EQ(path, 0u);
  EXPECT_EQ(lab.run().usage_tag, 0u);
  EXPECT_EQ(lab.local_order(0, 1, 0), (Items{1, 0}));
  lab.take(0, 1, 1, 1);  // the direct path is full now
  EXPECT_EQ(lab.assign(0, 1, 1, &path), (HopArray{0, 0}));
  EXPECT_EQ(path, 1u);
  EXPECT_EQ(lab.run().usage_tag, 1u);
  EXPECT_EQ(lab.local_order(0, 1, 1), (Items{0, 1}));
  EXPECT_EQ(lab.run().usage.channels.nodes_of(lab.run().usage.channels.lists[1])[0].usage, 2);
  EXPECT_EQ(lab.route_order(0, 1), (Items{0, 1}));  // one call each: the tie keeps list order
}

// Pair (0, 1) has a 1-hop and a 2-hop path. Most used: the longer path gets
// the calls; least used: the shorter one. Either way the busier path would
// take the other's place without -pr; with -pr -sh the shorter path stays
// first.
TEST(UsageMethods, WithPriorityRoutingALongerPathNeverOvertakesAShorterOne) {
  for (bool pr : {false, true})
    for (int16_t code : {kMostUsed, kLeastUsed}) {
      Lab lab(3, code, kFirstFit);
      lab.config().priority_routing = pr;
      lab.config().sort_mode = kSortHops;
      lab.fibre(0, 1, 1).fibre(0, 2, 4).fibre(2, 1, 4).path(0, 1, {1}).path(0, 1, {2, 1}).rate(0, 1, 1.0);
      lab.finish();
      uint32_t path = 9;
      if (code == kLeastUsed) {
        EXPECT_EQ(lab.assign(0, 1, 1, &path), HopArray{0});
        EXPECT_EQ(path, 0u);
      } else {
        lab.take(0, 1, 0, 1);
        for (int i = 0; i < 3; ++i) EXPECT_FALSE(lab.assign(0, 1, 1, &path).empty());
        EXPECT_EQ(path, 1u);
      }
      EXPECT_EQ(lab.route_order(0, 1), pr ? (Items{0, 1}) : (Items{1, 0})) << code << " pr " << pr;
    }
}

// ---- Bookkeeping over whole simulations ---------------------------------------

// Four nodes on a ring with a chord, fibres of different sizes, full-grooming
// and non-grooming nodes, one converting node; every path of up to three
// hops is a candidate, shortest first.
void ring(Lab& lab) {
  Network& n = lab.net();
  n.nodes[0].grooming = n.nodes[1].grooming = n.nodes[3].grooming = true;
  n.nodes[2].conversion = true;
  const uint32_t size[4] = {3, 4, 2, 4};
  for (uint32_t u = 0; u < 4; ++u) lab.fibre(u, (u + 1) % 4, size[u]).fibre((u + 1) % 4, u, size[u]);
  lab.fibre(0, 2, 3).fibre(2, 0, 3);
  for (uint32_t s = 0; s < 4; ++s)
    for (uint32_t d = 0; d < 4; ++d) {
      if (s == d) continue;
      std::vector<std::vector<uint32_t>> found;
      std::vector<uint32_t> walk;
      auto dfs = [&](auto& self, uint32_t u) -> void {
        for (uint32_t v = 0; v < 4; ++v) {
          if (n.capacity[n.at(u, v)] == 0 || v == s || std::count(walk.begin(), walk.end(), v)) continue;
          walk.push_back(v);
          if (v == d) found.push_back(walk);
          else if (walk.size() < 3) self(self, v);
          walk.pop_back();
        }
      };
      dfs(dfs, s);
      std::stable_sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.size() < b.size(); });
      for (auto& p : found) lab.path(s, d, p);
      lab.rate(s, d, 1.5);
    }
  lab.call_sizes(1, 4);
  lab.finish();
}

// Gives a departing call's capacity back and disposes of its record the way
// the engine does.
void depart(Run& run, uint32_t id) {
  Event& e = run.sim.events[id];
  const Path& p = run.paths.paths[e.path];
  const Hop* hops = run.paths.path_hops(p);
  for (uint32_t k = 0; k < p.hops; ++k) run.net.release_links(&hops[k].link, 1, &e.hop_wavelengths[k], e.slots);
  if (run.slots.event_release) run.slots.event_release(run, e);
  run.sim.events.recycle(id);
}

// Poisson arrivals of every pair with traffic until `end`, placed by the
// engine's place_call; departures due before each arrival are processed.
void offer_traffic(Run& run, double end, uint32_t seed) {
  const Network& n = run.net;
  std::mt19937 g(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  struct Next {
    double time;
    uint32_t u, v;
  };
  std::vector<Next> next;
  auto gap = [&](uint32_t u, uint32_t v) { return -std::log(1.0 - unit(g)) / n.arrival_rates[n.at(u, v)]; };
  for (uint32_t u = 0; u < n.total_nodes; ++u)
    for (uint32_t v = 0; v < n.total_nodes; ++v)
      if (n.arrival_rates[n.at(u, v)] > 0) next.push_back({gap(u, v), u, v});
  for (;;) {
    Next& a = *std::min_element(next.begin(), next.end(), [](auto& x, auto& y) { return x.time < y.time; });
    if (a.time >= end) break;
    while (!run.sim.events.empty() && run.sim.events[run.sim.events.head()].time < a.time)
      depart(run, run.sim.events.pop());
    run.sim.now = a.time;
    const uint32_t demand = n.nodes[a.u].grooming ? n.min_call_slots + g() % n.call_size_count : n.slots_per_wavelength;
    place_call(run, a.u, a.v, demand);
    a.time += gap(a.u, a.v);
  }
}

// Every list holds exactly the slots of the calls in progress on its items
// (times hops for channel lists) and is sorted in its order.
void expect_counts_match(Run& run, const std::vector<uint32_t>& calls, const std::string& what) {
  const Config& c = run.config;
  UsageState& us = run.usage;
  std::vector<int64_t> routes(us.routes.nodes.size()), channels(us.channels.nodes.size());
  const bool local = c.wa_code == kLocalMostUsed || c.wa_code == kLocalLeastUsed;
  for (uint32_t id : calls) {
    const Event& e = run.sim.events[id];
    const PathList& l = run.paths.list(e.source, e.destination);
    if (!us.routes.lists.empty()) {
      EXPECT_EQ(l.first + e.usage_tag, e.path) << what;
      routes[us.routes.lists[run.net.at(e.source, e.destination)].first + e.usage_tag] += e.slots;
    }
    if (!us.channels.lists.empty())
      for (uint32_t w : e.hop_wavelengths) channels[us.channels.lists[local ? e.path : 0].first + w] += e.slots;
  }
  auto check = [&](const UsageListSet& set, const std::vector<int64_t>& want, bool most, bool sorted) {
    for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(set.nodes[i].usage, want[i]) << what << " node " << i;
    for (const UsageList& l : set.lists) {
      std::vector<int64_t> seq;
      for (int32_t i = l.head; i != kNoNode; i = set.nodes_of(l)[i].next) seq.push_back(set.nodes_of(l)[i].usage);
      ASSERT_EQ(seq.size(), l.count) << what;
      EXPECT_TRUE(!sorted || (most ? std::is_sorted(seq.rbegin(), seq.rend()) : std::is_sorted(seq.begin(), seq.end())))
          << what;
    }
  };
  check(us.routes, routes, c.routing_code == kMostUsed, !c.priority_routing);
  check(us.channels, channels, c.wa_code == kMostUsed || c.wa_code == kLocalMostUsed, true);
}

// Two batches, each checked at its end and after every call has left; the
// second starts from the per-batch reset.
void check_batches(Run& run, const std::string& what) {
  for (uint32_t batch = 0; batch < 2; ++batch) {
    Lab::start_batch_of(run);
    offer_traffic(run, 30.0, 7 + batch);
    std::vector<uint32_t> calls;
    while (!run.sim.events.empty()) calls.push_back(run.sim.events.pop());
    ASSERT_GT(calls.size(), 2u) << what;
    expect_counts_match(run, calls, what);
    for (uint32_t id : calls) depart(run, id);
    expect_counts_match(run, {}, what);
  }
}

struct Combination {
  const char* what;
  int16_t routing, wa;
  bool priority = false, multi = false;
  uint32_t attempts = kNoLimit;
};

TEST(UsageMethods, CountsEqualTheCallsInProgressAndReturnToZeroWhenAllHaveLeft) {
  const Combination all[] = {
      {"-mu", kMostUsed, kMostUsed},
      {"-lmu", kMostUsed, kLocalMostUsed},
      {"-lu", kLeastUsed, kLeastUsed},
      {"-llu", kLeastUsed, kLocalLeastUsed},
      {"-r -mu", kRandom, kMostUsed},
      {"-mu -r", kMostUsed, kRandom},
      {"-ff -llu", kFirstFit, kLocalLeastUsed},
      {"-lu -lf", kLeastUsed, kLastFit},
      {"-lf -lmu -m", kLastFit, kLocalMostUsed, false, true},
      {"-lmu -pr", kMostUsed, kLocalMostUsed, true},
      {"-lu -pr -m", kLeastUsed, kLeastUsed, true, true},
      {"-mu -m -at:3", kMostUsed, kMostUsed, false, true, 3},
      {"-llu -m -at:2", kLeastUsed, kLocalLeastUsed, false, true, 2},
  };
  for (const Combination& m : all) {
    Lab lab(4, m.routing, m.wa, 4);
    lab.config().priority_routing = m.priority;
    lab.config().sort_mode = kSortHops;
    lab.config().multi_wavelength = m.multi;
    lab.config().max_attempts = m.attempts;
    ring(lab);
    check_batches(lab.run(), m.what);
  }
}

// Five nodes: three full-grooming, two that only pass whole wavelengths, one
// of them converting; calls of 1 to 3 slots of 3 from the grooming nodes.
const char* kMesh =
    "5\n3 n\n3 y\n1 y\n3 n\n1 n\n3\n1\n3\n"
    "0 2 3 0 2\n2 0 2 3 0\n3 2 0 2 1\n0 3 2 0 2\n2 0 1 2 0\n"
    "0 1 1 1 1\n1 0 1 1 1\n1 1 0 1 1\n1 1 1 0 1\n1 1 1 1 0\n"
    "2\n20\n";

// The same bookkeeping on runs prepared from the command line, with path
// tables of several paths per pair (and Virtual nodes in the three-node
// example), for the single options and mixed combinations.
TEST(UsageMethodsInWholeRuns, CountsMatchTheCallsInProgressForEveryCombination) {
  const std::string mesh = "-nt:" + test::write_file("mesh.txt", kMesh);
  const std::string three = "-nt:" + test::example("three-node.txt");
  const std::vector<std::vector<std::string>> all = {
      {"-mu"}, {"-lmu"}, {"-lu"}, {"-llu"}, {"-r", "-mu"}, {"-mu", "-r"}, {"-ff", "-llu"}, {"-lu", "-lf"},
      {"-lmu", "-sh", "-pr"}, {"-lu", "-sc", "-pr", "-m"}, {"-llu", "-m", "-at:2"}, {"-r", "-lmu", "-m"}};
  for (const std::string& net : {mesh, three})
    for (std::vector<std::string> args : all) {
      std::string what;
      for (const std::string& a : args) what += a + " ";
      args.insert(args.end(), {"-mc:2", "-f:3", "-s:3", net});
      test::PreparedRun p(args);
      ASSERT_TRUE(p.status.ok()) << what << p.status.message;
      check_batches(*p.run, what + net);
      auto r = test::run_lumtra(args);
      EXPECT_EQ(r.status, 0) << what << r.err;
      EXPECT_NE(r.out.find("Overall Blocking Probability = "), std::string::npos) << what;
    }
}

// ---- Agreement with theory -------------------------------------------------------

double erlang_b(int servers, double load) {
  double b = 1.0;
  for (int n = 1; n <= servers; ++n) b = load * b / (n + load * b);
  return b;
}

// One fibre of four wavelengths between two non-grooming nodes: every call
// fills a wavelength, so the link is a loss system with four servers.
TEST(UsageMethodsAgainstTheory, OneLinkIsErlangBWithOneServerPerWavelength) {
  const Combination all[] = {{"-mu", kMostUsed, kMostUsed},
                             {"-lu", kLeastUsed, kLeastUsed},
                             {"-lmu", kMostUsed, kLocalMostUsed},
                             {"-llu", kLeastUsed, kLocalLeastUsed}};
  for (const Combination& m : all) {
    Lab lab(2, m.routing, m.wa, 4);
    lab.config().batch_count = 20;
    lab.config().batch_time = 2000;
    lab.fibre(0, 1, 4).fibre(1, 0, 4).path(0, 1, {1}).rate(0, 1, 3.0);
    lab.finish();
    run_batches(lab.run());
    const std::vector<double>& v = lab.run().sim.batch_bp;
    ASSERT_EQ(v.size(), 20u);
    double mean = 0, ss = 0;
    for (double x : v) mean += x;
    mean /= double(v.size());
    for (double x : v) ss += (x - mean) * (x - mean);
    const double se = std::sqrt(ss / double(v.size() - 1) / double(v.size()));
    EXPECT_NEAR(mean, erlang_b(4, 3.0), 4 * se + 1e-3) << m.what;
  }
}

}  // namespace
}  // namespace lumtra
