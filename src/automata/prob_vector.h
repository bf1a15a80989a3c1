// Probability vectors of the learning automata and the operations on them.
//
// A vector is a head (count, penalty share, the mass and count of the actions
// still available in the request in progress) over a run of action entries
// stored in one of the run's arenas. Available actions always occupy the
// front positions: removing a failed action swaps it behind them, so the
// roulette wheel never needs an availability flag. Entries carry whatever
// travels with them when they are swapped (path, segment vectors, wavelength)
// together with their probability, which the deterministic automaton uses as
// a success counter.
//
// The operations take the entries as a pointer to records with a
// `probability` member (route actions), or as a WaveRun, whose
// probabilities lie in an array of their own so that the whole-vector
// reward and penalty run over plain doubles, two at a time.
//
// Every operation is one pass over the entries, in place, without
// allocation.
#pragma once

#include <cstdint>
#include <utility>

#include "base/lehmer.h"

namespace lumtra {

// The learning constants of a run: reward step alpha, penalty step epsilon
// and their complements.
struct LearningRates {
  double alpha = 0.0;
  double one_minus_alpha = 1.0;
  double epsilon = 0.0;
  double one_minus_epsilon = 1.0;
};

struct VectorHead {
  uint32_t first = 0;      // offset of the first entry in its arena
  uint32_t n = 0;          // number of actions
  uint32_t available = 0;  // actions still candidates in this request (positions 0 .. available-1)
  double share = -1.0;     // penalty share epsilon / (size - 1), -1 below two actions
  double mass = 0.0;       // total probability of the available actions
};

// Penalty share for `m` actions; -1 when there are fewer than two.
inline double penalty_share(double epsilon, double m) { return m >= 2.0 ? epsilon / (m - 1.0) : -1.0; }

inline void set_share(VectorHead& v, const LearningRates& r) { v.share = penalty_share(r.epsilon, v.n); }
inline void set_group_share(VectorHead& v, const LearningRates& r, uint32_t m) {
  v.share = penalty_share(r.epsilon, m);
}

// Wavelength actions: probabilities and wavelengths side by side, entry i
// at index i of both.
struct WaveRun {
  double* probability;
  uint32_t* wavelength;
};

template <class A>
double& probability(A* a, uint32_t i) {
  return a[i].probability;
}
inline double& probability(const WaveRun& a, uint32_t i) { return a.probability[i]; }

template <class A>
void swap_entries(A* a, uint32_t i, uint32_t j) {
  std::swap(a[i], a[j]);
}
inline void swap_entries(const WaveRun& a, uint32_t i, uint32_t j) {
  std::swap(a.probability[i], a.probability[j]);
  std::swap(a.wavelength[i], a.wavelength[j]);
}

inline void start_request(VectorHead& v) {
  v.mass = 1.0;
  v.available = v.n;
}

// True when `path` lies in the priority group [a, b).
inline bool in_group(int32_t path, uint32_t a, uint32_t b) {
  return path >= 0 && static_cast<uint32_t>(path) >= a && static_cast<uint32_t>(path) < b;
}

template <class A>
void uniform_init(A a, const VectorHead& v) {
  if (v.n == 0) return;
  const double p = 1.0 / v.n;
  for (uint32_t i = 0; i < v.n; ++i) probability(a, i) = p;
}

// One distribution per priority group: every action of group g gets
// 1 / (size of g); actions behind the last boundary are left alone.
template <class A>
void group_uniform_init(A* a, const VectorHead& v, const uint32_t* boundaries, uint32_t boundary_count) {
  if (boundary_count < 2) return;
  const uint32_t last = boundaries[boundary_count - 1];
  for (uint32_t i = 0; i < v.n; ++i) {
    const int32_t path = a[i].path;
    if (!in_group(path, 0, last)) continue;
    uint32_t g = 0;
    while (static_cast<uint32_t>(path) >= boundaries[g + 1]) ++g;
    a[i].probability = 1.0 / (boundaries[g + 1] - boundaries[g]);
  }
}

template <class A>
void clear(A a, const VectorHead& v) {
  for (uint32_t i = 0; i < v.n; ++i) probability(a, i) = 0.0;
}

// Linear reward: every action, removed ones included, shrinks by 1 - alpha
// and action k gains alpha.
template <class A>
void reward(A a, const VectorHead& v, const LearningRates& r, uint32_t k) {
  const double keep = r.one_minus_alpha;
  for (uint32_t i = 0; i < v.n; ++i) probability(a, i) *= keep;
  probability(a, k) += r.alpha;
}

// Linear penalty: action k keeps 1 - epsilon of its probability and the
// other actions share what it loses. Nothing happens below two actions.
template <class A>
void penalty(A a, const VectorHead& v, const LearningRates& r, uint32_t k) {
  if (v.n < 2) return;
  const double x = v.share, keep = r.one_minus_epsilon;
  for (uint32_t i = 0; i < v.n; ++i) probability(a, i) = x + keep * probability(a, i);
  probability(a, k) -= x;
}

// Roulette wheel over the available actions: the first position whose
// cumulative probability exceeds u * mass. Rounding can leave the total a
// little short of the mass; the walk then stops at the last available action.
template <class A>
uint32_t select(A a, const VectorHead& v, Lehmer& stream) {
  const double t = stream.uniform() * v.mass;
  const uint32_t last = v.available - 1;
  uint32_t i = 0;
  double c = probability(a, 0);
  while (c <= t && i < last) c += probability(a, ++i);
  return i;
}

// Takes the failed action k (already penalised) out of this request.
template <class A>
void remove(A a, VectorHead& v, const LearningRates& r, uint32_t k) {
  --v.available;
  v.mass = v.share * v.available + v.mass * r.one_minus_epsilon - probability(a, k);
  swap_entries(a, k, v.available);
}

// The group forms act only on the actions whose path lies in [a, b).
template <class A>
void group_reward(A* act, const VectorHead& v, const LearningRates& r, uint32_t k, uint32_t a, uint32_t b) {
  for (uint32_t i = 0; i < v.n; ++i)
    if (in_group(act[i].path, a, b)) act[i].probability *= r.one_minus_alpha;
  act[k].probability += r.alpha;
}

template <class A>
void group_penalty(A* act, const VectorHead& v, const LearningRates& r, uint32_t k, uint32_t a, uint32_t b) {
  if (b - a <= 1) return;
  const double x = v.share;
  for (uint32_t i = 0; i < v.n; ++i)
    if (in_group(act[i].path, a, b)) act[i].probability = x + r.one_minus_epsilon * act[i].probability;
  act[k].probability -= x;
}

// Roulette wheel over the available actions of group [a, b). Stops at the
// group's last available action whatever rounding did to the mass; returns
// `available` when the group has no available action.
template <class A>
uint32_t group_select(A* act, const VectorHead& v, Lehmer& stream, uint32_t a, uint32_t b) {
  const double t = stream.uniform() * v.mass;
  uint32_t chosen = v.available;
  double c = 0.0;
  for (uint32_t i = 0; i < v.available; ++i) {
    if (!in_group(act[i].path, a, b)) continue;
    chosen = i;
    c += act[i].probability;
    if (c > t) break;
  }
  return chosen;
}

// As remove, with the mass rebuilt for a group; the caller passes `m`, one
// less than the group's actions still available after this removal (it may
// be -1 when the group is exhausted; the mass is then not used again).
template <class A>
void group_remove(A* act, VectorHead& v, const LearningRates& r, uint32_t k, double m) {
  v.mass = v.share * m + v.mass * r.one_minus_epsilon - act[k].probability;
  --v.available;
  std::swap(act[k], act[v.available]);
}

// Sum of the probabilities of the available actions whose path lies in [a, b).
template <class A>
double group_mass(const A* act, const VectorHead& v, uint32_t a, uint32_t b) {
  double m = 0.0;
  for (uint32_t i = 0; i < v.available; ++i)
    if (in_group(act[i].path, a, b)) m += act[i].probability;
  return m;
}

// Deterministic automaton: one more success for the entry at k, which then
// moves up in front of the entries that now have fewer successes; among
// equal counts the earlier success keeps precedence. `same(k, j)` may stop
// the climb at the entry at position j, which the moving one must never
// pass. Returns the entry's new position.
template <class A, class Same>
uint32_t count_success_where(A a, uint32_t k, Same same) {
  const double x = probability(a, k) + 1.0;
  probability(a, k) = x;
  uint32_t e = k;  // one past the position where the scan stops
  while (e > 0 && probability(a, e - 1) < x && same(k, e - 1)) --e;
  swap_entries(a, e, k);
  return e;
}

template <class A>
uint32_t count_success(A a, uint32_t k) {
  return count_success_where(a, k, [](uint32_t, uint32_t) { return true; });
}

// Exhaustive lists keep their probabilities in a plain array. Reward and
// penalty act on the whole list; a list of one action is left as it is by a
// penalty (its share is undefined).
inline void list_uniform_init(double* p, uint64_t n) {
  const double q = 1.0 / static_cast<double>(n);
  for (uint64_t i = 0; i < n; ++i) p[i] = q;
}

inline void list_reward(double* p, uint64_t n, const LearningRates& r, uint64_t k) {
  for (uint64_t i = 0; i < n; ++i) p[i] *= r.one_minus_alpha;
  p[k] += r.alpha;
}

inline void list_penalty(double* p, uint64_t n, double share, const LearningRates& r, uint64_t k) {
  if (n < 2) return;
  for (uint64_t i = 0; i < n; ++i) p[i] = r.one_minus_epsilon * p[i] + share;
  p[k] -= share;
}

}  // namespace lumtra
