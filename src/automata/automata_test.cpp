// Request-level behaviour of the three automata on small hand-built
// networks: which paths and wavelengths are tried, in which order, and what
// the vectors learn from it.
#include "automata/automata.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

#include "run/run.h"

namespace lumtra {
namespace {

using Seq = std::vector<uint32_t>;

// A network of non-grooming nodes with whole-wavelength calls, and a path
// table filled by hand.
struct Lab {
  Network net;
  PathTable pt;
  Config config;
  LinkState links;
  MethodSet set;
  MemoryBudget budget{uint64_t(1) << 30};
  struct Pending {
    uint32_t s, d;
    std::vector<Seq> paths;
    std::vector<uint32_t> groups;
  };
  std::vector<Pending> pending;
  bool allocate_channels = true;  // off for networks too large to hold

  explicit Lab(uint32_t t, std::vector<uint32_t> converting = {}) {
    net.node_count = net.total_nodes = t;
    net.nodes.resize(t);
    for (uint32_t c : converting) net.nodes[c].conversion = true;
    net.capacity.assign(size_t(t) * t, 0);
    net.arrival_rates.assign(size_t(t) * t, 0.0);
    net.slots_per_wavelength = 1;
  }
  AutomataState& automata() { return set.automata; }
  RwaContext& context() { return set.rwa.context; }
  MethodSetup setup() const { return {config.methods, config.paths, net, pt}; }
  void fibre(uint32_t u, uint32_t v, uint32_t w) { net.capacity[net.at(u, v)] = w; }
  void paths(uint32_t s, uint32_t d, std::vector<Seq> seqs, std::vector<uint32_t> groups = {}) {
    pending.push_back({s, d, std::move(seqs), std::move(groups)});
  }

  void build_table() {
    const uint32_t t = net.total_nodes;
    pt.total_nodes = t;
    pt.lists.assign(size_t(t) * t, PathList{});
    for (const Pending& p : pending) {
      PathList& list = pt.lists[net.at(p.s, p.d)];
      list.first = uint32_t(pt.paths.size());
      list.count = uint32_t(p.paths.size());
      for (const Seq& seq : p.paths) {
        Path path;
        path.nodes = uint32_t(pt.nodes.size());
        path.hops = uint32_t(seq.size());
        path.cost = int32_t(seq.size());
        path.hop_info = uint32_t(pt.hop_data.size());
        pt.nodes.insert(pt.nodes.end(), seq.begin(), seq.end());
        pt.nodes.push_back(t);
        uint32_t u = p.s, seg_first = uint32_t(pt.hop_data.size()), bound = UINT32_MAX;
        for (size_t k = 0; k < seq.size(); ++k) {
          const uint32_t v = seq[k];
          Hop h{uint32_t(net.at(u, v)), 0, 0, uint8_t(net.nodes[u].grooming && net.nodes[v].grooming)};
          h.ends_segment = k + 1 == seq.size() || net.nodes[v].conversion;
          bound = std::min(bound, net.capacity[net.at(u, v)]);
          pt.hop_data.push_back(h);
          if (h.ends_segment) {
            for (size_t j = seg_first; j < pt.hop_data.size(); ++j) pt.hop_data[j].bound = bound;
            seg_first = uint32_t(pt.hop_data.size());
            bound = UINT32_MAX;
          }
          u = v;
        }
        pt.paths.push_back(path);
      }
      list.boundaries = uint32_t(pt.boundary_pool.size());
      list.boundary_count = uint32_t(p.groups.size());
      pt.boundary_pool.insert(pt.boundary_pool.end(), p.groups.begin(), p.groups.end());
    }
  }

  // Installs the methods and builds the vectors as a run does before its
  // first batch.
  Status start(int16_t routing, int16_t wa, double alpha = 0.1, double epsilon = 0.2, bool priority = false,
               bool single = false) {
    Config& c = config;
    c.methods.routing_code = routing;
    c.methods.wa_code = wa;
    c.methods.alpha = alpha;
    c.methods.epsilon = epsilon;
    c.paths.priority_routing = priority;
    c.methods.single_la_list = single;
    c.paths.sort_mode = priority ? kSortHops : kNoSort;
    if (allocate_channels) {
      net.connect();
      links.allocate(net);
      links.reset();
    }
    build_table();
    if (Status s = install_methods(set, setup(), links, Lehmer{1}, budget); !s.ok()) return s;
    reset_methods(set, setup());
    return Status::proceed();
  }

