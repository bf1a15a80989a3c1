#include "usage/usage.h"

#include <algorithm>
#include <string>

#include "paths/order.h"
#include "rwa/placement.h"

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

// Raises (kIncrease) or lowers the count of path `item` of pair (s, d).
template <Order kOrder, bool kPriority, bool kIncrease>
void change_path_usage(const PathTable& paths, UsageState& st, uint32_t s, uint32_t d, uint32_t item, uint32_t slots) {
  UsageList& l = st.routes.lists[paths.pair_index(s, d)];
  UsageNode* n = st.routes.nodes_of(l);
  auto move = [&](const auto& barrier) {
    if constexpr (kIncrease) usage_increase<kOrder>(n, l.head, item, slots, barrier);
    else usage_decrease<kOrder>(n, l.head, item, slots, barrier);
  };
  if constexpr (kPriority) move(PriorityBarrier{&paths.paths[paths.list(s, d).first], st.sort_mode});
  else move(NoBarrier{});
}

// The paths are tried from the head of the pair's list; the cursor is the
// request's position, which is also the path's index in the Path list.
int32_t route_first(RwaContext& c, UsageState& st, uint32_t s, uint32_t d) {
  c.request.source = s;
  c.request.destination = d;
  c.request.position = st.routes.lists[c.paths->pair_index(s, d)].head;
  return c.request.position;
}

int32_t route_next(RwaContext& c, UsageState& st) {
  const UsageList& l = st.routes.lists[c.paths->pair_index(c.request.source, c.request.destination)];
  const int32_t next = st.routes.nodes_of(l)[c.request.position].next;
  if (next == kNoNode) return -1;
  c.request.position = next;
  return next;
}

template <Order kOrder, bool kPriority>
void route_commit(RwaContext& c, UsageState& st, uint32_t slots) {
  c.usage_tag = static_cast<uint32_t>(c.request.position);
  change_path_usage<kOrder, kPriority, true>(*c.paths, st, c.request.source, c.request.destination, c.usage_tag,
                                             slots);
}

template <Order kOrder, bool kPriority>
void route_release(RwaContext& c, UsageState& st, const PlacedCall& call) {
  change_path_usage<kOrder, kPriority, false>(*c.paths, st, call.source, call.destination, call.usage_tag, call.slots);
}

template <Order kOrder, bool kPriority>
RoutingHalf route_half(UsageState& st) {
  RoutingHalf h = routing_half<UsageState, route_first, route_next, route_commit<kOrder, kPriority>>(st);
  bind_release<UsageState, route_release<kOrder, kPriority>>(h);
  return h;
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

// Tries the wavelengths of the segment's window in list order; wavelengths
// outside the window are passed over without an attempt.
Pick scan_list(RwaContext& c, const UsageNode* n, int32_t head, const Hop* hops, const Segment& seg, uint32_t slots,
               uint32_t& w) {
  uint32_t low, end;
  scan_window(*c.links, hops[seg.first], low, end);
  if (low >= end) return Pick::path_fails;
  const SegmentFit fit(*c.links, hops, seg, slots);
  // The list holds every wavelength of the window once, so when none fits
  // the walk would try them all (worth knowing first where no hop grooms).
  if (!fit.grooms() && !fit.any(low, end)) return fail_all(c, end - low);
  for (int32_t i = head; i != kNoNode; i = n[i].next) {
    const uint32_t item = static_cast<uint32_t>(i);
    if (item < low || item >= end) continue;
    if (!c.count_attempt()) return Pick::blocked;
    if (fit.fits(item)) {
      w = item;
      return Pick::found;
    }
  }
  return Pick::path_fails;
}

// One list for the whole network.
template <Order kOrder>
struct GlobalPolicy {
  UsageState& st;
  uint32_t path_of(RwaContext& c, int32_t candidate) const { return c.list_path(candidate); }
  Pick choose(RwaContext& c, uint32_t, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) const {
    const UsageList& l = st.channels.lists[0];
    return scan_list(c, st.channels.nodes_of(l), l.head, hops, seg, slots, w);
  }
  void commit(RwaContext& c, uint32_t path, const HopArray& w, uint32_t slots) const {
    change_channel_usage<kOrder, true>(st.channels, st.channels.lists[0], w.data(), c.paths->paths[path].hops, slots);
  }
  static void release(RwaContext& c, UsageState& st, const PlacedCall& call) {
    change_channel_usage<kOrder, false>(st.channels, st.channels.lists[0], call.wavelengths,
                                        c.paths->paths[call.path].hops, call.slots);
  }
};

// Every path has its own list, so each path tried has its own order.
template <Order kOrder>
struct LocalPolicy {
  UsageState& st;
  uint32_t path_of(RwaContext& c, int32_t candidate) const { return c.list_path(candidate); }
  Pick choose(RwaContext& c, uint32_t path, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) const {
    const UsageList& l = st.channels.lists[path];
    return scan_list(c, st.channels.nodes_of(l), l.head, hops, seg, slots, w);
  }
  void commit(RwaContext& c, uint32_t path, const HopArray& w, uint32_t slots) const {
    change_channel_usage<kOrder, true>(st.channels, st.channels.lists[path], w.data(), c.paths->paths[path].hops,
                                       slots);
    c.usage_tag = path - c.paths->list(c.request.source, c.request.destination).first;
  }
  static void release(RwaContext& c, UsageState& st, const PlacedCall& call) {
    const uint32_t path = c.paths->global_index(call.source, call.destination, call.usage_tag);
    change_channel_usage<kOrder, false>(st.channels, st.channels.lists[path], call.wavelengths,
                                        c.paths->paths[call.path].hops, call.slots);
  }
};

template <class Policy>
bool usage_assign(RwaContext& c, const RoutingHalf& routing, UsageState& st, uint32_t s, uint32_t d, HopArray& w,
                  uint32_t& path, uint32_t slots) {
  Policy policy{st};
  return assign_call(c, routing, policy, s, d, w, path, slots);
}

template <class Policy>
AssignmentHalf assignment_of(UsageState& st) {
  AssignmentHalf h = assignment_half<UsageState, usage_assign<Policy>>(st);
  bind_release<UsageState, Policy::release>(h);
  return h;
}

// The usage lists are refused before they are allocated when they would not
// fit the run's memory; the list links are 32-bit signed node indices.
Status admit_lists(MemoryBudget& budget, const std::vector<uint32_t>& counts, const char* option) {
  uint64_t total = 0, longest = 0;
  for (uint32_t c : counts) total += c, longest = std::max<uint64_t>(longest, c);
  if (longest > uint64_t(INT32_MAX))
    return Status::error("command line", option,
                         "a usage list of " + std::to_string(longest) + " entries is longer than the " +
                             std::to_string(INT32_MAX) + " a list can link");
  return budget.admit(saturating_mul(total, sizeof(UsageNode)), "command line", option,
                      "the usage lists (" + std::to_string(total) + " entries)");
}

const char* option_of(int16_t code) {
  switch (code) {
    case kMostUsed: return "-mu";
    case kLocalMostUsed: return "-lmu";
    case kLeastUsed: return "-lu";
    default: return "-llu";
  }
}

bool is_usage_routing(int16_t code) { return code == kMostUsed || code == kLeastUsed; }

}  // namespace

