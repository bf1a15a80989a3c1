#include "paths/build.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "paths/enumerate.h"
#include "paths/gfabric.h"
#include "paths/order.h"

namespace lumtra {

namespace {

constexpr uint64_t kAny = UINT64_MAX;  // no cut on the number of groups or paths

int32_t saturate(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool sorted_mode(int16_t mode) { return mode >= kSortHops && mode <= kSortCostThenHops; }

class TableBuilder {
 public:
  TableBuilder(const Network& net, const PathOptions& cfg, const PathLimits& limits, PathTable& table)
      : net_(net),
        cfg_(cfg),
        t_(net.total_nodes),
        table_(table),
        max_entries_(limits.max_entries),
        max_bytes_(limits.max_bytes ? limits.max_bytes : kAny),
        dist_(hop_distances(net)),
        search_(net, dist_),
        bounds_(net),
        expander_(net, switching_window(cfg)),
        switching_(has_switching_nodes(net)),
        by_length_(!net.link_metres.empty()),
        length_dist_(by_length_ ? length_distances(net) : LengthDistances{}),
        most_(t_, kNoRoute),
        lower_(t_),
        upper_(t_),
        lo_(t_),
        hi_(t_),
        probe_(t_),
        groups_(t_, kAny),
        keep_(t_, kAny),
        two_groups_(t_, 0),
        scratch_(t_),
        progress_(limits.progress),
        progress_every_(std::chrono::milliseconds(limits.progress_ms)) {
    if (progress_) search_.on_progress([this](uint64_t steps) { report_progress(steps); });
    if (by_length_) length_search_.emplace(net, length_dist_);
  }
  ~TableBuilder() {
    if (reported_) {
      std::fputs("\r\033[K", progress_);
      std::fflush(progress_);
    }
  }

  // Builds every row; `missing` receives the pairs with traffic and no path.
  Status build(std::vector<std::pair<uint32_t, uint32_t>>& missing);

 private:
  void window_row(uint32_t s);
  void window_row_by_length(uint32_t s);
  bool collect(uint32_t d, const uint32_t* nodes, uint32_t h, int32_t cost);
  void narrow_to_cuts(uint32_t s);
  Status finish_row(uint32_t s, std::vector<std::pair<uint32_t, uint32_t>>& missing);
  bool append(uint32_t s, const uint32_t* nodes, uint32_t hops, int32_t cost);
  bool fits(uint64_t table_paths, uint64_t table_nodes, uint64_t scratch_nodes) const;
  Status too_large() const;
  void report_progress(uint64_t steps);

  const Network& net_;
  const PathOptions& cfg_;
  const uint32_t t_;
  PathTable& table_;
  const uint64_t max_entries_;
  const uint64_t max_bytes_;
  HopDistances dist_;
  PathSearch search_;
  LongestPathBounds bounds_;
  std::vector<uint32_t> longest_;  // per destination: no loop-free path is longer
  SwitchingExpander expander_;
  const bool switching_;
  // With fibre lengths (--lengths) a path costs its length in metres: the
  // window is one of lengths, the search bounds lengths as well as hops.
  const bool by_length_;
  LengthDistances length_dist_;
  std::optional<LengthSearch> length_search_;  // made only with lengths
  std::vector<int64_t> most_;  // per destination: the longest length recorded

  // Per destination of the current source.
  std::vector<uint32_t> lower_, upper_;  // hop window, unsigned view
  std::vector<uint32_t> lo_, hi_;        // bounds handed to the search
  std::vector<uint32_t> probe_;          // trial upper bounds while narrowing
  std::vector<uint64_t> groups_;         // priority groups the list keeps
  std::vector<uint64_t> keep_;           // paths the list keeps
  std::vector<uint8_t> two_groups_;      // list cut to two groups (-e)

  std::vector<std::vector<Path>> scratch_;  // lists of the current source
  std::vector<uint32_t> pool_;              // their node sequences
  uint64_t scratch_paths_ = 0;
  uint64_t found_ = 0;                      // paths created so far
  std::vector<uint32_t> base_;              // a path being expanded
  uint32_t source_ = 0;                     // the row being built

  std::FILE* progress_;
  const std::chrono::steady_clock::duration progress_every_;
  std::chrono::steady_clock::time_point last_report_{};
  bool reported_ = false;
};

// One line, rewritten in place: the paths found so far and how far the
// search has gone.
void TableBuilder::report_progress(uint64_t steps) {
  const auto now = std::chrono::steady_clock::now();
  if (reported_ && now - last_report_ < progress_every_) return;
  last_report_ = now;
  reported_ = true;
  std::fprintf(progress_, "\rcandidate paths: %llu found so far, %llu search steps (source node %u of %u)",
               static_cast<unsigned long long>(found_), static_cast<unsigned long long>(steps), source_ + 1, t_);
  std::fflush(progress_);
}

// Hop window and cuts of the pairs (s, d), d = 0 .. T-1.
void TableBuilder::window_row(uint32_t s) {
  const PathOptions& c = cfg_;
  if (c.all_paths) {
    const uint32_t depth = static_cast<uint32_t>(c.max_path_length);
    for (uint32_t d = 0; d < t_; ++d) {
      // The search stops going deeper at -mx hops but always takes the first hop.
      lower_[d] = static_cast<uint32_t>(c.min_path_length);
      upper_[d] = std::max(depth, 1u);
      groups_[d] = keep_[d] = kAny;
      two_groups_[d] = 0;
    }
    return;
  }
  const bool sorted = sorted_mode(c.sort_mode);
  for (uint32_t d = 0; d < t_; ++d) {
    const int32_t dist = dist_(s, d);
    int64_t up;
    if (c.length_margin != 0)
      up = saturate(int64_t{dist} + c.length_margin);
    else if (c.path_order != 1)
      up = kUnbounded;
    else
      up = (c.second_path_limit != 0 && dist <= c.second_path_limit) ? kUnbounded : dist;
    up = std::min<int64_t>(up, c.max_path_length);
    lower_[d] = static_cast<uint32_t>(std::max(dist, c.min_path_length));
    upper_[d] = static_cast<uint32_t>(static_cast<int32_t>(up));
    two_groups_[d] = c.path_order == 1 && c.length_margin == 0 && c.second_path_limit != 0 && up == kUnbounded;

    // What survives the cuts, so the search can stop short of the paths
    // that would be cut away (sorted lists only).
    uint64_t groups = kAny, keep = kAny;
    if (sorted) {
      if (c.path_order == 0)
        groups = keep = 1;
      else if (c.path_order > 1)
        groups = uint64_t(c.path_order);
      else if (two_groups_[d])
        groups = 2;
      if (c.max_paths > 0) keep = std::min<uint64_t>(keep, uint64_t(c.max_paths));
    }
    groups_[d] = groups;
    keep_[d] = keep;
  }
}

// The window of window_row with costs in metres: -mc and -e are in km, the
// least cost is the least length; -mn and -mx still bound the hops. Lists are
// not narrowed to their cuts (that needs costs equal to hop counts).
void TableBuilder::window_row_by_length(uint32_t s) {
  const PathOptions& c = cfg_;
  for (uint32_t d = 0; d < t_; ++d) {
    groups_[d] = keep_[d] = kAny;
    two_groups_[d] = 0;
    most_[d] = kNoRoute;
    if (c.all_paths) {
      lower_[d] = static_cast<uint32_t>(c.min_path_length);
      upper_[d] = std::max(static_cast<uint32_t>(c.max_path_length), 1u);
      continue;
    }
    const int64_t dist = length_dist_(s, d);
    int64_t up;
    if (c.length_margin != 0)
      up = dist == kNoRoute ? kNoRoute : std::max<int64_t>(-1, dist + int64_t{c.length_margin} * 1000);
    else if (c.path_order != 1)
      up = kNoRoute;
    else
      up = (c.second_path_limit != 0 && dist <= int64_t{c.second_path_limit} * 1000) ? kNoRoute : dist;
    most_[d] = up;
    lower_[d] = static_cast<uint32_t>(std::max(c.min_path_length, 1));
    upper_[d] = static_cast<uint32_t>(c.max_path_length);
    two_groups_[d] = c.path_order == 1 && c.length_margin == 0 && c.second_path_limit != 0 && up == kNoRoute;
  }
}

// The lists are sorted by hop count (every enumerated path costs its hop
// count), and the cuts keep the first groups of hop counts or the first
// paths. So a list needs no path longer than the smallest hop count at which
// it has collected enough groups or paths. Trial searches with rising bounds
// that only count paths per hop count find that length; hi_ is lowered to it.
void TableBuilder::narrow_to_cuts(uint32_t s) {
  std::vector<uint32_t> active;
  for (uint32_t d = 0; d < t_; ++d) {
    if (lo_[d] > hi_[d] || (groups_[d] == kAny && keep_[d] == kAny)) continue;
    const uint64_t first_guess = uint64_t{lo_[d]} + (groups_[d] == kAny ? 0 : groups_[d] - 1);
    if (first_guess >= hi_[d]) continue;
    probe_[d] = static_cast<uint32_t>(first_guess);
    active.push_back(d);
  }
  if (active.empty()) return;

  const uint32_t cap = search_.reachable_count(s);  // above any hop count
  std::vector<uint32_t> counts;
  std::vector<uint32_t> trial_lo(t_), trial_hi(t_);
  while (!active.empty()) {
    std::fill(trial_lo.begin(), trial_lo.end(), 1u);
    std::fill(trial_hi.begin(), trial_hi.end(), 0u);
    for (uint32_t d : active) {
      trial_lo[d] = lo_[d];
      trial_hi[d] = probe_[d];
    }
    counts.assign(size_t(t_) * cap, 0);
    search_.run(s, trial_lo, trial_hi, [&](uint32_t d, const uint32_t*, uint32_t h) {
      uint32_t& n = counts[size_t(d) * cap + h];
      if (n != UINT32_MAX) ++n;
      return true;
    });
    std::vector<uint32_t> still;
    for (uint32_t d : active) {
      uint64_t groups = 0, paths = 0;
      bool settled = false;
      for (uint32_t h = lo_[d]; h <= probe_[d]; ++h) {
        const uint32_t n = counts[size_t(d) * cap + h];
        if (n == 0) continue;
        ++groups;
        paths += n;
        if (groups >= groups_[d] || paths >= keep_[d]) {
          hi_[d] = h;
          settled = true;
          break;
        }
      }
      if (settled || probe_[d] >= hi_[d]) continue;
      const uint64_t step = groups_[d] == kAny ? 1 : std::max<uint64_t>(1, groups_[d] - groups);
      probe_[d] = static_cast<uint32_t>(std::min<uint64_t>(hi_[d], uint64_t{probe_[d]} + step));
      still.push_back(d);
    }
    active.swap(still);
  }
}

bool TableBuilder::fits(uint64_t table_paths, uint64_t table_nodes, uint64_t scratch_nodes) const {
  const uint64_t paths = table_.paths.size() + table_paths;
  const uint64_t nodes = table_.nodes.size() + table_nodes;
  const uint64_t hops = table_.hop_data.size() + table_nodes;
  const uint64_t pool = pool_.size() + scratch_nodes;
  const uint64_t scratch_paths = scratch_paths_ + (scratch_nodes != 0);
  if (paths > max_entries_ || nodes > max_entries_ || pool > max_entries_ || scratch_paths > max_entries_ ||
      table_.boundary_pool.size() > max_entries_)
    return false;
  // Growing vectors may hold up to twice what they use.
  const uint64_t bytes = 2 * (sizeof(Path) * (paths + scratch_paths) + sizeof(uint32_t) * (nodes + pool) +
                              sizeof(Hop) * hops + sizeof(uint32_t) * table_.boundary_pool.size());
  return bytes <= max_bytes_;
}

Status TableBuilder::too_large() const {
  std::string limit = std::to_string(max_entries_) + " entries per table";
  if (max_bytes_ != kAny) limit += " or " + std::to_string(max_bytes_ >> 20) + " MiB of memory";
  return Status::error("command line", "candidate paths",
                       "the options ask for more than " + std::to_string(found_) + " paths, beyond " + limit +
                           "; bound them with -mx, -mc, -n or -mp");
}

// Keeps a path the search found in the list of d of the current source.
bool TableBuilder::collect(uint32_t d, const uint32_t* nodes, uint32_t h, int32_t cost) {
  ++found_;
  if (!fits(0, 0, uint64_t{h} + 1)) return false;
  scratch_[d].push_back(Path{static_cast<uint32_t>(pool_.size()), cost, h, 0});
  pool_.insert(pool_.end(), nodes, nodes + h);
  pool_.push_back(t_);
  ++scratch_paths_;
  return true;
}

// Appends one path to the table, with its per-hop data.
bool TableBuilder::append(uint32_t s, const uint32_t* nodes, uint32_t hops, int32_t cost) {
  if (!fits(1, uint64_t{hops} + 1, 0)) return false;
  Path p;
  p.nodes = static_cast<uint32_t>(table_.nodes.size());
  p.cost = cost;
  p.hops = hops;
  p.hop_info = static_cast<uint32_t>(table_.hop_data.size());
  table_.paths.push_back(p);
  table_.nodes.insert(table_.nodes.end(), nodes, nodes + hops);
  table_.nodes.push_back(t_);
  table_.hop_data.resize(table_.hop_data.size() + hops);
  fill_hop_data(net_, s, nodes, hops, table_.hop_data.data() + p.hop_info);
  return true;
}

// Orders and cuts the lists of source s and moves them into the table,
// followed by their G-Fabric switching variants.
Status TableBuilder::finish_row(uint32_t s, std::vector<std::pair<uint32_t, uint32_t>>& missing) {
  const PathOptions& c = cfg_;
  for (uint32_t d = 0; d < t_; ++d) {
    std::vector<Path>& list = scratch_[d];
    PathList& entry = table_.lists[size_t(s) * t_ + d];
    if (!c.all_paths) {
      sort_paths(c.sort_mode, list);
      if (c.path_order != 1)
        truncate_paths(list, priority_prefix(c.sort_mode, list, c.path_order));
      else if (two_groups_[d])
        truncate_paths(list, priority_prefix(c.sort_mode, list, 2));
      if (c.max_paths > 0) truncate_paths(list, uint32_t(c.max_paths));
      if (c.priority_routing) {
        entry.boundaries = static_cast<uint32_t>(table_.boundary_pool.size());
        append_group_boundaries(c.sort_mode, list, table_.boundary_pool);
        entry.boundary_count = static_cast<uint32_t>(table_.boundary_pool.size() - entry.boundaries);
      }
    }
    if (list.empty() && net_.arrival_rates[net_.at(s, d)] != 0.0) missing.emplace_back(s, d);

    entry.first = static_cast<uint32_t>(table_.paths.size());
    for (const Path& p : list)
      if (!append(s, pool_.data() + p.nodes, p.hops, p.cost)) return too_large();
    if (switching_) {
      const uint32_t plain = static_cast<uint32_t>(list.size());
      for (uint32_t k = 0; k < plain; ++k) {
        const Path& p = table_.paths[entry.first + k];
        base_.assign(table_.nodes.begin() + p.nodes, table_.nodes.begin() + p.nodes + p.hops);
        bool ok = expander_.expand(s, base_.data(), uint32_t(base_.size()), [&](const uint32_t* nodes, uint32_t hops) {
          ++found_;
          return append(s, nodes, hops, path_weight_sum(net_, s, nodes, hops));
        });
        if (!ok) return too_large();
      }
    }
    entry.count = static_cast<uint32_t>(table_.paths.size() - entry.first);
  }
  return Status::proceed();
}

Status TableBuilder::build(std::vector<std::pair<uint32_t, uint32_t>>& missing) {
  table_ = PathTable{};
  table_.total_nodes = t_;
  table_.lists.assign(size_t(t_) * t_, PathList{});
  table_.costs_in_metres = by_length_;
  for (uint32_t s = 0; s < t_; ++s) {
    source_ = s;
    if (by_length_)
      window_row_by_length(s);
    else
      window_row(s);
    // Longest loop-free path from s: one hop less than the nodes it reaches,
    // and no more than the blocks between s and d allow.
    const uint32_t longest = search_.reachable_count(s) - 1;
    bounds_.from(s, longest_);
    for (uint32_t d = 0; d < t_; ++d) {
      const bool reachable = d != s && dist_(s, d) != kUnbounded;
      lo_[d] = reachable ? lower_[d] : 1;
      hi_[d] = reachable ? std::min({upper_[d], longest, longest_[d]}) : 0;
    }
    if (!by_length_) narrow_to_cuts(s);

    for (auto& list : scratch_) list.clear();
    pool_.clear();
    scratch_paths_ = 0;
    bool complete;
    if (by_length_)
      complete = length_search_->run(s, lo_, hi_, most_, [&](uint32_t d, const uint32_t* nodes, uint32_t h, int64_t m) {
        return collect(d, nodes, h, static_cast<int32_t>(std::min<int64_t>(m, INT32_MAX)));
      });
    else  // every existing link weighs 1, so a path costs its hop count
      complete = search_.run(s, lo_, hi_, [&](uint32_t d, const uint32_t* nodes, uint32_t h) {
        return collect(d, nodes, h, static_cast<int32_t>(h));
      });
    if (!complete) return too_large();
    if (Status st = finish_row(s, missing); !st.ok()) return st;
  }
  for (auto& list : scratch_) list = {};
  pool_ = {};
  scratch_paths_ = 0;
  return Status::proceed();
}

}  // namespace

Status build_path_table(const Network& net, const PathOptions& options, const PathLimits& limits, PathTable& table,
                        std::vector<std::pair<uint32_t, uint32_t>>& missing) {
  missing.clear();
  const uint32_t t = net.total_nodes;
  if (uint64_t{t} * t > 4294967295u)
    return Status::error("command line", "candidate paths",
                         std::to_string(t) + " nodes make more node pairs than the path table can index");
  TableBuilder builder(net, options, limits, table);
  if (Status st = builder.build(missing); !st.ok()) {
    table = PathTable{};
    return st;
  }
  return Status::proceed();
}

uint64_t table_bytes(const PathTable& t) {
  return t.lists.size() * sizeof(PathList) + t.paths.size() * sizeof(Path) + t.nodes.size() * sizeof(uint32_t) +
         t.hop_data.size() * sizeof(Hop) + t.boundary_pool.size() * sizeof(uint32_t);
}

}  // namespace lumtra
