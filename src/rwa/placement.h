// The common placement skeleton shared by every assignment half except the
// exhaustive automaton's: ask the routing half for candidate paths, walk
// each path segment by segment, let the assignment policy pick a wavelength
// per segment under the one fit rule, count every trial against the attempt
// limit, and commit the first path whose segments all found a wavelength.
// Methods differ only in the order in which they try wavelengths, which
// they supply as a policy (the AssignmentPolicy concept below).
#pragma once

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstdint>

#include "rwa/rwa.h"

namespace lumtra {

// The hops [first, end) of a path on which a call keeps one wavelength.
struct Segment {
  uint32_t first;
  uint32_t end;
  uint32_t ordinal;  // 0 for the path's first segment
};

enum class Pick { found, path_fails, blocked };

// What an assignment policy supplies to assign_call:
//   path_of: the index into PathTable::paths of a candidate from the
//            routing half;
//   choose:  a wavelength for the segment `seg` of that path, counting
//            every trial with RwaContext::count_attempt, or several at
//            once with count_attempts where their outcome is known from
//            the free masks (Pick::blocked when the limit is reached);
//   commit:  the policy's own bookkeeping for a placed call, before the
//            routing half's commit.
template <class P>
concept AssignmentPolicy = requires(P& policy, RwaContext& c, int32_t candidate, uint32_t path, const Hop* hops,
                                    const Segment& seg, uint32_t slots, uint32_t& w, const HopArray& placed) {
  { policy.path_of(c, candidate) } -> std::same_as<uint32_t>;
  { policy.choose(c, path, hops, seg, slots, w) } -> std::same_as<Pick>;
  policy.commit(c, path, placed, slots);
};

// The fit rule: wavelength w fits a hop when it has `slots` free slots there
// and, unless both ends of the hop groom, carries no other call.
inline bool fits_hop(const LinkState& links, const Hop& hop, uint32_t w, uint32_t slots) {
  const uint32_t free = links.channels[links.links[hop.link].channels + w];
  return (free >= slots) & (hop.groomed | (free == links.slots_per_wavelength));
}

// The wavelengths worth scanning for a segment: from the free-wavelength
// window of its first link, cut at the segment's wavelength bound.
inline void scan_window(const LinkState& links, const Hop& first_hop, uint32_t& low, uint32_t& end) {
  const Link& l = links.links[first_hop.link];
  low = l.low;
  end = l.high_end < first_hop.bound ? l.high_end : first_hop.bound;
}

// Word k of the segment's candidates (wavelengths 64k .. 64k + 63): the
// wavelengths entirely free on every hop that does not groom at both ends.
inline uint64_t free_on_segment(const LinkState& links, const Hop* hops, const Segment& seg, uint32_t k) {
  uint64_t m = ~uint64_t(0);
  for (uint32_t j = seg.first; j < seg.end; ++j)
    if (!hops[j].groomed) m &= links.free_words[links.links[hops[j].link].free_mask + k];
  return m;
}

// w has `slots` free slots on every hop of the segment that grooms at both
// ends.
inline bool fits_groomed(const LinkState& links, const Hop* hops, const Segment& seg, uint32_t w, uint32_t slots) {
  for (uint32_t j = seg.first; j < seg.end; ++j)
    if (hops[j].groomed && links.channels[links.links[hops[j].link].channels + w] < slots) return false;
  return true;
}

// The fit rule for one segment and one call, read from the free masks: a
// wavelength is a candidate when it is entirely free on every hop that does
// not groom at both ends, and a candidate fits when the hops that groom have
// room for the call. A segment whose wavelengths all lie in the first mask
// word (the usual case) has its candidates ANDed once, so every later test
// is a bit test; wider segments AND the word they need.
class SegmentFit {
 public:
  SegmentFit(const LinkState& links, const Hop* hops, const Segment& seg, uint32_t slots)
      : links_(links), hops_(hops), seg_(seg), slots_(slots), one_word_(hops[seg.first].bound <= 64) {
    bool whole = false;
    uint64_t m = ~uint64_t(0);
    for (uint32_t j = seg.first; j < seg.end; ++j) {
      if (hops[j].groomed) {
        groomed_ = true;
      } else {
        whole = true;
        if (one_word_) m &= links.free_words[links.links[hops[j].link].free_mask];
      }
    }
    // A call larger than a wavelength never fits where it needs a whole one.
    closed_ = whole && slots > links.slots_per_wavelength;
    word0_ = closed_ ? 0 : m;
  }

  // Word k of the candidates.
  uint64_t candidates(uint32_t k) const {
    if (one_word_) return word0_;
    return closed_ ? 0 : free_on_segment(links_, hops_, seg_, k);
  }
  bool fits(uint32_t w) const {
    return ((candidates(w / 64) >> (w % 64)) & 1) && (!groomed_ || fits_groomed(links_, hops_, seg_, w, slots_));
  }