RoutingHalf usage_routing(UsageState& st, int16_t code, const PathOptions& paths) {
  st.sort_mode = paths.sort_mode;
  const bool most = code == kMostUsed;
  if (paths.priority_routing) return most ? route_half<Order::most_used, true>(st) : route_half<Order::least_used, true>(st);
  return most ? route_half<Order::most_used, false>(st) : route_half<Order::least_used, false>(st);
}

AssignmentHalf usage_assignment(UsageState& st, int16_t code) {
  switch (code) {
    case kMostUsed: return assignment_of<GlobalPolicy<Order::most_used>>(st);
    case kLeastUsed: return assignment_of<GlobalPolicy<Order::least_used>>(st);
    case kLocalMostUsed: return assignment_of<LocalPolicy<Order::most_used>>(st);
    default: return assignment_of<LocalPolicy<Order::least_used>>(st);
  }
}

Status prepare_usage(UsageState& st, const Network& net, const PathTable& paths, const MethodOptions& m,
                     MemoryBudget& budget) {
  std::vector<uint32_t> counts;
  if (is_usage_routing(m.routing_code)) {
    counts.reserve(paths.lists.size());
    for (const PathList& l : paths.lists) counts.push_back(l.count);
    if (Status s = admit_lists(budget, counts, option_of(m.routing_code)); !s.ok()) return s;
    st.routes.build(counts);
  }
  counts.clear();
  if (m.wa_code == kMostUsed || m.wa_code == kLeastUsed) {
    // One entry per wavelength of the widest fibre.
    uint32_t widest = 0;
    for (uint32_t c : net.capacity) widest = std::max(widest, c);
    counts.push_back(widest);
    if (Status s = admit_lists(budget, counts, option_of(m.wa_code)); !s.ok()) return s;
    st.channels.build(counts);
  } else if (m.wa_code == kLocalMostUsed || m.wa_code == kLocalLeastUsed) {
    counts.reserve(paths.paths.size());
    for (const Path& p : paths.paths) {
      const Hop* hops = paths.path_hops(p);
      uint32_t widest = 0;
      for (uint32_t k = 0; k < p.hops; ++k) widest = std::max(widest, hops[k].bound);
      counts.push_back(widest);
    }
    if (Status s = admit_lists(budget, counts, option_of(m.wa_code)); !s.ok()) return s;
    st.channels.build(counts);
  }
  return Status::proceed();
}

void reset_usage(UsageState& st) {
  st.routes.reset();
  st.channels.reset();
}

}  // namespace lumtra
