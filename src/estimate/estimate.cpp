#include "estimate/estimate.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace lumtra {

double erlang_b(uint32_t servers, double erlangs) {
  if (!(erlangs > 0.0)) return servers == 0 ? 1.0 : 0.0;
  double b = 1.0;
  for (uint32_t n = 1; n <= servers; ++n) b = erlangs * b / (double(n) + erlangs * b);
  return b;
}

bool converts_everywhere(const PathTable& paths) {
  for (const Path& p : paths.paths) {
    const Hop* hops = paths.path_hops(p);
    for (uint32_t h = 0; h < p.hops; ++h)
      if (!hops[h].ends_segment) return false;
  }
  return true;
}

uint32_t widest_segment(const PathTable& paths, uint32_t& link) {
  uint32_t widest = 0;
  for (const Path& p : paths.paths) {
    const Hop* hops = paths.path_hops(p);
    for (uint32_t h = 0; h < p.hops; ++h)
      if (hops[h].bound > widest) {
        widest = hops[h].bound;
        link = hops[h].link;
      }
  }
  return widest;
}

namespace {

// Up to this many wavelengths on a segment, the chance that the fibres of
// a segment share no free wavelength is summed by inclusion and exclusion
// in long double (the alternating terms stay below 2^32 times the result's
// scale); wider segments chain hypergeometric distributions instead.
constexpr uint32_t kAlternatingWidth = 32;
// Up to this many, 2^16 times double's precision is still below 1e-11,
// and the sums are kept in double, which is several times faster.
constexpr uint32_t kDoubleWidth = 16;

struct Segment {
  uint32_t first = 0;  // index of its first fibre in Model::hop_fibres
  uint32_t count = 0;
  uint32_t width = 0;  // wavelengths usable on all its fibres (the smallest capacity)
};

struct Route {
  uint32_t first_segment = 0;
  uint32_t segments = 0;
  double rate = 0.0;      // calls per time unit offered to it, this iteration
  double blocking = 0.0;  // this iteration
};

// A pair with traffic: its routes in the order tried, in groups whose
// members are tried in a random order (groups of one for a fixed order).
struct Pair {
  uint32_t source = 0, destination = 0;
  double rate = 0.0;
  uint32_t first_route = 0, routes = 0;
  std::vector<uint32_t> group_ends;  // route counts from first_route
};

struct Fibre {
  uint32_t link = 0;
  uint32_t capacity = 0;
  std::vector<double> free;         // distribution of the free wavelengths, 0 .. capacity
  std::vector<double> arrivals;     // calls per time unit it accepts, per state
  double blocking = 0.0;            // full conversion: E(C, rho)
  double thinned = 0.0;             // full conversion: rho, calls per time unit
  double offered = 0.0;             // calls per time unit of the paths through it
  double carried = 0.0;             // calls per time unit it carries, last iteration
};

constexpr uint32_t kNoFibre = 0xffffffffu;

// How a hop enters the chance that a segment has a wavelength free on all
// its fibres. The first hop of a segment: its fibre's free set, a uniform
// random subset of its wavelengths. A later hop: its fibre's free set as
// seen by the calls that come from the hop before it, whose wavelengths
// are busy on both fibres.
//
// When the two fibres have as many wavelengths W (`paired`), they are
// described together. With x and y free, A = W - x and B = W - y busy, n
// of the busy wavelengths are held by calls that continue from one fibre
// to the other with weight rho_c^n rho_a^(A - n) rho_b^(B - n) /
// (n! (A - n)! (B - n)!), rho_c being the Erlangs of the continuing calls
// and rho_a, rho_b those of the other calls of each fibre (as in a loss
// network of the two fibres); the free counts are
// distributed as u(x) v(y) K(x, y), K the sum of these weights over n,
// with u and v such that the margins are the fibres' own distributions.
// The other calls' wavelengths are uniform random subsets of the W - n
// not held by continuing calls, independent from one fibre to the other,
// so j given wavelengths are free on both with chance
// C(x, j) C(y, j) / (C(W - n, j) C(W, j)). Longer segments chain these
// conditionals hop by hop.
//
// Otherwise, of the fibre's busy wavelengths, `share` (the share of its
// carried calls that come from the previous fibre) are taken to be held by
// continuing calls; none when the previous fibre has more wavelengths.
struct Factor {
  uint32_t fibre = 0;
  uint32_t previous = kNoFibre;
  bool paired = false;
  double share = 0.0;
  double carried = 0.0;  // calls per time unit through both fibres, last iteration
  // ratio[x * (top + 1) + j]: chance that j given wavelengths are free when
  // x are (and, after a previous hop, given they are free there), divided,
  // after a previous hop, by the chance that they are free there;
  // top = min(capacity, kAlternatingWidth).
  std::vector<long double> ratio;
  std::vector<long double> joint;  // its mean over the free distribution, j = 0 .. top
  // Paired: given[x * (top + 1) + j]: chance that j given wavelengths are
  // free on this fibre when they are free on the previous one and x are
  // free there.
  std::vector<long double> given;
  // Paired: the scaling of the joint free counts, from the last iteration.
  std::vector<double> scale_previous, scale_own;
  // joint in double; ratio and given are kept in double instead for
  // fibres of up to kDoubleWidth wavelengths.
  std::vector<double> joint_double, ratio_double, given_double;
};

// The sums of the paths through a hop, kept per hop factor and, when the
// next hop is a paired factor, per next factor too (whose chance depends
// on this fibre's free count): in segments of up to kAlternatingWidth
// wavelengths, their rate, and their rate times C(W, j) times the chance
// that j given wavelengths are free on the segment's other hops (the next
// hop left out when it is `next`).
struct Slot {
  uint32_t own = 0;
  uint32_t next = kNoFibre;
  double through_rate = 0.0;
  std::vector<long double> through;
  std::vector<double> through_double;  // for segments of up to kDoubleWidth wavelengths
};

// Room for the tables of fill_paired, kept from call to call.
struct Scratch {
  std::vector<double> weight_a, weight_b, through_weight, kernel, line, column, g, h, alone, forward, backward;
};

struct Model {
  std::vector<Pair> pairs;
  std::vector<Route> routes;
  std::vector<Segment> segments;
  std::vector<uint32_t> hop_fibres;
  std::vector<uint32_t> hop_factors;  // parallel to hop_fibres
  std::vector<Fibre> fibres;
  std::vector<Factor> factors;        // one per fibre (first hops), then one per pair of consecutive fibres
  std::vector<uint32_t> hop_slots;    // parallel to hop_fibres
  std::vector<Slot> slots;
  // binomial[x * (kAlternatingWidth + 1) + j] = C(x, j); per capacity W of
  // a paired factor, inverse_choose[W][n * (W + 1) + j] = 1 / C(W - n, j).
  std::vector<double> binomial;
  std::vector<std::vector<double>> inverse_choose;
  std::vector<double> log_factorial;
  Scratch scratch;  // room for fill_paired

