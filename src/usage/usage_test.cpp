#include "usage/usage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "harness.h"
#include "run/run.h"
#include "sim/engine.h"

namespace lumtra {
namespace {

using test::PreparedRun;
using Items = std::vector<uint32_t>;

// A run prepared from a network text and options, at the state of a batch
// start, with small helpers to read the usage lists.
struct Prepared {
  PreparedRun p;
  Prepared(const std::string& net, std::vector<std::string> args)
      : p((args.push_back("-nt:" + test::write_file("net.txt", net)), args)) {
    EXPECT_TRUE(p.status.ok()) << p.status.message;
    if (p.status.ok()) p.start_batch();
  }
  Run& run() { return *p.run; }
  UsageState& usage() { return p.lane().methods.usage; }
  uint64_t attempts() { return p.lane().methods.rwa.context.total_attempts; }
  void take(uint32_t u, uint32_t v, uint32_t w, uint32_t slots) { p.take(u, v, w, slots); }
  void give(uint32_t u, uint32_t v, uint32_t w, uint32_t slots) { p.give(u, v, w, slots); }
  HopArray assign(uint32_t s, uint32_t d, uint32_t slots, uint32_t* path = nullptr) {
    return p.assign(s, d, slots, path);
  }
  // Items of a list from head to tail.
  static Items order(const UsageListSet& set, size_t list) {
    Items items;
    const UsageNode* n = set.nodes_of(set.lists[list]);
    for (int32_t i = set.lists[list].head; i != kNoNode; i = n[i].next) items.push_back(uint32_t(i));
    return items;
  }
  Items global_order() { return order(usage().channels, 0); }
  Items route_order(uint32_t s, uint32_t d) { return order(usage().routes, run().net.at(s, d)); }
  Items local_order(uint32_t s, uint32_t d, uint32_t k) {
    return order(usage().channels, run().paths.global_index(s, d, k));
  }
};

// Two full-grooming nodes, one fibre of four wavelengths of four slots,
// calls of one slot.
const char* kOneLink = "2\n3 n\n3 n\n4\n1\n1\n0 4\n4 0\n0 1\n0 0\n1\n10\n";

TEST(UsageMethods, MostUsedPutsTheWavelengthOfACallAtTheHeadAndTriesItFirst) {
  Prepared lab(kOneLink, {"-mu"});
  for (uint32_t w : {0u, 1u}) lab.take(0, 1, w, 4);
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{2});
  lab.take(0, 1, 2, 1);
  EXPECT_EQ(lab.global_order(), (Items{2, 0, 1, 3}));
  EXPECT_EQ(lab.route_order(0, 1), (Items{0}));
  for (uint32_t w : {0u, 1u}) lab.give(0, 1, w, 4);
  const uint64_t before = lab.attempts();
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{2});  // although 0 is free
  EXPECT_EQ(lab.attempts(), before + 1);
}

TEST(UsageMethods, LeastUsedMovesTheWavelengthOfACallBehindTheUnusedOnes) {
  Prepared lab(kOneLink, {"-lu"});
  for (uint32_t w : {0u, 1u}) lab.take(0, 1, w, 4);
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{2});
  EXPECT_EQ(lab.global_order(), (Items{0, 1, 3, 2}));
  for (uint32_t w : {0u, 1u}) lab.give(0, 1, w, 4);
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{0});
  EXPECT_EQ(lab.global_order(), (Items{1, 3, 0, 2}));
}

TEST(UsageMethods, WavelengthsOutsideTheWindowArePassedOverWithoutAnAttempt) {
  Prepared lab(kOneLink, {"-mu"});
  for (uint32_t w : {0u, 1u, 2u}) lab.take(0, 1, w, 4);
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{3});
  for (uint32_t w : {0u, 1u, 2u}) lab.give(0, 1, w, 4);
  lab.take(0, 1, 3, 4);  // the window now ends below 3, the head
  ASSERT_EQ(lab.p.lane().links.link(0, 1).high_end, 3u);
  const uint64_t before = lab.attempts();
  EXPECT_EQ(lab.assign(0, 1, 1), HopArray{0});
  EXPECT_EQ(lab.attempts(), before + 1);
}

// Pair (1, 2) has the direct path 0 and path 1 through node 3, which
// converts. Fibres of `direct` and `other` wavelengths.
std::string triangle(int direct, int other) {
  return "3\n1 n\n1 n\n1 y\n1\n1\n1\n0 " + std::to_string(direct) + " " + std::to_string(other) + "\n" +
         std::to_string(direct) + " 0 0\n0 " + std::to_string(other) + " 0\n0 1 0\n0 0 0\n0 0 0\n1\n10\n";
}

