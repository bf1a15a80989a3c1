// Exhaustive learning automata (-xla): one automaton per pair whose actions
// are every combination of a path and one wavelength per segment of it. It
// routes and assigns at once: a combination is drawn by roulette wheel,
// checked hop by hop, rewarded when it fits and penalised and set aside for
// the rest of the call when it does not.
#include <algorithm>
#include <string>

#include "automata/shared.h"

namespace lumtra {

namespace {

// Segment wavelength bounds of a path, one per segment in path order.
void segment_bounds(const Hop* hops, uint32_t hop_count, std::vector<uint32_t>& bounds) {
  bounds.clear();
  for (uint32_t k = 0; k < hop_count; ++k)
    if (k == 0 || hops[k - 1].ends_segment) bounds.push_back(hops[k].bound);
}

// Number of combinations of a path: the product of its segment bounds.
uint64_t combinations_of(const std::vector<uint32_t>& bounds) {
  uint64_t n = 1;
  for (uint32_t b : bounds) n = saturating_mul(n, b);
  return n;
}

// Bytes charged for one combination: its probability, its record, a
// reference's worth of room, and its wavelengths (an upper bound, which the
// figures of refusals rest on).
uint64_t combination_bytes(uint32_t hops) {
  return sizeof(double) + sizeof(uint64_t) + sizeof(Combination) + uint64_t(hops) * sizeof(uint32_t);
}

std::string pair_name(uint32_t s, uint32_t d) {
  return "from node " + std::to_string(s + 1) + " to node " + std::to_string(d + 1);
}

std::string count_text(uint64_t n) {
  return n == UINT64_MAX ? "more than " + std::to_string(n) : std::to_string(n);
}

// Sizes every pair's list before anything is allocated; refuses a run whose
// lists could not be held, and takes their memory from the budget.
Status check_list_sizes(const PathTable& pt, MemoryBudget& budget, uint64_t& total_actions,
                        uint64_t& total_wavelengths) {
  const uint32_t t = pt.total_nodes;
  std::vector<uint32_t> bounds;
  uint64_t total_bytes = 0, largest = 0;
  uint32_t largest_s = 0, largest_d = 0;
  total_actions = total_wavelengths = 0;
  for (uint32_t s = 0; s < t; ++s) {
    for (uint32_t d = 0; d < t; ++d) {
      const PathList& list = pt.list(s, d);
      uint64_t actions = 0, bytes = 0;
      for (uint32_t i = 0; i < list.count; ++i) {
        const Path& p = pt.paths[list.first + i];
        segment_bounds(pt.path_hops(p), p.hops, bounds);
        const uint64_t n = combinations_of(bounds);
        actions = saturating_add(actions, n);
        bytes = saturating_add(bytes, saturating_mul(n, combination_bytes(p.hops)));
        total_wavelengths = saturating_add(total_wavelengths, saturating_mul(n, p.hops));
      }
      if (bytes > budget.left())
        return budget.check(bytes, "command line", "-xla",
                            "the exhaustive action list " + pair_name(s, d) + " (" + count_text(actions) + " actions)");
      if (actions > largest) {
        largest = actions;
        largest_s = s;
        largest_d = d;
      }
      total_actions = saturating_add(total_actions, actions);
      total_bytes = saturating_add(total_bytes, bytes);
    }
  }
  return budget.admit(total_bytes, "command line", "-xla",
                      "the exhaustive action lists (" + count_text(total_actions) + " actions in all; the largest, " +
                          pair_name(largest_s, largest_d) + ", holds " + std::to_string(largest) + ")");
}

// Roulette wheel over the first r positions with mass `mass`. When the walk
// runs past the last position (the probabilities left sum to less than the
// draw), the mass shrinks to the draw and the wheel turns again; the mass
// keeps that value for the rest of the call. Remaining probabilities that
// sum to nothing give the first position.
uint64_t roulette(const double* p, uint64_t r, double& mass, Lehmer& stream) {
  for (;;) {
    const double t = stream.uniform() * mass;
    double c = 0.0;
    for (uint64_t i = 0; i < r; ++i) {
      c += p[i];
      if (c > t) return i;
    }
    if (!(c > 0.0)) return 0;
    mass = t;
  }
}

}  // namespace

Status build_exhaustive_lists(AutomataState& st, const PathTable& pt, MemoryBudget& budget) {
  uint64_t total_actions = 0, total_wavelengths = 0;
  if (Status s = check_list_sizes(pt, budget, total_actions, total_wavelengths); !s.ok()) return s;

  st.lists.assign(pt.lists.size(), ComboList{});
  st.combos.clear();
  st.combos.reserve(total_actions);
  st.combo_wavelengths.clear();
  st.combo_wavelengths.reserve(total_wavelengths);
  std::vector<uint32_t> bounds, digits;
  for (size_t pair = 0; pair < pt.lists.size(); ++pair) {
    const PathList& plist = pt.lists[pair];
    ComboList& list = st.lists[pair];
    list.first = st.combos.size();
    for (uint32_t i = 0; i < plist.count; ++i) {
      const uint32_t path = plist.first + i;
      const Path& p = pt.paths[path];
      const Hop* hops = pt.path_hops(p);
      segment_bounds(hops, p.hops, bounds);
      const uint64_t n = combinations_of(bounds);
      // Odometer over the segments' wavelengths, the last segment fastest.
      digits.assign(bounds.size(), 0);
      for (uint64_t c = 0; c < n; ++c) {
        st.combos.push_back(Combination{st.combo_wavelengths.size(), path});
        for (uint32_t k = 0, seg = 0; k < p.hops; ++k) {
          st.combo_wavelengths.push_back(digits[seg]);
          if (hops[k].ends_segment) ++seg;
        }
        for (size_t seg = digits.size(); seg-- > 0;) {
          if (++digits[seg] < bounds[seg]) break;
          digits[seg] = 0;
        }
      }
    }
    list.n = st.combos.size() - list.first;
    list.share = penalty_share(st.rates.epsilon, static_cast<double>(list.n));
  }
  st.combo_probability.assign(st.combos.size(), 0.0);
  reset_exhaustive(st);
  return Status::proceed();
}

void reset_exhaustive(AutomataState& st) {
  for (const ComboList& list : st.lists)
    if (list.n) list_uniform_init(st.combo_probability.data() + list.first, list.n);
}

bool exhaustive_assign(RwaContext& c, const RoutingHalf&, AutomataState& st, uint32_t s, uint32_t d, HopArray& hops,
                       uint32_t& path, uint32_t slots) {
  const ComboList& list = st.lists[c.paths->pair_index(s, d)];
  double* p = st.combo_probability.data() + list.first;
  Combination* combos = st.combos.data() + list.first;
  const LearningRates& rates = st.rates;
  c.attempts = 0;
  double mass = 1.0;
  for (uint64_t r = list.n; r > 0; --r) {
    if (!c.count_attempt()) break;
    const uint64_t k = roulette(p, r, mass, c.stream);
    const Combination& combo = combos[k];
    const Path& chosen = c.paths->paths[combo.path];
    const Hop* h = c.paths->path_hops(chosen);
    const uint32_t* w = st.combo_wavelengths.data() + combo.wavelengths;
    // Every hop is checked: which one fails first is a coin toss for the
    // processor, and the answer is the same.
    bool fits = true;
    for (uint32_t j = 0; j < chosen.hops; ++j) fits &= fits_hop(*c.links, h[j], w[j], slots);
    if (fits) {
      list_reward(p, list.n, rates, k);
      path = combo.path;
      hops.assign(w, w + chosen.hops);
      return true;
    }
    list_penalty(p, list.n, list.share, rates, k);
    std::swap(p[k], p[r - 1]);
    std::swap(combos[k], combos[r - 1]);
  }
  hops.clear();
  return false;
}

}  // namespace lumtra