  double log_choose(uint32_t n, uint32_t k) const {
    return log_factorial[n] - log_factorial[k] - log_factorial[n - k];
  }
  // H(k; population n, successes s, draws d)
  double hypergeometric(uint32_t k, uint32_t n, uint32_t s, uint32_t d) const {
    if (k > s || k > d || d - k > n - s) return 0.0;
    return std::exp(log_choose(s, k) + log_choose(n - s, d - k) - log_choose(n, d));
  }
};

void add_group(Pair& pair, uint32_t size) {
  const uint32_t before = pair.group_ends.empty() ? 0 : pair.group_ends.back();
  if (size) pair.group_ends.push_back(before + size);
}

Model build_model(const Network& net, const PathTable& table, const EstimateSettings& settings) {
  Model m;
  const uint32_t t = net.total_nodes;
  std::unordered_map<uint32_t, uint32_t> fibre_of;  // link -> index in m.fibres
  std::unordered_map<uint64_t, uint32_t> junction_of;  // previous fibre << 32 | fibre -> index in m.factors
  std::vector<Factor> junctions;
  uint32_t widest = 1;
  for (uint32_t s = 0; s < t; ++s)
    for (uint32_t d = 0; d < t; ++d) {
      const double rate = net.arrival_rates[net.at(s, d)];
      const PathList& list = table.list(s, d);
      if (!(rate > 0.0) || list.count == 0) continue;
      Pair pair;
      pair.source = s;
      pair.destination = d;
      pair.rate = rate;
      pair.first_route = uint32_t(m.routes.size());
      std::vector<uint32_t> order;
      for (uint32_t k = 0; k < list.count; ++k) order.push_back(k);
      if (settings.order == PathOrder::reversed) std::reverse(order.begin(), order.end());
      if (settings.order == PathOrder::random) add_group(pair, list.count);
      if (settings.order == PathOrder::random_by_group) {
        const uint32_t* b = table.group_boundaries(list);
        const uint32_t groups = table.group_count(list);
        for (uint32_t g = 0; g < groups; ++g) add_group(pair, b[g + 1] - b[g]);
        if (groups == 0) add_group(pair, list.count);
        order.resize(pair.group_ends.back());
      }
      if (settings.order == PathOrder::listed || settings.order == PathOrder::reversed)
        for (uint32_t k = 0; k < list.count; ++k) add_group(pair, 1);
      for (uint32_t k : order) {
        const Path& p = table.path(s, d, k);
        const Hop* hops = table.path_hops(p);
        Route r;
        r.first_segment = uint32_t(m.segments.size());
        Segment seg;
        seg.first = uint32_t(m.hop_fibres.size());
        seg.width = 0xffffffffu;
        for (uint32_t h = 0; h < p.hops; ++h) {
          auto [it, fresh] = fibre_of.try_emplace(hops[h].link, uint32_t(m.fibres.size()));
          if (fresh) {
            Fibre f;
            f.link = hops[h].link;
            f.capacity = net.capacity[hops[h].link];
            widest = std::max(widest, f.capacity);
            m.fibres.push_back(std::move(f));
          }
          m.hop_fibres.push_back(it->second);
          uint32_t factor = it->second;  // first hop of its segment: the fibre's own (junctions renumbered below)
          if (seg.count > 0) {
            const uint32_t previous = m.hop_fibres[m.hop_fibres.size() - 2];
            auto [j, new_junction] = junction_of.try_emplace(uint64_t(previous) << 32 | it->second,
                                                             uint32_t(junctions.size()));
            if (new_junction) {
              Factor f;
              f.fibre = it->second;
              f.previous = previous;
              junctions.push_back(f);
            }
            factor = kNoFibre - 1 - j->second;
          }
          m.hop_factors.push_back(factor);
          ++seg.count;
          seg.width = std::min(seg.width, m.fibres[it->second].capacity);
          if (hops[h].ends_segment || settings.force_conversion || h + 1 == p.hops) {
            m.segments.push_back(seg);
            ++r.segments;
            seg.first = uint32_t(m.hop_fibres.size());
            seg.count = 0;
            seg.width = 0xffffffffu;
          }
        }
        m.routes.push_back(r);
      }
      pair.routes = uint32_t(order.size());
      m.pairs.push_back(std::move(pair));
    }
  // Factors: the fibres' own first, then the junctions.
  m.factors.resize(m.fibres.size());
  for (uint32_t f = 0; f < m.fibres.size(); ++f) m.factors[f].fibre = f;
  for (uint32_t& f : m.hop_factors)
    if (f >= m.fibres.size()) f = uint32_t(m.fibres.size()) + (kNoFibre - 1 - f);
  m.factors.insert(m.factors.end(), junctions.begin(), junctions.end());
  for (Factor& f : m.factors) {
    const uint32_t c = m.fibres[f.fibre].capacity;
    f.paired = f.previous != kNoFibre && !settings.independent_fibres && c <= kAlternatingWidth &&
               m.fibres[f.previous].capacity == c;
    if (f.paired && m.inverse_choose.size() <= c) m.inverse_choose.resize(c + 1);
  }
  constexpr uint32_t kRow = kAlternatingWidth + 1;
  m.binomial.assign(size_t(kRow) * kRow, 0.0);
  for (uint32_t x = 0; x < kRow; ++x)
    for (uint32_t j = 0; j <= x; ++j)
      m.binomial[x * kRow + j] =
          j == 0 || j == x ? 1.0 : m.binomial[(x - 1) * kRow + j - 1] + m.binomial[(x - 1) * kRow + j];
  for (uint32_t w = 0; w < m.inverse_choose.size(); ++w) {
    std::vector<double>& table = m.inverse_choose[w];
    table.assign(size_t(w + 1) * (w + 1), 0.0);
    for (uint32_t n = 0; n <= w; ++n)
      for (uint32_t j = 0; j + n <= w; ++j) table[n * (w + 1) + j] = 1.0 / m.binomial[(w - n) * kRow + j];
  }
  // Slots: a hop's own factor, and the next one when that is paired.
  std::unordered_map<uint64_t, uint32_t> slot_of;
  m.hop_slots.assign(m.hop_factors.size(), 0);
  for (const Segment& seg : m.segments)
    for (uint32_t h = 0; h < seg.count; ++h) {
      Slot slot;
      slot.own = m.hop_factors[seg.first + h];
      if (h + 1 < seg.count && m.factors[m.hop_factors[seg.first + h + 1]].paired)
        slot.next = m.hop_factors[seg.first + h + 1];
      auto [it, fresh] = slot_of.try_emplace(uint64_t(slot.own) << 32 | slot.next, uint32_t(m.slots.size()));
      if (fresh) m.slots.push_back(slot);
      m.hop_slots[seg.first + h] = it->second;
    }
  m.log_factorial.resize(size_t(widest) + 1);
  for (size_t n = 0; n < m.log_factorial.size(); ++n) m.log_factorial[n] = std::lgamma(double(n) + 1.0);
  return m;
}

// The share of a pair's calls that reach a path tried in a random order
// among `others` paths, which block with the chances given: the integral
// over t in [0, 1] of the product of (1 - t + t B_i). Expanded in
// t^k (1 - t)^(n - k), it is the sum over k of e_k(B) / C(n, k) / (n + 1),
// e_k the elementary symmetric sums; p_k = e_k / C(m, k) after m factors
// keeps every term positive and below 1.
double random_position_share(const std::vector<double>& others, std::vector<double>& p) {
  const size_t n = others.size();
  p.assign(n + 1, 0.0);
  p[0] = 1.0;
  for (size_t m = 1; m <= n; ++m) {
    const double b = others[m - 1];
    for (size_t k = m; k > 0; --k) p[k] = (double(m - k) * p[k] + double(k) * b * p[k - 1]) / double(m);
  }
  double sum = 0.0;
  for (double v : p) sum += v;
  return sum / double(n + 1);
}

// Offers each pair's calls to its routes from their blocking: a route gets
// what the routes tried before it blocked.
void offer_routes(Model& m) {
  std::vector<double> others, scratch;
  for (const Pair& pair : m.pairs) {
    double reaching = pair.rate;  // calls that reach the current group
    uint32_t start = 0;
    for (uint32_t end : pair.group_ends) {
      double group_block = 1.0;
      for (uint32_t k = start; k < end; ++k) {
        Route& r = m.routes[pair.first_route + k];
        others.clear();
        for (uint32_t i = start; i < end; ++i)
          if (i != k) others.push_back(m.routes[pair.first_route + i].blocking);
        r.rate = reaching * random_position_share(others, scratch);
        group_block *= r.blocking;
      }
      reaching *= group_block;
      start = end;
    }
  }
}

double pair_blocking(const Model& m, const Pair& pair) {
  double b = 1.0;
  for (uint32_t k = 0; k < pair.routes; ++k) b *= m.routes[pair.first_route + k].blocking;
  return b;
}

// ---- Full conversion: the Erlang fixed point --------------------------------

double conversion_step(Model& m, const EstimateSettings& settings, double damping) {
  for (Route& r : m.routes) {
    double pass = 1.0;
    for (uint32_t s = 0; s < r.segments; ++s) {
      const Segment& seg = m.segments[r.first_segment + s];
      for (uint32_t h = 0; h < seg.count; ++h) pass *= 1.0 - m.fibres[m.hop_fibres[seg.first + h]].blocking;
    }
    r.blocking = 1.0 - pass;
  }
  offer_routes(m);
  std::vector<double> load(m.fibres.size(), 0.0);
  for (const Route& r : m.routes) {
    if (r.rate == 0.0) continue;
    const Segment& first = m.segments[r.first_segment];
    const uint32_t begin = first.first;
    const Segment& last = m.segments[r.first_segment + r.segments - 1];
    const uint32_t end = last.first + last.count;
    for (uint32_t h = begin; h < end; ++h) {
      double thinned = r.rate;
      for (uint32_t k = begin; k < end; ++k)
        if (k != h) thinned *= 1.0 - m.fibres[m.hop_fibres[k]].blocking;
      load[m.hop_fibres[h]] += thinned;
    }
  }
  double change = 0.0;
  for (size_t f = 0; f < m.fibres.size(); ++f) {
    Fibre& fibre = m.fibres[f];
    fibre.thinned = load[f];
    const double target = erlang_b(fibre.capacity, load[f] / settings.departure_rate);
    const double next = fibre.blocking + damping * (target - fibre.blocking);
    change = std::max(change, std::fabs(next - fibre.blocking));
    fibre.blocking = next;
  }
  return change;
}

// ---- No conversion, random assignment ---------------------------------------

// The tables of a paired factor (see Factor) from the free distributions
// of its fibre and the previous one and the calls they carried.
void fill_paired(Model& m, Factor& f, double departure) {
  Scratch& sc = m.scratch;
  const Fibre& a = m.fibres[f.previous];
  const Fibre& b = m.fibres[f.fibre];
  const uint32_t w = b.capacity, row = w + 1;
  constexpr uint32_t kRow = kAlternatingWidth + 1;
  // Erlangs of the continuing calls (c) and of the other calls of each
  // fibre (a, b), scaled by l, l^2 for c, which leaves the distributions
  // below as they are, so that none is above 1.
  const double through = f.carried / departure;
  double rho_a = std::max(0.0, a.carried / departure - through), rho_b = std::max(0.0, b.carried / departure - through);
  const double l = std::max({rho_a, rho_b, std::sqrt(through), 1e-300});
  rho_a /= l, rho_b /= l;
  const double rho_c = through / (l * l);
  // weight_a[k] = rho_a^k / k! (k calls of a alone), weight_b the same for
  // b, through_weight[n] = rho_c^n / n!.
  std::vector<double>&weight_a = sc.weight_a, &weight_b = sc.weight_b, &through_weight = sc.through_weight;
  weight_a.assign(row, 0.0);
  weight_b.assign(row, 0.0);
  through_weight.assign(row, 0.0);
  weight_a[0] = weight_b[0] = through_weight[0] = 1.0;
  for (uint32_t k = 1; k <= w; ++k) {
    weight_a[k] = weight_a[k - 1] * rho_a / k;
    weight_b[k] = weight_b[k - 1] * rho_b / k;
    through_weight[k] = through_weight[k - 1] * rho_c / k;
  }
  // kernel[x * row + y] = K(x, y), the sum over n of
  // through_weight[n] weight_a[W - x - n] weight_b[W - y - n]: the weight of
  // n continuing calls when x and y wavelengths are free. With A = W - x
  // and B = W - y busy, A K(A, B) = rho_a K(A - 1, B) + rho_c K(A - 1, B - 1).
  std::vector<double>& kernel = sc.kernel;
  kernel.assign(size_t(row) * row, 0.0);
  auto k_at = [&](uint32_t busy_a, uint32_t busy_b) -> double& {
    return kernel[size_t(w - busy_a) * row + (w - busy_b)];
  };
  for (uint32_t busy_b = 0; busy_b <= w; ++busy_b) k_at(0, busy_b) = weight_b[busy_b];
  for (uint32_t busy_a = 1; busy_a <= w; ++busy_a) {
    const double by = rho_a / busy_a, by_through = rho_c / busy_a;
    k_at(busy_a, 0) = by * k_at(busy_a - 1, 0);
    for (uint32_t busy_b = 1; busy_b <= w; ++busy_b)
      k_at(busy_a, busy_b) = by * k_at(busy_a - 1, busy_b) + by_through * k_at(busy_a - 1, busy_b - 1);
  }
  // The joint distribution of the free counts, u(x) v(y) K(x, y), its
  // margins the fibres' own distributions, by alternate scaling from the
  // last iteration's scales (those that came out 0 start again from 1).
  // When the margins cannot both be met (a fibre whose calls all continue
  // cannot have fewer free wavelengths than the next), the scaling stops
  // after a bounded number of rounds.
  std::vector<double>& u = f.scale_previous;
  std::vector<double>& v = f.scale_own;
  u.resize(row, 1.0);
  v.resize(row, 1.0);
  for (uint32_t x = 0; x <= w; ++x) {
    if (!(u[x] > 0.0 && u[x] < INFINITY)) u[x] = 1.0;
    if (!(v[x] > 0.0 && v[x] < INFINITY)) v[x] = 1.0;
  }
  std::vector<double>&line = sc.line, &column = sc.column;  // 1 / the sums of K v over y, of u K over x
  line.assign(row, 0.0);
  column.assign(row, 0.0);
  for (int round = 0; round < 200; ++round) {
    double worst = 0.0;
    for (uint32_t x = 0; x <= w; ++x) {
      double sum = 0.0;
      for (uint32_t y = 0; y <= w; ++y) sum += kernel[size_t(x) * row + y] * v[y];
      worst = std::max(worst, std::fabs(u[x] * sum - a.free[x]));
      u[x] = sum > 0.0 && a.free[x] / sum < 1e300 ? a.free[x] / sum : 0.0;
    }
    std::fill(column.begin(), column.end(), 0.0);
    for (uint32_t x = 0; x <= w; ++x)
      for (uint32_t y = 0; y <= w; ++y) column[y] += u[x] * kernel[size_t(x) * row + y];
    for (uint32_t y = 0; y <= w; ++y)
      v[y] = column[y] > 0.0 && b.free[y] / column[y] < 1e300 ? b.free[y] / column[y] : 0.0;
    if (worst < 1e-14) break;
  }
  for (uint32_t x = 0; x <= w; ++x) {
    double sum = 0.0;
    for (uint32_t y = 0; y <= w; ++y) sum += kernel[size_t(x) * row + y] * v[y];
    line[x] = sum > 0.0 ? 1.0 / sum : 0.0;
  }
  for (uint32_t y = 0; y <= w; ++y) column[y] = column[y] > 0.0 ? 1.0 / column[y] : 0.0;
  // P(x, n | y) = column[y] u(x) through_weight[n] weight_a[W - x - n] weight_b[W - y - n],
  // and j given wavelengths are free on both fibres with chance
  // C(x, j) C(y, j) / (C(W - n, j) C(W, j)), so
  // forward[y * row + j] = the sum over x and n of P(x, n | y) C(x, j) / C(W - n, j)
  //   = column[y] * the sum over n of through_weight[n] weight_b[W - y - n] G[n][j] / C(W - n, j),
  // G[n][j] = the sum over x of u(x) weight_a[W - x - n] C(x, j); backward the same
  // the other way round (P(y, n | x), C(y, j), H from v and weight_b).
  const double* inverse = m.inverse_choose[w].data();
  std::vector<double>&g = sc.g, &h = sc.h;
  g.assign(size_t(row) * row, 0.0);
  h.assign(size_t(row) * row, 0.0);
  for (uint32_t n = 0; n <= w; ++n)
    for (uint32_t x = 0; x + n <= w; ++x) {
      const double* c = m.binomial.data() + size_t(x) * kRow;
      const double by_u = u[x] * weight_a[w - x - n], by_v = v[x] * weight_b[w - x - n];
      double* gn = g.data() + size_t(n) * row;
      double* hn = h.data() + size_t(n) * row;
      for (uint32_t j = 0; j <= x; ++j) {
        gn[j] += by_u * c[j];
        hn[j] += by_v * c[j];
      }
    }
  for (uint32_t n = 0; n <= w; ++n) {
    const double* r = inverse + size_t(n) * row;
    double* gn = g.data() + size_t(n) * row;
    double* hn = h.data() + size_t(n) * row;
    for (uint32_t j = 0; j + n <= w; ++j) {
      gn[j] *= through_weight[n] * r[j];
      hn[j] *= through_weight[n] * r[j];
    }
  }
  // The previous fibre's own chance that j given wavelengths are free.
  std::vector<double>& alone = sc.alone;
  alone.assign(row, 0.0);
  for (uint32_t x = 0; x <= w; ++x)
    for (uint32_t j = 0; j <= x; ++j) alone[j] += a.free[x] * m.binomial[size_t(x) * kRow + j] * inverse[j];
  for (double& v : alone) v = v > 0.0 ? 1.0 / v : 0.0;  // its reciprocal
  // In double up to kDoubleWidth wavelengths (see Factor).
  const bool narrow = w <= kDoubleWidth;
  if (narrow) {
    f.ratio_double.assign(size_t(row) * row, 0.0);
    f.given_double.assign(size_t(row) * row, 0.0);
  } else {
    f.ratio.assign(size_t(row) * row, 0.0L);
    f.given.assign(size_t(row) * row, 0.0L);
  }
  std::vector<double>&forward = sc.forward, &backward = sc.backward;
  forward.resize(row);
  backward.resize(row);
  for (uint32_t y = 0; y <= w; ++y) {  // y stands for x in backward
    std::fill(forward.begin(), forward.end(), 0.0);
    std::fill(backward.begin(), backward.end(), 0.0);
    for (uint32_t n = 0; n + y <= w; ++n) {
      const double to_b = weight_b[w - y - n], to_a = weight_a[w - y - n];
      const double* gn = g.data() + size_t(n) * row;
      const double* hn = h.data() + size_t(n) * row;
      for (uint32_t j = 0; j <= y; ++j) {
        forward[j] += to_b * gn[j];
        backward[j] += to_a * hn[j];
      }
    }
    for (uint32_t j = 0; j <= y; ++j) {
      const double own = m.binomial[size_t(y) * kRow + j] * inverse[j];  // C(y, j) / C(W, j)
      const double ratio = alone[j] > 0.0 ? own * column[y] * forward[j] * alone[j] : own;
      const double given = line[y] * backward[j];
      if (narrow) {
        f.ratio_double[size_t(y) * row + j] = ratio;
        f.given_double[size_t(y) * row + j] = given;
      } else {
        f.ratio[size_t(y) * row + j] = ratio;
        f.given[size_t(y) * row + j] = given;
      }
    }
  }
}

// The tables of a factor (computed once for a first hop) and its mean over
// the fibre's free distribution.
void fill_factor(Model& m, Factor& f, double departure) {
  const Fibre& fibre = m.fibres[f.fibre];
  const uint32_t c = fibre.capacity, top = std::min(c, kAlternatingWidth), row = top + 1;
  if (f.paired) {
    fill_paired(m, f, departure);
  } else if (f.ratio.empty() || f.previous != kNoFibre) {
    f.ratio.assign((size_t(c) + 1) * row, 0.0L);
    for (uint32_t x = 0; x <= c; ++x) {
      const long double universe = x + (1.0L - f.share) * (c - x);
      long double r = 1.0L;
      for (uint32_t j = 0; j <= top && j <= x; ++j) {
        f.ratio[size_t(x) * row + j] = r;
        r *= (long double)(x - j) / (universe - j);
      }
    }
    if (c <= kDoubleWidth) f.ratio_double.assign(f.ratio.begin(), f.ratio.end());
  }
  if (c <= kDoubleWidth) {
    f.joint_double.assign(row, 0.0);
    for (uint32_t x = 0; x <= c; ++x) {
      const double* r = f.ratio_double.data() + size_t(x) * row;
      for (uint32_t j = 0; j <= x; ++j) f.joint_double[j] += fibre.free[x] * r[j];
    }
    f.joint.assign(f.joint_double.begin(), f.joint_double.end());
    return;
  }
  f.joint.assign(row, 0.0L);
  for (uint32_t x = 0; x <= c; ++x)
    for (uint32_t j = 0; j <= top && j <= x; ++j) f.joint[j] += fibre.free[x] * f.ratio[size_t(x) * row + j];
  f.joint_double.assign(f.joint.begin(), f.joint.end());
}

// The distribution of the free wavelengths of `f` among the first `width`
// of its wavelengths (its free set being a uniform random subset).
std::vector<double> usable_free(const Model& m, const Fibre& f, uint32_t width) {
  if (f.capacity == width) return f.free;
  std::vector<double> out(size_t(width) + 1, 0.0);
  for (uint32_t x = 0; x <= f.capacity; ++x)
    if (f.free[x] > 0.0)
      for (uint32_t y = 0; y <= width && y <= x; ++y)
        out[y] += f.free[x] * m.hypergeometric(y, f.capacity, x, width);
  return out;
}

// The size of the intersection of two independent uniform random subsets
// of `width` wavelengths whose sizes are distributed as a and b.
std::vector<double> intersect(const Model& m, const std::vector<double>& a, const std::vector<double>& b,
                              uint32_t width) {
  std::vector<double> out(size_t(width) + 1, 0.0);
  double top_a = 0.0, top_b = 0.0;
  for (double v : a) top_a = std::max(top_a, v);
  for (double v : b) top_b = std::max(top_b, v);
  for (uint32_t x = 0; x <= width; ++x) {
    if (!(a[x] > top_a * 1e-17)) continue;
    for (uint32_t y = 0; y <= width; ++y) {
      if (!(b[y] > top_b * 1e-17)) continue;
      const double w = a[x] * b[y];
      const uint32_t low = x + y > width ? x + y - width : 0, high = std::min(x, y);
      // From the mode of H(k) outwards while the terms matter:
      // H(k + 1) / H(k) = (x - k)(y - k) / ((k + 1)(width - x - y + k + 1)).
      const uint32_t mode = std::clamp<uint32_t>(uint32_t((uint64_t(x) + 1) * (y + 1) / (width + 2)), low, high);
      const double peak = m.hypergeometric(mode, width, x, y);
      double h = peak;
      for (uint32_t k = mode; k <= high && h > peak * 1e-17; ++k) {
        out[k] += w * h;
        h *= double(x - k) * double(y - k) / (double(k + 1) * double(width - x - y + k + 1));
      }
      h = peak;
      for (uint32_t k = mode; k > low && h > peak * 1e-17;) {
        h *= double(k) * double(width - x - y + k) / (double(x - k + 1) * double(y - k + 1));
        --k;
        out[k] += w * h;
      }
    }
  }
  return out;
}

// The chance that a segment has no wavelength free on all its fibres, and
// the sums from which the fibres' arrival rates follow: by inclusion and
// exclusion up to kAlternatingWidth wavelengths, by chaining
// hypergeometric distributions beyond.
class SegmentChances {
 public:
  explicit SegmentChances(Model& model) : m_(model) {
    // C(w, j) at w * (kAlternatingWidth + 1) + j
    binomials_.assign(size_t(kAlternatingWidth + 1) * (kAlternatingWidth + 1), 0.0L);
    for (uint32_t w = 0; w <= kAlternatingWidth; ++w) {
      long double b = 1.0L;
      for (uint32_t j = 0; j <= w; ++j) {
        binomials_[size_t(w) * (kAlternatingWidth + 1) + j] = b;
        b = b * (w - j) / (j + 1);
      }
    }
    binomials_double_.assign(binomials_.begin(), binomials_.end());
  }