  void occupy(uint32_t u, uint32_t v, uint32_t w) { links.take(uint32_t(net.at(u, v)), w, 1); }

  // One call; `path` is the index of the path in the pair's list.
  bool call(uint32_t s, uint32_t d, HopArray& hops, int32_t& path) {
    uint32_t global = 0;
    const bool placed = set.rwa.assign(s, d, hops, global, 1);
    path = placed ? int32_t(global - pt.list(s, d).first) : -1;
    return placed;
  }
  double attempts_of(uint32_t s, uint32_t d, HopArray& hops, int32_t& path) {
    const uint64_t before = context().total_attempts;
    call(s, d, hops, path);
    return double(context().total_attempts - before);
  }

  // The route vector of a pair: probabilities by path index, and the paths
  // in position order.
  std::vector<double> route_probabilities(uint32_t s, uint32_t d) {
    const VectorHead& v = set.automata.routes[net.at(s, d)];
    std::vector<double> p(v.n);
    for (uint32_t i = 0; i < v.n; ++i) {
      const RouteAction& a = set.automata.route_actions[v.first + i];
      p[a.path] = a.probability;
    }
    return p;
  }
  std::vector<int32_t> route_order(uint32_t s, uint32_t d) {
    const VectorHead& v = set.automata.routes[net.at(s, d)];
    std::vector<int32_t> o;
    for (uint32_t i = 0; i < v.n; ++i) o.push_back(set.automata.route_actions[v.first + i].path);
    return o;
  }
  // The wavelength vector of segment `seg` of path `path` of a pair.
  const VectorHead& wave_vector(uint32_t s, uint32_t d, int32_t path, uint32_t seg = 0) {
    const VectorHead& v = set.automata.routes[net.at(s, d)];
    for (uint32_t i = 0; i < v.n; ++i) {
      const RouteAction& a = set.automata.route_actions[v.first + i];
      if (a.path == path) return set.automata.waves[a.segments + seg];
    }
    return v;
  }
  std::vector<uint32_t> wave_order(const VectorHead& v) {
    std::vector<uint32_t> o;
    for (uint32_t i = 0; i < v.n; ++i) o.push_back(set.automata.wave_wavelength[v.first + i]);
    return o;
  }
  double wave_probability(const VectorHead& v, uint32_t w) {
    for (uint32_t i = 0; i < v.n; ++i)
      if (set.automata.wave_wavelength[v.first + i] == w) return set.automata.wave_probability[v.first + i];
    return -1;
  }
  // Puts the Method stream where its next draw is below (or above) one half.
  void next_draw_below_half(bool below) {
    Lehmer& s = set.rwa.context.stream;
    for (s.state = 1;; ++s.state) {
      Lehmer copy = s;
      if ((copy.uniform() < 0.5) == below) return;
    }
  }
};

void expect_probs(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-12) << "path " << i;
}

double sum(const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0); }

// Pair 0 -> 2 with the direct path and the path through node 1, one
// wavelength per fibre.
struct TwoPaths : Lab {
  TwoPaths() : Lab(3) {
    fibre(0, 2, 1);
    fibre(0, 1, 1);
    fibre(1, 2, 1);
    paths(0, 2, {{2}, {1, 2}}, {0, 2});
  }
};

TEST(FastAutomaton, AFailedPathIsPenalisedAndTheNextTriedInTheSameRequest) {
  TwoPaths lab;
  ASSERT_TRUE(lab.start(kFastLA, kFastLA, 0.1, 0.2).ok());
  lab.occupy(0, 2, 0);
  lab.next_draw_below_half(true);  // path 0 first
  HopArray hops;
  int32_t path;
  EXPECT_EQ(lab.attempts_of(0, 2, hops, path), 2.0);
  EXPECT_EQ(path, 1);
  EXPECT_EQ(hops, (HopArray{0, 0}));
  expect_probs(lab.route_probabilities(0, 2), {0.36, 0.64});
}