  // The first wavelength of [low, end) that fits, in increasing order (or
  // decreasing with kDownwards), as its distance from where the scan
  // starts; end - low when none fits. A word without a candidate costs one
  // AND per hop.
  template <bool kDownwards>
  uint32_t first_offset(uint32_t low, uint32_t end) const {
    if (low >= end) return 0;
    const uint32_t first_word = low / 64, last_word = (end - 1) / 64;
    const uint64_t from_low = ~uint64_t(0) << (low % 64), below_end = ~uint64_t(0) >> (63 - (end - 1) % 64);
    for (uint32_t i = 0; i <= last_word - first_word; ++i) {
      const uint32_t k = kDownwards ? last_word - i : first_word + i;
      uint64_t m = candidates(k);
      if (k == first_word) m &= from_low;
      if (k == last_word) m &= below_end;
      while (m) {
        const uint32_t bit = kDownwards ? 63 - std::countl_zero(m) : std::countr_zero(m);
        const uint32_t w = k * 64 + bit;
        if (!groomed_ || fits_groomed(links_, hops_, seg_, w, slots_)) return kDownwards ? end - 1 - w : w - low;
        m &= ~(uint64_t(1) << bit);
      }
    }
    return end - low;
  }
  // Some hop of the segment grooms at both ends.
  bool grooms() const { return groomed_; }
  // Some wavelength of [low, end) fits.
  bool any(uint32_t low, uint32_t end) const {
    if (low >= end) return false;
    if (one_word_ && !groomed_) return (word0_ & (~uint64_t(0) << low) & (~uint64_t(0) >> (64 - end))) != 0;
    return first_offset<false>(low, end) < end - low;
  }

 private:
  const LinkState& links_;
  const Hop* hops_;
  Segment seg_;
  uint32_t slots_;
  bool one_word_;
  bool groomed_ = false;  // some hop grooms at both ends
  bool closed_ = false;   // nothing can fit
  uint64_t word0_ = 0;
};

// The trials of n wavelengths of which none fits, one after the other: all
// n counted, or the call blocked where the attempt limit falls among them.
inline Pick fail_all(RwaContext& c, uint32_t n) {
  const uint32_t allowed = std::min(n, c.attempts_left());
  c.count_attempts(allowed);
  if (allowed == n) return Pick::path_fails;
  c.refusal = Refusal::attempt_limit;
  return Pick::blocked;
}

// First fit (last fit with kDownwards) over the segment's window, with the
// attempts counted as a trial of one wavelength after the other would count
// them: every wavelength up to the one taken, and the call blocked when the
// limit falls inside the window before a fit.
template <bool kDownwards>
Pick scan_segment(RwaContext& c, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) {
  uint32_t low, end;
  scan_window(*c.links, hops[seg.first], low, end);
  if (low >= end) return Pick::path_fails;
  const uint32_t n = end - low;
  const uint32_t allowed = std::min(n, c.attempts_left());
  const SegmentFit fit(*c.links, hops, seg, slots);
  const uint32_t i = kDownwards ? fit.first_offset<true>(end - allowed, end) : fit.first_offset<false>(low, low + allowed);
  if (i < allowed) {
    c.count_attempts(i + 1);
    w = kDownwards ? end - 1 - i : low + i;
    return Pick::found;
  }
  return fail_all(c, n);
}

template <AssignmentPolicy Policy>
bool assign_call(RwaContext& c, const RoutingHalf& routing, Policy& policy, uint32_t s, uint32_t d,
                 HopArray& wavelengths, uint32_t& path_out, uint32_t slots) {
  c.attempts = 0;
  for (int32_t candidate = routing.first(c, routing.state, s, d); candidate != -1;
       candidate = routing.next(c, routing.state)) {
    const uint32_t path = policy.path_of(c, candidate);
    const Path& p = c.paths->paths[path];
    const Hop* hops = c.paths->path_hops(p);
    wavelengths.resize(p.hops);
    bool placed = true;
    Segment seg{0, 0, 0};
    while (seg.first < p.hops) {
      seg.end = seg.first;
      while (!hops[seg.end].ends_segment) ++seg.end;
      ++seg.end;
      uint32_t w = 0;
      const Pick pick = policy.choose(c, path, hops, seg, slots, w);
      if (pick == Pick::blocked) {
        wavelengths.clear();
        return false;
      }
      if (pick == Pick::path_fails) {
        placed = false;
        break;
      }
      for (uint32_t k = seg.first; k < seg.end; ++k) wavelengths[k] = w;
      seg.first = seg.end;
      ++seg.ordinal;
    }
    if (placed) {
      path_out = path;
      policy.commit(c, path, wavelengths, slots);
      routing.commit(c, routing.state, slots);
      return true;
    }
  }
  wavelengths.clear();
  return false;
}

}  // namespace lumtra