  double no_common(const Segment& seg) {
    if (seg.width <= kAlternatingWidth) {
      long double sum = 0.0L, binom = 1.0L;
      for (uint32_t j = 0; j <= seg.width; ++j) {
        long double term = binom;
        for (uint32_t h = 0; h < seg.count; ++h) term *= factor(seg, h).joint[j];
        sum += (j % 2 ? -term : term);
        binom = binom * (seg.width - j) / (j + 1);
      }
      return clamp(double(sum));
    }
    std::vector<double> z = usable_free(m_, fibre(seg, 0), seg.width);
    for (uint32_t h = 1; h < seg.count; ++h) z = intersect(m_, z, usable_free(m_, fibre(seg, h), seg.width), seg.width);
    return clamp(z[0]);
  }

  // Adds a path's `rate` (its calls that find the path's other segments
  // free) to the sums of the segment's fibres; only for segments of up to
  // kAlternatingWidth wavelengths.
  void add_through(const Segment& seg, double rate) {
    if (seg.width <= kDoubleWidth)
      add_through(seg, rate, &Factor::joint_double, &Slot::through_double, binomials_double_, prefix_double_,
                  suffix_double_);
    else
      add_through(seg, rate, &Factor::joint, &Slot::through, binomials_, prefix_, suffix_);
  }