TEST(FastAutomaton, EveryPathIsTriedOnceBeforeTheCallIsBlocked) {
  TwoPaths lab;
  lab.fibre(0, 1, 1);
  lab.paths(0, 1, {{1}});
  ASSERT_TRUE(lab.start(kFastLA, kFastLA, 0.1, 0.2).ok());
  lab.occupy(0, 2, 0);
  lab.occupy(0, 1, 0);
  HopArray hops{7};
  int32_t path;
  EXPECT_EQ(lab.attempts_of(0, 2, hops, path), 2.0);
  EXPECT_EQ(path, -1);
  EXPECT_TRUE(hops.empty());
  EXPECT_NEAR(sum(lab.route_probabilities(0, 2)), 1.0, 1e-12);
  // A single path: removed after its failure, its probability untouched.
  EXPECT_EQ(lab.attempts_of(0, 1, hops, path), 1.0);
  expect_probs(lab.route_probabilities(0, 1), {1.0});
}

TEST(FastAutomaton, TheAttemptLimitLeavesThePathInUseUntouched) {
  TwoPaths lab;
  lab.config.methods.max_attempts = 1;
  ASSERT_TRUE(lab.start(kFastLA, kFastLA, 0.1, 0.2).ok());
  lab.occupy(0, 2, 0);
  lab.next_draw_below_half(true);
  HopArray hops;
  int32_t path;
  // Path 0 fails and is penalised; path 1 gets no trial, and neither
  // penalty nor reward.
  EXPECT_EQ(lab.attempts_of(0, 2, hops, path), 1.0);
  EXPECT_EQ(path, -1);
  expect_probs(lab.route_probabilities(0, 2), {0.4, 0.6});
}

TEST(FastAutomaton, WavelengthsThatFailArePenalisedAndNotRetried) {
  Lab lab(2);
  lab.fibre(0, 1, 4);
  lab.paths(0, 1, {{1}});
  ASSERT_TRUE(lab.start(kFastLA, kFastLA, 0.1, 0.1).ok());
  for (uint32_t w : {0u, 1u, 2u}) lab.occupy(0, 1, w);
  HopArray hops;
  int32_t path;
  for (int i = 0; i < 40; ++i) {
    EXPECT_LE(lab.attempts_of(0, 1, hops, path), 4.0);
    EXPECT_EQ(hops, HopArray{3});
  }
  const VectorHead& v = lab.wave_vector(0, 1, 0);
  EXPECT_GT(lab.wave_probability(v, 3), 0.9);
  double total = 0;
  for (uint32_t w = 0; w < 4; ++w) total += lab.wave_probability(v, w);
  EXPECT_NEAR(total, 1.0, 1e-12);
}

// Pair 0 -> 5: groups {0 -> 1 -> 5, 0 -> 2 -> 5} and {0 -> 3 -> 4 -> 5}.
struct GroupedPaths : Lab {
  GroupedPaths() : Lab(6) {
    for (auto [u, v] : std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}, {1, 5}, {0, 2}, {2, 5}, {0, 3}, {3, 4}, {4, 5}})
      fibre(u, v, 1);
    paths(0, 5, {{1, 5}, {2, 5}, {3, 4, 5}}, {0, 2, 3});
  }
};

TEST(FastAutomaton, PriorityGroupsAreExhaustedInOrder) {
  for (bool single : {false, true}) {
    GroupedPaths lab;
    ASSERT_TRUE(lab.start(kFastLA, kFastLA, 0.1, 0.2, true, single).ok());
    lab.occupy(1, 5, 0);
    HopArray hops;
    int32_t path;
    for (int i = 0; i < 30; ++i) {
      EXPECT_TRUE(lab.call(0, 5, hops, path));
      EXPECT_EQ(path, 1) << "single list " << single;
    }
    std::vector<double> p = lab.route_probabilities(0, 5);
    if (single) {
      // One distribution over all paths: the whole-vector penalties move
      // probability to the path of the next group as well.
      EXPECT_NEAR(sum(p), 1.0, 1e-12);
      EXPECT_LT(p[2], 1.0);
    } else {
      EXPECT_NEAR(p[0] + p[1], 1.0, 1e-12);
      EXPECT_EQ(p[2], 1.0);
    }
    lab.occupy(2, 5, 0);
    EXPECT_EQ(lab.attempts_of(0, 5, hops, path), 3.0);
    EXPECT_EQ(path, 2);
    lab.occupy(3, 4, 0);
    EXPECT_EQ(lab.attempts_of(0, 5, hops, path), 3.0);
    EXPECT_EQ(path, -1);
  }
}