TEST(UsageMethods, EveryPathHasItsOwnLocalOrderAndTheTagNamesThePathUsed) {
  Prepared lab(triangle(2, 2), {"-lmu", "-mc:1"});
  ASSERT_EQ(lab.run().paths.list(0, 1).count, 2u);
  uint32_t path = 9;
  lab.take(0, 1, 0, 1);
  EXPECT_EQ(lab.assign(0, 1, 1, &path), HopArray{1});
  EXPECT_EQ(path, 0u);
  EXPECT_EQ(lab.p.lane().methods.rwa.context.usage_tag, 0u);
  EXPECT_EQ(lab.local_order(0, 1, 0), (Items{1, 0}));
  lab.take(0, 1, 1, 1);  // the direct path is full now
  EXPECT_EQ(lab.assign(0, 1, 1, &path), (HopArray{0, 0}));
  EXPECT_EQ(path, 1u);
  EXPECT_EQ(lab.p.lane().methods.rwa.context.usage_tag, 1u);
  EXPECT_EQ(lab.local_order(0, 1, 1), (Items{0, 1}));
  const UsageListSet& ch = lab.usage().channels;
  EXPECT_EQ(ch.nodes_of(ch.lists[lab.run().paths.global_index(0, 1, 1)])[0].usage, 2);
  EXPECT_EQ(lab.route_order(0, 1), (Items{0, 1}));  // one call each: the tie keeps list order
}

// Most used: the longer path gets the calls; least used: the shorter one.
// Either way the busier path would take the other's place without -pr; with
// -pr -sh the shorter path stays first.
TEST(UsageMethods, WithPriorityRoutingALongerPathNeverOvertakesAShorterOne) {
  for (bool pr : {false, true})
    for (const char* method : {"-mu", "-lu"}) {
      std::vector<std::string> args = {method, "-ff", "-mc:1", "-sh"};
      if (pr) args.push_back("-pr");
      Prepared lab(triangle(1, 4), args);
      uint32_t path = 9;
      if (std::string(method) == "-lu") {
        EXPECT_EQ(lab.assign(0, 1, 1, &path), HopArray{0});
        EXPECT_EQ(path, 0u);
      } else {
        lab.take(0, 1, 0, 1);
        for (int i = 0; i < 3; ++i) EXPECT_FALSE(lab.assign(0, 1, 1, &path).empty());
        EXPECT_EQ(path, 1u);
      }
      EXPECT_EQ(lab.route_order(0, 1), pr ? (Items{0, 1}) : (Items{1, 0})) << method << " pr " << pr;
    }
}

// ---- Bookkeeping over whole simulations ---------------------------------------

// With priority routing every Route usage list keeps its priority groups
// contiguous and in order, whatever the counts.
void expect_groups_in_order(PreparedRun& p) {
  const PathTable& t = p.run->paths;
  const UsageState& us = p.lane().methods.usage;
  if (!p.run->config.paths.priority_routing || us.routes.lists.empty()) return;
  for (size_t pair = 0; pair < t.lists.size(); ++pair) {
    const PathList& l = t.lists[pair];
    const uint32_t* b = t.group_boundaries(l);
    const UsageList& list = us.routes.lists[pair];
    uint32_t last = 0;
    for (int32_t i = list.head; i != kNoNode; i = us.routes.nodes_of(list)[i].next) {
      uint32_t g = 0;
      while (g + 1 < t.group_count(l) && uint32_t(i) >= b[g + 1]) ++g;
      ASSERT_GE(g, last) << "pair " << pair << ": path " << i << " before a path of an earlier group";
      last = g;
    }
  }
}

// Gives a departing call's capacity back and disposes of its record the way
// the engine does.
void depart(PreparedRun& p, uint32_t id) {
  Lane& lane = p.lane();
  Event& e = lane.events[id];
  const Path& path = p.run->paths.paths[e.path];
  const Hop* hops = p.run->paths.path_hops(path);
  for (uint32_t k = 0; k < path.hops; ++k) lane.links.give(hops[k].link, e.hop_wavelengths[k], e.slots);
  lane.methods.rwa.release(PlacedCall{e.source, e.destination, e.path, e.slots, e.usage_tag, e.hop_wavelengths.data()});
  lane.events.recycle(id);
  expect_groups_in_order(p);
}