  // given[x] = chance of no common free wavelength when the fibre at `at`
  // has x free, x = 0 .. its capacity; for segments wider than
  // kAlternatingWidth.
  void no_common_given(const Segment& seg, uint32_t at, std::vector<double>& given) {
    const Fibre& self = fibre(seg, at);
    given.assign(size_t(self.capacity) + 1, 1.0);
    // Intersection of the other fibres, then the chance that a set of the
    // fibre's own free size misses it.
    std::vector<double> z(size_t(seg.width) + 1, 0.0);
    z[seg.width] = 1.0;
    for (uint32_t h = 0; h < seg.count; ++h)
      if (h != at) z = intersect(m_, z, usable_free(m_, fibre(seg, h), seg.width), seg.width);
    // avoid[y]: a y-set of the width misses the common set; a c-set is
    // missed with chance C(width - c, y) / C(width, y).
    avoid_.assign(size_t(seg.width) + 1, 0.0);
    for (uint32_t y = 0; y <= seg.width; ++y) {
      double ratio = 1.0;
      for (uint32_t c = 0; c + y <= seg.width; ++c) {
        avoid_[y] += z[c] * ratio;
        ratio *= double(seg.width - c - y) / double(seg.width - c);
      }
    }
    for (uint32_t x = 0; x <= self.capacity; ++x) {
      double miss = 0.0;
      if (self.capacity == seg.width) {
        miss = avoid_[x];
      } else {
        for (uint32_t y = 0; y <= seg.width && y <= x; ++y) miss += m_.hypergeometric(y, self.capacity, x, seg.width) * avoid_[y];
      }
      given[x] = clamp(miss);
    }
  }

