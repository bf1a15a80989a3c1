#include "usage/usage.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "paths/order.h"
#include "run/run.h"
#include "rwa/placement.h"
#include "sim/event_list.h"

namespace lumtra {

namespace {

using Order = UsageOrder;

// Paths of different priority never pass each other in a Route usage list:
// a moved path stops at the first neighbour of another priority.
struct PriorityBarrier {
  const Path* paths;  // the pair's Path list
  int16_t mode;
  bool operator()(uint32_t moved, uint32_t neighbour) const {
    return !same_priority(mode, paths[moved], paths[neighbour]);
  }
};

// ---- Route usage lists ------------------------------------------------------

UsageList& route_list(Run& run, uint32_t s, uint32_t d) {
  return run.usage.routes.lists[size_t(s) * run.paths.total_nodes + d];
}

// Raises (kIncrease) or lowers the count of path `item` of pair (s, d).
template <Order kOrder, bool kPriority, bool kIncrease>
void change_path_usage(Run& run, uint32_t s, uint32_t d, uint32_t item, uint32_t slots) {
  UsageList& l = route_list(run, s, d);
  UsageNode* n = run.usage.routes.nodes_of(l);
  auto move = [&](const auto& barrier) {
    if constexpr (kIncrease) usage_increase<kOrder>(n, l.head, item, slots, barrier);
    else usage_decrease<kOrder>(n, l.head, item, slots, barrier);
  };
  if constexpr (kPriority) move(PriorityBarrier{&run.paths.paths[run.paths.list(s, d).first], run.config.sort_mode});
  else move(NoBarrier{});
}

// The paths are tried from the head of the pair's list; the cursor is the
// request's position, which is also the path's index in the Path list.
int32_t usage_route_first(Run& run, uint32_t s, uint32_t d) {
  run.request.source = s;
  run.request.destination = d;
  run.request.position = route_list(run, s, d).head;
  return run.request.position;
}

int32_t usage_route_next(Run& run) {
  const UsageList& l = route_list(run, run.request.source, run.request.destination);
  const int32_t next = run.usage.routes.nodes_of(l)[run.request.position].next;
  if (next == kNoNode) return -1;
  run.request.position = next;
  return next;
}

template <Order kOrder, bool kPriority>
void usage_route_commit(Run& run, uint32_t slots) {
  run.usage_tag = static_cast<uint32_t>(run.request.position);
  change_path_usage<kOrder, kPriority, true>(run, run.request.source, run.request.destination, run.usage_tag, slots);
}

template <Order kOrder, bool kPriority>
void path_usage_release(Run& run, const Event& e) {
  change_path_usage<kOrder, kPriority, false>(run, e.source, e.destination, e.usage_tag, e.slots);
}

// ---- Channel usage lists ----------------------------------------------------

// Applies `f`(wavelength, hops) to every run of consecutive hops on the same
// wavelength. Changing a count once by slots x hops leaves a sorted list
// exactly as changing it hop by hop would, as no other node moves meanwhile.
template <class F>
inline void for_each_wavelength_run(const uint32_t* w, uint32_t hops, F f) {
  for (uint32_t k = 0; k < hops;) {
    uint32_t j = k + 1;
    while (j < hops && w[j] == w[k]) ++j;
    f(w[k], j - k);
    k = j;
  }
}

template <Order kOrder, bool kIncrease>
void change_channel_usage(UsageListSet& set, UsageList& l, const uint32_t* w, uint32_t hops, uint32_t slots) {
  UsageNode* n = set.nodes_of(l);
  for_each_wavelength_run(w, hops, [&](uint32_t item, uint32_t run_hops) {
    const int64_t amount = int64_t(slots) * run_hops;
    if constexpr (kIncrease) usage_increase<kOrder>(n, l.head, item, amount);
    else usage_decrease<kOrder>(n, l.head, item, amount);
  });
}

UsageList& global_list(Run& run) { return run.usage.channels.lists[0]; }

// The local list of path `item` of pair (s, d).
UsageList& local_list(Run& run, uint32_t s, uint32_t d, uint32_t item) {
  return run.usage.channels.lists[run.paths.global_index(s, d, item)];
}

template <Order kOrder>
void global_channel_release(Run& run, const Event& e) {
  change_channel_usage<kOrder, false>(run.usage.channels, global_list(run), e.hop_wavelengths.data(),
                                      run.paths.paths[e.path].hops, e.slots);
}

template <Order kOrder>
void local_channel_release(Run& run, const Event& e) {
  change_channel_usage<kOrder, false>(run.usage.channels, local_list(run, e.source, e.destination, e.usage_tag),
                                      e.hop_wavelengths.data(), run.paths.paths[e.path].hops, e.slots);
}

void no_release(Run&, const Event&) {}

// A departure's bookkeeping: the path's count first, then the channels.
template <void (*kPathRelease)(Run&, const Event&), void (*kChannelRelease)(Run&, const Event&)>
void usage_event_release(Run& run, const Event& e) {
  kPathRelease(run, e);
  kChannelRelease(run, e);
}

// ---- Assignment ---------------------------------------------------------------

// Tries the wavelengths of the segment's window in list order; wavelengths
// outside the window are passed over without an attempt.
Pick scan_list(Run& run, const UsageNode* n, int32_t head, const Hop* hops, const Segment& seg, uint32_t slots,
               uint32_t& w) {
  uint32_t low, end;
  scan_window(run.net, hops[seg.first], low, end);
  if (low >= end) return Pick::path_fails;
  for (int32_t i = head; i != kNoNode; i = n[i].next) {
    const uint32_t c = static_cast<uint32_t>(i);
    if (c < low || c >= end) continue;
    if (!count_attempt(run)) return Pick::blocked;
    if (fits_segment(run.net, hops, seg, c, slots)) {
      w = c;
      return Pick::found;
    }
  }
  return Pick::path_fails;
}

template <Order kOrder>
struct GlobalUsagePolicy {
  uint32_t path_of(Run& run, int32_t candidate) const { return list_path(run, candidate); }
  Pick choose(Run& run, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) const {
    const UsageList& l = global_list(run);
    return scan_list(run, run.usage.channels.nodes_of(l), l.head, hops, seg, slots, w);
  }
  void commit(Run& run, uint32_t path, const HopArray& w, uint32_t slots) const {
    change_channel_usage<kOrder, true>(run.usage.channels, global_list(run), w.data(), run.paths.paths[path].hops,
                                       slots);
  }
};

// Every path has its own list, so each path tried has its own order.
template <Order kOrder>
struct LocalUsagePolicy {
  uint32_t path_of(Run& run, int32_t candidate) const { return list_path(run, candidate); }
  Pick choose(Run& run, uint32_t path, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) const {
    const UsageList& l = run.usage.channels.lists[path];
    return scan_list(run, run.usage.channels.nodes_of(l), l.head, hops, seg, slots, w);
  }
  void commit(Run& run, uint32_t path, const HopArray& w, uint32_t slots) const {
    change_channel_usage<kOrder, true>(run.usage.channels, run.usage.channels.lists[path], w.data(),
                                       run.paths.paths[path].hops, slots);
    run.usage_tag = path - run.paths.list(run.request.source, run.request.destination).first;
  }
};

template <class Policy>
bool usage_assign(Run& run, uint32_t s, uint32_t d, HopArray& w, uint32_t& path, uint32_t slots) {
  Policy policy;
  return place_call(run, s, d, w, path, slots, policy);
}

// ---- Installation -------------------------------------------------------------

bool usage_routing(const Config& c) { return c.routing_code == kMostUsed || c.routing_code == kLeastUsed; }

template <Order kOrder, bool kPriority>
void install_route_slots(Slots& slots) {
  slots.route_first = usage_route_first;
  slots.route_next = usage_route_next;
  slots.route_commit = usage_route_commit<kOrder, kPriority>;
  slots.event_release = usage_event_release<path_usage_release<kOrder, kPriority>, no_release>;
}

// The event_release for a channel release combined with the routing's.
template <void (*kChannelRelease)(Run&, const Event&)>
void install_channel_release(Run& run) {
  const Config& c = run.config;
  auto& release = run.slots.event_release;
  if (!usage_routing(c)) {
    release = usage_event_release<no_release, kChannelRelease>;
    return;
  }
  const bool most = c.routing_code == kMostUsed;
  if (c.priority_routing)
    release = most ? usage_event_release<path_usage_release<Order::most_used, true>, kChannelRelease>
                   : usage_event_release<path_usage_release<Order::least_used, true>, kChannelRelease>;
  else
    release = most ? usage_event_release<path_usage_release<Order::most_used, false>, kChannelRelease>
                   : usage_event_release<path_usage_release<Order::least_used, false>, kChannelRelease>;
}

Status unknown_code(int16_t code) {
  return Status::error("command line", "method", "code " + std::to_string(code) + " is not a usage-based method");
}

// The usage lists are refused before they are allocated when their nodes
// would take more than half of the run's memory budget (the path table
// holds at most the other half).
Status check_list_size(const Run& run, const std::vector<uint32_t>& counts, const char* option) {
  uint64_t total = 0, longest = 0;
  for (uint32_t c : counts) total += c, longest = std::max<uint64_t>(longest, c);
  // The list links are 32-bit signed node indices.
  if (longest > uint64_t(INT32_MAX))
    return Status::error("command line", option,
                         "a usage list of " + std::to_string(longest) + " entries is longer than the " +
                             std::to_string(INT32_MAX) + " a list can link");
  const double bytes = double(total) * double(sizeof(UsageNode));
  if (bytes <= double(run.memory_budget / 2)) return Status::proceed();
  char text[200];
  std::snprintf(text, sizeof text,
                "the usage lists would hold %llu entries (%.1f GiB), more than half of the %.1f GiB this run may use",
                static_cast<unsigned long long>(total), bytes / double(1u << 30),
                double(run.memory_budget) / double(1u << 30));
  return Status::error("command line", option, text);
}

}  // namespace

Status install_usage_routing(Run& run) {
  const Config& c = run.config;
  const bool pr = c.priority_routing;
  switch (c.routing_code) {
    case kMostUsed:
      pr ? install_route_slots<Order::most_used, true>(run.slots) : install_route_slots<Order::most_used, false>(run.slots);
      return Status::proceed();
    case kLeastUsed:
      pr ? install_route_slots<Order::least_used, true>(run.slots)
         : install_route_slots<Order::least_used, false>(run.slots);
      return Status::proceed();
    default:
      return unknown_code(c.routing_code);
  }
}

Status install_usage_assign(Run& run) {
  switch (run.config.wa_code) {
    case kMostUsed:
      run.slots.assign = usage_assign<GlobalUsagePolicy<Order::most_used>>;
      install_channel_release<global_channel_release<Order::most_used>>(run);
      return Status::proceed();
    case kLeastUsed:
      run.slots.assign = usage_assign<GlobalUsagePolicy<Order::least_used>>;
      install_channel_release<global_channel_release<Order::least_used>>(run);
      return Status::proceed();
    case kLocalMostUsed:
      run.slots.assign = usage_assign<LocalUsagePolicy<Order::most_used>>;
      install_channel_release<local_channel_release<Order::most_used>>(run);
      return Status::proceed();
    case kLocalLeastUsed:
      run.slots.assign = usage_assign<LocalUsagePolicy<Order::least_used>>;
      install_channel_release<local_channel_release<Order::least_used>>(run);
      return Status::proceed();
    default:
      return unknown_code(run.config.wa_code);
  }
}

Status prepare_usage(Run& run) {
  const Config& c = run.config;
  UsageState& u = run.usage;
  std::vector<uint32_t> counts;
  if (usage_routing(c)) {
    counts.reserve(run.paths.lists.size());
    for (const PathList& l : run.paths.lists) counts.push_back(l.count);
    if (Status s = check_list_size(run, counts, c.routing_code == kMostUsed ? "-mu" : "-lu"); !s.ok()) return s;
    u.routes.build(counts);
  }
  counts.clear();
  if (c.wa_code == kMostUsed || c.wa_code == kLeastUsed) {
    counts.push_back(run.net.max_fibre_capacity);
    if (Status s = check_list_size(run, counts, c.wa_code == kMostUsed ? "-mu" : "-lu"); !s.ok()) return s;
    u.channels.build(counts);
  } else if (c.wa_code == kLocalMostUsed || c.wa_code == kLocalLeastUsed) {
    counts.reserve(run.paths.paths.size());
    for (const Path& p : run.paths.paths) {
      const Hop* hops = run.paths.path_hops(p);
      uint32_t widest = 0;
      for (uint32_t k = 0; k < p.hops; ++k) widest = std::max(widest, hops[k].bound);
      counts.push_back(widest);
    }
    if (Status s = check_list_size(run, counts, c.wa_code == kLocalMostUsed ? "-lmu" : "-llu"); !s.ok()) return s;
    u.channels.build(counts);
  }
  return Status::proceed();
}

void reset_usage(Run& run) {
  run.usage.routes.reset();
  run.usage.channels.reset();
}

}  // namespace lumtra