TEST(FastAutomaton, EveryBatchStartsFromUniformVectorsInTheOrderReached) {
  TwoPaths lab;
  ASSERT_TRUE(lab.start(kFastLA, kFastLA, 0.1, 0.2).ok());
  lab.occupy(0, 2, 0);
  lab.next_draw_below_half(true);
  HopArray hops;
  int32_t path;
  lab.call(0, 2, hops, path);
  const std::vector<int32_t> order = lab.route_order(0, 2);
  EXPECT_EQ(order, (std::vector<int32_t>{1, 0}));
  reset_methods(lab.set, lab.setup());
  expect_probs(lab.route_probabilities(0, 2), {0.5, 0.5});
  EXPECT_EQ(lab.route_order(0, 2), order);
}

TEST(DeterministicAutomaton, PathsAndWavelengthsAreTriedByPastSuccess) {
  TwoPaths lab;
  lab.fibre(0, 1, 4);
  lab.paths(0, 1, {{1}});
  ASSERT_TRUE(lab.start(kDeterministicLA, kDeterministicLA).ok());
  lab.occupy(0, 2, 0);
  HopArray hops;
  int32_t path;
  EXPECT_EQ(lab.attempts_of(0, 2, hops, path), 2.0);
  EXPECT_EQ(path, 1);
  EXPECT_EQ(lab.route_order(0, 2), (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(lab.attempts_of(0, 2, hops, path), 1.0);

  lab.occupy(0, 1, 0);
  lab.occupy(0, 1, 1);
  EXPECT_EQ(lab.attempts_of(0, 1, hops, path), 3.0);
  EXPECT_EQ(hops, HopArray{2});
  const VectorHead& v = lab.wave_vector(0, 1, 0);
  EXPECT_EQ(lab.wave_order(v), (std::vector<uint32_t>{2, 1, 0, 3}));
  EXPECT_EQ(lab.attempts_of(0, 1, hops, path), 1.0);

  // A new batch: counters back to 0, the order kept.
  reset_methods(lab.set, lab.setup());
  EXPECT_EQ(lab.route_order(0, 2), (std::vector<int32_t>{1, 0}));
  expect_probs(lab.route_probabilities(0, 2), {0, 0});
  EXPECT_EQ(lab.wave_probability(v, 2), 0.0);
}

TEST(DeterministicAutomaton, WithPriorityGroupsAPathNeverOvertakesAnotherGroup) {
  for (bool priority : {true, false}) {
    GroupedPaths lab;
    ASSERT_TRUE(lab.start(kDeterministicLA, kDeterministicLA, 0.1, 0.2, priority).ok());
    lab.occupy(1, 5, 0);
    lab.occupy(2, 5, 0);
    HopArray hops;
    int32_t path;
    EXPECT_EQ(lab.attempts_of(0, 5, hops, path), 3.0);
    EXPECT_EQ(lab.attempts_of(0, 5, hops, path), priority ? 3.0 : 1.0);
    EXPECT_EQ(path, 2);
    EXPECT_EQ(lab.route_order(0, 5), priority ? (std::vector<int32_t>{0, 1, 2}) : (std::vector<int32_t>{2, 1, 0}));
  }
}

TEST(MixedMethods, TheAutomatonHalfLearnsAndTheOtherHalfKeepsItsOrder) {
  HopArray hops;
  int32_t path;
  {  // First-fit routing, learning wavelengths: paths in list order.
    TwoPaths lab;
    ASSERT_TRUE(lab.start(kFirstFit, kFastLA).ok());
    lab.occupy(0, 2, 0);
    EXPECT_EQ(lab.attempts_of(0, 2, hops, path), 2.0);
    EXPECT_EQ(path, 1);
    EXPECT_EQ(lab.route_order(0, 2), (std::vector<int32_t>{0, 1}));
    EXPECT_GT(lab.wave_probability(lab.wave_vector(0, 2, 1), 0), 0.99);
  }
  {  // Learning routing, first-fit wavelengths.
    TwoPaths lab;
    lab.fibre(0, 2, 4);
    ASSERT_TRUE(lab.start(kFastLA, kFirstFit).ok());
    lab.occupy(0, 2, 0);
    for (int i = 0; i < 10; ++i) {
      ASSERT_TRUE(lab.call(0, 2, hops, path));
      EXPECT_EQ(hops, path == 0 ? HopArray{1} : (HopArray{0, 0}));
    }
  }
  // Counters reorder the route vector; the assignment half must still get
  // the path of the action at the position, whichever half reads it.
  for (auto [routing, wa] : std::vector<std::pair<int16_t, int16_t>>{
           {kDeterministicLA, kRandom}, {kDeterministicLA, kFastLA}, {kFastLA, kDeterministicLA}}) {
    TwoPaths lab;
    ASSERT_TRUE(lab.start(routing, wa).ok());
    lab.occupy(0, 2, 0);
    for (int i = 0; i < 10; ++i) {
      ASSERT_TRUE(lab.call(0, 2, hops, path));
      EXPECT_EQ(path, 1) << routing << " " << wa;
      EXPECT_EQ(hops, (HopArray{0, 0}));
    }
  }
}

// The exhaustive list of pair (s, d): the wavelengths of every combination
// in position order.
std::vector<HopArray> combinations(Lab& lab, uint32_t s, uint32_t d) {
  const AutomataState& st = lab.automata();
  const ComboList& list = st.lists[lab.net.at(s, d)];
  std::vector<HopArray> out;
  for (uint64_t i = 0; i < list.n; ++i) {
    const Combination& c = st.combos[list.first + i];
    const uint32_t* w = st.combo_wavelengths.data() + c.wavelengths;
    out.emplace_back(w, w + lab.pt.paths[c.path].hops);
  }
  return out;
}

TEST(ExhaustiveAutomaton, ListsEveryCombinationFirstSegmentSlowest) {
  // 0 -> 1 -> 2 -> 3, node 1 converts: segments {0 -> 1} (2 wavelengths)
  // and {1 -> 2 -> 3} (the smaller of 3 and 5).
  Lab lab(4, {1});
  lab.fibre(0, 1, 2);
  lab.fibre(1, 2, 3);
  lab.fibre(2, 3, 5);
  lab.paths(0, 3, {{1, 2, 3}});
  lab.paths(0, 1, {{1}});
  ASSERT_TRUE(lab.start(kExhaustiveLA, kExhaustiveLA).ok());
  EXPECT_EQ(combinations(lab, 0, 3),
            (std::vector<HopArray>{{0, 0, 0}, {0, 1, 1}, {0, 2, 2}, {1, 0, 0}, {1, 1, 1}, {1, 2, 2}}));
  EXPECT_EQ(combinations(lab, 0, 1), (std::vector<HopArray>{{0}, {1}}));
  EXPECT_DOUBLE_EQ(lab.automata().lists[lab.net.at(0, 3)].share, 0.2 / 5);
}

TEST(ExhaustiveAutomaton, EachCombinationIsTriedAtMostOncePerCall) {
  Lab lab(2);
  lab.fibre(0, 1, 4);
  lab.paths(0, 1, {{1}});
  ASSERT_TRUE(lab.start(kExhaustiveLA, kExhaustiveLA).ok());
  for (uint32_t w = 0; w < 4; ++w) lab.occupy(0, 1, w);
  HopArray hops;
  int32_t path;
  EXPECT_EQ(lab.attempts_of(0, 1, hops, path), 4.0);
  EXPECT_EQ(path, -1);
  const ComboList& list = lab.automata().lists[lab.net.at(0, 1)];
  const double* p = lab.automata().combo_probability.data() + list.first;
  EXPECT_NEAR(p[0] + p[1] + p[2] + p[3], 1.0, 1e-12);

  lab.links.reset();
  lab.occupy(0, 1, 2);
  for (int i = 0; i < 20; ++i) {
    EXPECT_LE(lab.attempts_of(0, 1, hops, path), 2.0);
    EXPECT_NE(hops, HopArray{2});
  }
}

TEST(ExhaustiveAutomaton, ZeroProbabilitiesAndSingleActionsNeitherHangNorPoisonTheList) {
  Lab lab(3);
  lab.fibre(0, 1, 4);
  lab.fibre(0, 2, 1);
  lab.paths(0, 1, {{1}});
  lab.paths(0, 2, {{2}});
  ASSERT_TRUE(lab.start(kExhaustiveLA, kExhaustiveLA, 0.1, 0.0).ok());
  AutomataState& st = lab.automata();
  const ComboList& list = st.lists[lab.net.at(0, 1)];
  std::fill_n(st.combo_probability.begin() + list.first, 4, 0.0);
  lab.occupy(0, 1, 0);
  HopArray hops;
  int32_t path;
  // Every draw falls past the end: the first remaining combination is taken,
  // and the failed one went to the back.
  ASSERT_TRUE(lab.call(0, 1, hops, path));
  EXPECT_EQ(hops, HopArray{3});

  lab.occupy(0, 2, 0);
  EXPECT_FALSE(lab.call(0, 2, hops, path));
  EXPECT_EQ(st.combo_probability[st.lists[lab.net.at(0, 2)].first], 1.0);
}

TEST(Guards, ExhaustiveListsThatCannotBeHeldAreRefusedBeforeAllocating) {
  // Four converting hops of 4096 wavelengths: 2^48 combinations.
  Lab lab(5, {1, 2, 3});
  for (uint32_t u = 0; u < 4; ++u) lab.fibre(u, u + 1, 4096);
  lab.paths(0, 4, {{1, 2, 3, 4}});
  Status s = lab.start(kExhaustiveLA, kExhaustiveLA);
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.message,
            "lumtra: command line: -xla: the exhaustive action list from node 1 to node 5 (281474976710656 actions) "
            "would take 12582912.0 GiB, more than the 1.0 GiB this run may use\n");
  EXPECT_TRUE(lab.automata().combos.empty());

  // So many that the count itself does not fit 64 bits.
  Lab huge(20, std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});
  Seq chain;
  for (uint32_t u = 0; u < 19; ++u) {
    huge.fibre(u, u + 1, 65535);
    chain.push_back(u + 1);
  }
  huge.paths(0, 19, {chain});
  s = huge.start(kExhaustiveLA, kExhaustiveLA);
  EXPECT_NE(s.message.find("(more than 18446744073709551615 actions) would take more than 16 EiB"), std::string::npos)
      << s.message;
}

TEST(Guards, WavelengthVectorsThatCannotBeHeldAreRefused) {
  // Ten paths over one fibre of 2^31 wavelengths.
  Lab lab(2);
  lab.allocate_channels = false;
  lab.fibre(0, 1, 1u << 31);
  lab.paths(0, 1, std::vector<Seq>(10, Seq{1}));
  Status s = lab.start(kFastLA, kFirstFit);
  EXPECT_EQ(s.message,
            "lumtra: command line: -la: the learning-automata vectors would hold 21474836480 wavelength actions, "
            "more than the 4294967295 a run can number\n");
  EXPECT_TRUE(lab.automata().wave_wavelength.empty());
}

TEST(Guards, PriorityRoutingNeedsTheGroupsOfEveryPair) {
  Lab lab(2);
  lab.fibre(0, 1, 1);
  lab.paths(0, 1, {{1}});
  Status s = lab.start(kFastLA, kFastLA, 0.1, 0.2, true);
  EXPECT_EQ(s.message, "lumtra: command line: -pr: the paths from node 1 to node 2 have no priority groups\n");
}

}  // namespace
}  // namespace lumtra