 private:
  static double clamp(double p) { return std::min(1.0, std::max(0.0, p)); }

  // The sums of add_through in the precision of Real: products of positive
  // factors, so double keeps their relative precision; only the alternating
  // sum that reads them needs more.
  template <typename Real>
  void add_through(const Segment& seg, double rate, std::vector<Real> Factor::*joint, std::vector<Real> Slot::*through,
                   const std::vector<Real>& binomials, std::vector<Real>& prefix, std::vector<Real>& suffix) {
    const uint32_t w = seg.width, h_count = seg.count, row = w + 1;
    // suffix[h * row + j]: product of joint[j] over the fibres from h on
    suffix.assign(size_t(h_count + 1) * row, Real(1));
    for (uint32_t h = h_count; h-- > 0;) {
      const Real* own = (factor(seg, h).*joint).data();
      Real* here = suffix.data() + size_t(h) * row;
      for (uint32_t j = 0; j <= w; ++j) here[j] = here[row + j] * own[j];
    }
    prefix.assign(row, Real(1));
    const Real* binom = binomials.data() + size_t(w) * (kAlternatingWidth + 1);
    for (uint32_t h = 0; h < h_count; ++h) {
      const Factor& f = factor(seg, h);
      Slot& slot = m_.slots[m_.hop_slots[seg.first + h]];
      slot.through_rate += rate;
      const Real* after = suffix.data() + size_t(h + 1 + (slot.next != kNoFibre)) * row;
      const Real* own = (f.*joint).data();
      Real* sum = (slot.*through).data();
      for (uint32_t j = 0; j <= w; ++j) {
        sum[j] += Real(rate) * binom[j] * prefix[j] * after[j];
        prefix[j] *= own[j];
      }
    }
  }
  const Fibre& fibre(const Segment& seg, uint32_t h) const { return m_.fibres[m_.hop_fibres[seg.first + h]]; }
  const Factor& factor(const Segment& seg, uint32_t h) const { return m_.factors[m_.hop_factors[seg.first + h]]; }

