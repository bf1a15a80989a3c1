#include "automata/prob_vector.h"

#include <gtest/gtest.h>

#include <vector>

#include "automata/automata.h"

namespace lumtra {
namespace {

LearningRates rates(double alpha, double epsilon) { return {alpha, 1.0 - alpha, epsilon, 1.0 - epsilon}; }

// A route vector over paths with the given indices and probabilities.
struct Vec {
  std::vector<RouteAction> a;
  VectorHead v;
  Vec(std::vector<double> p, const LearningRates& r, std::vector<int32_t> paths = {}) {
    for (size_t i = 0; i < p.size(); ++i) {
      RouteAction x;
      x.path = paths.empty() ? int32_t(i) : paths[i];
      x.probability = p[i];
      a.push_back(x);
    }
    v.n = uint32_t(p.size());
    set_share(v, r);
    start_request(v);
  }
  std::vector<double> probs() const {
    std::vector<double> p;
    for (auto& x : a) p.push_back(x.probability);
    return p;
  }
  std::vector<int32_t> order() const {
    std::vector<int32_t> o;
    for (auto& x : a) o.push_back(x.path);
    return o;
  }
  double available_sum() const {
    double s = 0;
    for (uint32_t i = 0; i < v.available; ++i) s += a[i].probability;
    return s;
  }
};

void expect_probs(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-12) << "position " << i;
}

// A stream whose next draw is known.
double next_draw(Lehmer s) { return s.uniform(); }

TEST(ProbabilityVector, RewardAndPenaltyMoveProbabilityLinearly) {
  const LearningRates r = rates(0.1, 0.1);
  Vec two({0.5, 0.5}, r);
  reward(two.a.data(), two.v, r, 0);
  expect_probs(two.probs(), {0.55, 0.45});

  Vec three({0.5, 0.3, 0.2}, r);
  penalty(three.a.data(), three.v, r, 0);
  expect_probs(three.probs(), {0.45, 0.32, 0.23});

  // One request on (0.5, 0.5): action 0 fails (epsilon 0.2), action 1 succeeds (alpha 0.1).
  const LearningRates r2 = rates(0.1, 0.2);
  Vec req({0.5, 0.5}, r2);
  penalty(req.a.data(), req.v, r2, 0);
  expect_probs(req.probs(), {0.4, 0.6});
  remove(req.a.data(), req.v, r2, 0);
  EXPECT_EQ(req.order(), (std::vector<int32_t>{1, 0}));
  reward(req.a.data(), req.v, r2, 0);
  expect_probs(req.probs(), {0.64, 0.36});
}

TEST(ProbabilityVector, ASingleActionIsNeverPenalisedAndAlwaysSelected) {
  const LearningRates r = rates(0.1, 0.3);
  Vec one({1.0}, r);
  EXPECT_EQ(one.v.share, -1.0);
  penalty(one.a.data(), one.v, r, 0);
  expect_probs(one.probs(), {1.0});
  Lehmer s{12345};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(select(one.a.data(), one.v, s), 0u);
}

TEST(ProbabilityVector, RemovalKeepsTheMassOfTheActionsLeft) {
  const LearningRates r = rates(0.1, 0.25);
  Vec v({0.1, 0.4, 0.3, 0.2}, r);
  for (uint32_t k : {1u, 0u, 1u}) {
    penalty(v.a.data(), v.v, r, k);
    remove(v.a.data(), v.v, r, k);
    EXPECT_NEAR(v.v.mass, v.available_sum(), 1e-12);
  }
  EXPECT_EQ(v.v.available, 1u);
  double total = 0;
  for (double p : v.probs()) total += p;
  EXPECT_NEAR(total, 1.0, 1e-12);
}

TEST(ProbabilityVector, SelectionIsStrictAndNeverLeavesTheAvailableActions) {
  const LearningRates r = rates(0.1, 0.1);
  Lehmer s{987654};
  const double u = next_draw(s);
  Vec exact({u, 1.0 - u}, r);
  EXPECT_EQ(select(exact.a.data(), exact.v, s), 1u);  // u * mass == p_0 exactly

  // A mass above the true total (rounding) stops at the last available action.
  Vec over({0.2, 0.2, 0.6}, r);
  over.v.available = 2;
  over.v.mass = 1e9;
  EXPECT_EQ(select(over.a.data(), over.v, s), 1u);

  // The same for a group: position 2 is outside the group [0, 2).
  Vec group({0.5, 0.5, 0.0, 0.3}, r, {1, 0, 5, 2});
  group.v.mass = 1e9;
  EXPECT_EQ(group_select(group.a.data(), group.v, s, 0, 2), 1u);
  group.v.available = 1;
  EXPECT_EQ(group_select(group.a.data(), group.v, s, 2, 3), 1u);  // no candidate of group [2, 3) left
}

TEST(ProbabilityVector, GroupOperationsTouchOnlyTheirGroup) {
  const LearningRates r = rates(0.1, 0.2);
  // Paths 0 and 1 form a group, path 2 another; path 3 lies behind the last boundary.
  const uint32_t bounds[] = {0, 2, 3};
  Vec v({0.0, 0.0, 0.0, 0.7}, r, {2, 0, 1, 3});
  group_uniform_init(v.a.data(), v.v, bounds, 3);
  expect_probs(v.probs(), {1.0, 0.5, 0.5, 0.7});

  set_group_share(v.v, r, 2);
  group_penalty(v.a.data(), v.v, r, 1, 0, 2);
  expect_probs(v.probs(), {1.0, 0.4, 0.6, 0.7});
  group_reward(v.a.data(), v.v, r, 2, 0, 2);
  expect_probs(v.probs(), {1.0, 0.36, 0.64, 0.7});

  set_group_share(v.v, r, 1);
  EXPECT_EQ(v.v.share, -1.0);
  group_penalty(v.a.data(), v.v, r, 0, 2, 3);  // a group of one path
  expect_probs(v.probs(), {1.0, 0.36, 0.64, 0.7});

  // Group removal: mass = share * m + mass * (1 - epsilon) - p_k, then the swap.
  Vec w({0.5, 0.3, 0.2}, r);
  set_group_share(w.v, r, 3);
  group_penalty(w.a.data(), w.v, r, 0, 0, 3);
  group_remove(w.a.data(), w.v, r, 0, 1.0);
  EXPECT_NEAR(w.v.mass, 0.1 * 1 + 1.0 * 0.8 - 0.4, 1e-12);
  EXPECT_EQ(w.v.available, 2u);
  EXPECT_EQ(w.order(), (std::vector<int32_t>{2, 1, 0}));
}

TEST(ProbabilityVector, CountSuccessKeepsCountersInOrderWithEarlierSuccessesFirst) {
  const LearningRates r = rates(0, 0);
  Vec v({3, 2, 2, 2}, r);
  EXPECT_EQ(count_success(v.a.data(), 3), 1u);
  expect_probs(v.probs(), {3, 3, 2, 2});
  EXPECT_EQ(v.order(), (std::vector<int32_t>{0, 3, 2, 1}));
  // Reaching the count of the entries above: the earlier successes stay in front.
  EXPECT_EQ(count_success(v.a.data(), 2), 2u);
  EXPECT_EQ(v.order(), (std::vector<int32_t>{0, 3, 2, 1}));
  EXPECT_EQ(count_success(v.a.data(), 1), 0u);
  EXPECT_EQ(v.order(), (std::vector<int32_t>{3, 0, 2, 1}));
  expect_probs(v.probs(), {4, 3, 3, 2});

  // Within groups: entry at position 2 may not pass position 0's path.
  Vec g({1, 0, 0}, r, {0, 1, 2});
  auto same = [&g](uint32_t i, uint32_t j) { return (g.a[i].path < 2) == (g.a[j].path < 2); };
  EXPECT_EQ(count_success_where(g.a.data(), 2, same), 2u);
  EXPECT_EQ(count_success_where(g.a.data(), 2, same), 2u);
  EXPECT_EQ(g.order(), (std::vector<int32_t>{0, 1, 2}));
  expect_probs(g.probs(), {1, 0, 2});
}

TEST(ExhaustiveList, RewardPenaltyAndTheSingleActionList) {
  const LearningRates r = rates(0.1, 0.3);
  std::vector<double> p(4);
  list_uniform_init(p.data(), 4);
  list_penalty(p.data(), 4, penalty_share(0.3, 4), r, 2);
  expect_probs(p, {0.275, 0.275, 0.175, 0.275});
  list_reward(p.data(), 4, r, 0);
  expect_probs(p, {0.3475, 0.2475, 0.1575, 0.2475});

  std::vector<double> one(1);
  list_uniform_init(one.data(), 1);
  list_penalty(one.data(), 1, penalty_share(0.3, 1), r, 0);
  expect_probs(one, {1.0});
}

}  // namespace
}  // namespace lumtra