// Poisson arrivals of every pair with traffic until `end`, placed by the
// engine's place_call; departures due before each arrival are processed.
void offer_traffic(PreparedRun& p, double end, uint32_t seed) {
  const Network& n = p.run->net;
  Lane& lane = p.lane();
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
    while (!lane.events.empty() && lane.events[lane.events.head()].time < a.time) depart(p, lane.events.pop());
    lane.now = a.time;
    const uint32_t demand = n.nodes[a.u].grooming ? n.min_call_slots + g() % n.call_size_count : n.slots_per_wavelength;
    place_call(lane, p.input(), a.u, a.v, demand);
    a.time += gap(a.u, a.v);
  }
}

// Every list holds exactly the slots of the calls in progress on its items
// (times hops for channel lists) and is sorted in its order.
void expect_counts_match(PreparedRun& p, const std::vector<uint32_t>& calls, const std::string& what) {
  const Config& c = p.run->config;
  const UsageState& us = p.lane().methods.usage;
  std::vector<int64_t> routes(us.routes.nodes.size()), channels(us.channels.nodes.size());
  const bool local = c.methods.wa_code == kLocalMostUsed || c.methods.wa_code == kLocalLeastUsed;
  for (uint32_t id : calls) {
    const Event& e = p.lane().events[id];
    const PathList& l = p.run->paths.list(e.source, e.destination);
    if (!us.routes.lists.empty()) {
      EXPECT_EQ(l.first + e.usage_tag, e.path) << what;
      routes[us.routes.lists[p.run->net.at(e.source, e.destination)].first + e.usage_tag] += e.slots;
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
  check(us.routes, routes, c.methods.routing_code == kMostUsed, !c.paths.priority_routing);
  check(us.channels, channels, c.methods.wa_code == kMostUsed || c.methods.wa_code == kLocalMostUsed, true);
}

// Two batches, each checked at its end and after every call has left; the
// second starts from the per-batch reset.
void check_batches(PreparedRun& p, const std::string& what) {
  for (uint32_t batch = 0; batch < 2; ++batch) {
    p.start_batch();
    offer_traffic(p, 30.0, 7 + batch);
    std::vector<uint32_t> calls;
    while (!p.lane().events.empty()) calls.push_back(p.lane().events.pop());
    ASSERT_GT(calls.size(), 2u) << what;
    expect_counts_match(p, calls, what);
    for (uint32_t id : calls) depart(p, id);
    expect_counts_match(p, {}, what);
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
      {"-lmu", "-sh", "-pr"}, {"-mu", "-sh", "-pr"}, {"-lu", "-sc", "-pr", "-m"}, {"-llu", "-m", "-at:2"}, {"-r", "-lmu", "-m"},
      {"-lf", "-lmu", "-m"}, {"-mu", "-m", "-at:3"}, {"-dla", "-llu"}, {"-mu", "-la", "-al:0.1", "-ep:0.1"},
      {"-ll", "-lu"}, {"-wlcr", "-lmu"}};
  for (const std::string& net : {mesh, three})
    for (std::vector<std::string> args : all) {
      std::string what;
      for (const std::string& a : args) what += a + " ";
      args.insert(args.end(), {"-mc:2", "-f:3", "-s:3", net});
      test::PreparedRun p(args);
      ASSERT_TRUE(p.status.ok()) << what << p.status.message;
      check_batches(p, what + net);
      auto r = test::run_lumtra(args);
      EXPECT_EQ(r.status, 0) << what << r.err;
      EXPECT_NE(r.out.find("Overall Blocking Probability = "), std::string::npos) << what;
    }
}

// ---- Agreement with theory -------------------------------------------------------

// One fibre of four wavelengths between two non-grooming nodes: every call
// fills a wavelength, so the link is a loss system with four servers.
TEST(UsageMethodsAgainstTheory, OneLinkIsErlangBWithOneServerPerWavelength) {
  const std::string net = test::single_link({.rate = 3.0, .batches = 20, .time = 2000});
  for (const char* method : {"-mu", "-lu", "-lmu", "-llu"}) {
    Prepared lab(net, {method, "-s:3"});
    std::vector<double> v;
    BatchRecord record;
    for (uint32_t b = 1; b <= 20; ++b) {
      ASSERT_TRUE(run_batch(lab.p.lane(), lab.p.input(), b, record).ok());
      v.push_back(double(record.blocked) / double(record.arrived));
    }
    double mean = 0, ss = 0;
    for (double x : v) mean += x / 20;
    for (double x : v) ss += (x - mean) * (x - mean);
    EXPECT_NEAR(mean, test::erlang_b(4, 3.0), 4 * std::sqrt(ss / 19 / 20) + 1e-3) << method;
  }
}

}  // namespace
}  // namespace lumtra