  Model& m_;
  std::vector<long double> binomials_, prefix_, suffix_;
  std::vector<double> binomials_double_, prefix_double_, suffix_double_, avoid_;
};

// Free-wavelength distribution of a fibre whose calls arrive at rate
// arrivals[x] in state x (x free) and each leave at `departure`.
void birth_death(const std::vector<double>& arrivals, double departure, std::vector<double>& out) {
  const size_t c = arrivals.size() - 1;
  out.assign(c + 1, 0.0);
  // Balance: out[x-1] * departure * (c - x + 1) = out[x] * arrivals[x],
  // from the empty fibre (x = c) down, rescaled as it goes.
  out[c] = 1.0;
  double total = 1.0;
  for (size_t x = c; x > 0; --x) {
    out[x - 1] = out[x] * arrivals[x] / (departure * double(c - x + 1));
    total += out[x - 1];
    if (total > 1e250) {
      for (size_t y = x - 1; y <= c; ++y) out[y] /= total;
      total = 1.0;
    }
  }
  for (double& v : out) v /= total;
}

double random_assignment_step(Model& m, const EstimateSettings& settings, double damping,
                              std::vector<double>& segment_free, std::vector<double>& given,
                              std::vector<double>& next) {
  SegmentChances chances(m);
  for (Fibre& f : m.fibres) f.arrivals.assign(size_t(f.capacity) + 1, 0.0);
  for (Factor& f : m.factors) {
    // Calls continuing from a wider fibre hold the narrower one's
    // wavelengths on both, so the wider one's free set is no uniform
    // random subset; such fibres are taken as independent (share 0).
    const Fibre* previous = f.previous != kNoFibre ? &m.fibres[f.previous] : nullptr;
    if (previous && !settings.independent_fibres && previous->capacity <= m.fibres[f.fibre].capacity) {
      const double all = m.fibres[f.fibre].carried;
      f.share = all > 0.0 ? std::min(1.0, f.carried / all) : 0.0;
    }
    fill_factor(m, f, settings.departure_rate);
  }
  for (Slot& slot : m.slots) {
    const size_t row = m.factors[slot.own].joint.size();
    slot.through_rate = 0.0;
    slot.through.assign(row, 0.0L);
    slot.through_double.assign(row, 0.0);
  }
  segment_free.resize(m.segments.size());
  for (Route& r : m.routes) {
    double pass = 1.0;
    for (uint32_t s = 0; s < r.segments; ++s) {
      const double free = 1.0 - chances.no_common(m.segments[r.first_segment + s]);
      segment_free[r.first_segment + s] = free;
      pass *= free;
    }
    r.blocking = 1.0 - pass;
  }
  offer_routes(m);
  for (Fibre& f : m.fibres) f.carried = 0.0;
  for (Factor& f : m.factors) f.carried = 0.0;
  for (const Route& r : m.routes) {
    const double carried = r.rate * (1.0 - r.blocking);
    const Segment& first = m.segments[r.first_segment];
    const Segment& last = m.segments[r.first_segment + r.segments - 1];
    for (uint32_t h = first.first; h < last.first + last.count; ++h) {
      m.fibres[m.hop_fibres[h]].carried += carried;
      m.factors[m.hop_factors[h]].carried += carried;
    }
  }
  for (const Route& r : m.routes) {
    if (r.rate == 0.0) continue;
    for (uint32_t s = 0; s < r.segments; ++s) {
      double rest = r.rate;
      for (uint32_t o = 0; o < r.segments; ++o)
        if (o != s) rest *= segment_free[r.first_segment + o];
      if (rest == 0.0) continue;
      const Segment& seg = m.segments[r.first_segment + s];
      if (seg.width <= kAlternatingWidth) {
        chances.add_through(seg, rest);
        continue;
      }
      for (uint32_t h = 0; h < seg.count; ++h) {
        chances.no_common_given(seg, h, given);
        Fibre& f = m.fibres[m.hop_fibres[seg.first + h]];
        for (uint32_t x = 1; x <= f.capacity; ++x) f.arrivals[x] += rest * (1.0 - given[x]);
      }
    }
  }
  double change = 0.0;
  for (const Slot& slot : m.slots) {
    // Calls accepted in state x: all of the paths' rate but the share that
    // finds no wavelength free on the whole segment, summed by inclusion
    // and exclusion over the sets of j wavelengths.
    const Factor& f = m.factors[slot.own];
    const Factor* next = slot.next != kNoFibre ? &m.factors[slot.next] : nullptr;
    Fibre& fibre = m.fibres[f.fibre];
    const size_t row = slot.through.size();
    if (!(slot.through_rate > 0.0)) continue;
    if (fibre.capacity <= kDoubleWidth) {
      // Only segments of up to kDoubleWidth wavelengths pass the fibre.
      for (uint32_t x = 1; x <= fibre.capacity; ++x) {
        const double* own = f.ratio_double.data() + x * row;
        const double* then = next ? next->given_double.data() + x * row : nullptr;
        double missed = 0.0;
        for (size_t j = 0; j <= x; ++j)
          missed += (j % 2 ? -1 : 1) * slot.through_double[j] * own[j] * (then ? then[j] : 1.0);
        fibre.arrivals[x] += std::max(0.0, slot.through_rate - missed);
      }
      continue;
    }
    for (uint32_t x = 1; x <= fibre.capacity; ++x) {
      long double missed = 0.0L;
      for (size_t j = 0; j < row && j <= x; ++j)
        missed += (j % 2 ? -1 : 1) * (slot.through[j] + slot.through_double[j]) * f.ratio[x * row + j] *
                  (next ? next->given[x * row + j] : 1.0L);
      fibre.arrivals[x] += std::max(0.0, slot.through_rate - double(missed));
    }
  }
  for (Fibre& f : m.fibres) {
    birth_death(f.arrivals, settings.departure_rate, next);
    for (size_t x = 0; x < next.size(); ++x) {
      const double v = f.free[x] + damping * (next[x] - f.free[x]);
      change = std::max(change, std::fabs(v - f.free[x]));
      f.free[x] = v;
    }
  }
  return change;
}

}  // namespace

Estimate estimate_blocking(const Network& net, const PathTable& paths, const EstimateSettings& settings) {
  Model m = build_model(net, paths, settings);
  Estimate e;
  e.model = settings.force_conversion || converts_everywhere(paths) ? EstimateModel::full_conversion
                                                                    : EstimateModel::random_assignment;
  for (Fibre& f : m.fibres) {
    f.free.assign(size_t(f.capacity) + 1, 0.0);
    f.free[f.capacity] = 1.0;  // empty fibres to start from
  }
  std::vector<double> segment_free, given, next;
  double damping = 1.0, previous = INFINITY;
  e.converged = false;
  for (e.iterations = 1; e.iterations <= settings.max_iterations; ++e.iterations) {
    e.change = e.model == EstimateModel::full_conversion
                   ? conversion_step(m, settings, damping)
                   : random_assignment_step(m, settings, damping, segment_free, given, next);
    if (e.change < settings.tolerance) {
      e.converged = true;
      break;
    }
    // An iteration that moved more than the one before it overshoots:
    // take smaller steps from then on (but the second, whose calls are the
    // first to find the fibres busy, may move more than the first).
    if (e.change > previous && e.iterations > 2) damping = std::max(0.05, damping * 0.5);
    previous = e.change;
  }
  e.iterations = std::min(e.iterations, settings.max_iterations);

  // The final figures, from the settled state.
  if (e.model == EstimateModel::full_conversion) {
    conversion_step(m, settings, 0.0);
  } else {
    random_assignment_step(m, settings, 0.0, segment_free, given, next);
  }
  const uint32_t t = net.total_nodes;
  e.pair_blocking.assign(size_t(t) * t, 0.0);
  e.pair_offered.assign(size_t(t) * t, 0.0);
  double blocked = 0.0, offered = 0.0;
  for (const Pair& pair : m.pairs) {
    const double b = pair_blocking(m, pair);
    e.pair_blocking[net.at(pair.source, pair.destination)] = b;
    e.pair_offered[net.at(pair.source, pair.destination)] = pair.rate / settings.departure_rate;
    blocked += pair.rate * b;
    offered += pair.rate;
  }
  e.offered = offered / settings.departure_rate;
  e.blocking = offered > 0.0 ? blocked / offered : 0.0;

  for (const Route& r : m.routes)
    for (uint32_t s = 0; s < r.segments; ++s) {
      const Segment& seg = m.segments[r.first_segment + s];
      for (uint32_t h = 0; h < seg.count; ++h) m.fibres[m.hop_fibres[seg.first + h]].offered += r.rate;
    }
  for (const Fibre& f : m.fibres) {
    FibreEstimate out;
    out.source = f.link / t;
    out.destination = f.link % t;
    out.wavelengths = f.capacity;
    out.offered = f.offered / settings.departure_rate;
    if (e.model == EstimateModel::full_conversion) {
      out.blocking = f.blocking;
      out.carried = f.thinned / settings.departure_rate * (1.0 - f.blocking);
    } else {
      out.blocking = f.free[0];
      for (uint32_t x = 0; x <= f.capacity; ++x) out.carried += f.free[x] * double(f.capacity - x);
    }
    e.fibres.push_back(out);
  }
  std::sort(e.fibres.begin(), e.fibres.end(), [](const FibreEstimate& a, const FibreEstimate& b) {
    return a.source != b.source ? a.source < b.source : a.destination < b.destination;
  });
  return e;
}

}  // namespace lumtra
