// The common placement skeleton shared by every wavelength-assignment method
// except the exhaustive automaton: ask the routing half for candidate paths,
// walk each path segment by segment, let the method pick a wavelength per
// segment under the one fit rule, count every trial against the attempt
// limit, and commit the first path whose segments all found a wavelength.
// Methods differ only in the order in which they try wavelengths, which they
// supply as a policy object.
#pragma once

#include <cstdint>

#include "run/run.h"

namespace lumtra {

// The hops [first, end) of a path on which a call keeps one wavelength.
struct Segment {
  uint32_t first;
  uint32_t end;
  uint32_t ordinal;  // 0 for the path's first segment
};

enum class Pick { found, path_fails, blocked };

// Counts one wavelength trial of the current call; false when the call has
// already reached the attempt limit (the call is then blocked).
inline bool count_attempt(Run& run) {
  if (run.request.attempts >= run.config.max_attempts) return false;
  ++run.request.attempts;
  run.total_attempts += 1.0;
  return true;
}

// The fit rule: wavelength w fits a hop when it has `slots` free slots there
// and, unless both ends of the hop groom, carries no other call.
inline bool fits_hop(const Network& net, const Hop& hop, uint32_t w, uint32_t slots) {
  uint32_t free = net.channels[net.links[hop.link].channels + w];
  if (hop.groomed) return free >= slots;
  return free == net.slots_per_wavelength && free >= slots;
}

// w fits every hop of the segment, checked from its first hop.
inline bool fits_segment(const Network& net, const Hop* hops, const Segment& seg, uint32_t w,
                         uint32_t slots) {
  for (uint32_t k = seg.first; k < seg.end; ++k)
    if (!fits_hop(net, hops[k], w, slots)) return false;
  return true;
}

// The wavelengths worth scanning for a segment: from the free-wavelength
// window of its first link, cut at the segment's wavelength bound.
inline void scan_window(const Network& net, const Hop& first_hop, uint32_t& low, uint32_t& end) {
  const Link& l = net.links[first_hop.link];
  low = l.low;
  end = l.high_end < first_hop.bound ? l.high_end : first_hop.bound;
}

// Runs the skeleton. `policy` supplies:
//   uint32_t path_of(Run&, int32_t candidate)  -> index into run.paths.paths
//   Pick choose(Run&, uint32_t path, const Hop* hops, const Segment&, uint32_t slots, uint32_t& w)
//   void commit(Run&, uint32_t path, const HopArray&, uint32_t slots)  (before route_commit)
template <class Policy>
bool place_call(Run& run, uint32_t s, uint32_t d, HopArray& wavelengths, uint32_t& path_out,
                uint32_t slots, Policy& policy) {
  run.request.attempts = 0;
  for (int32_t candidate = run.slots.route_first(run, s, d); candidate != -1;
       candidate = run.slots.route_next(run)) {
    const uint32_t path = policy.path_of(run, candidate);
    const Path& p = run.paths.paths[path];
    const Hop* hops = run.paths.path_hops(p);
    wavelengths.resize(p.hops);
    bool placed = true;
    Segment seg{0, 0, 0};
    while (seg.first < p.hops) {
      seg.end = seg.first;
      while (!hops[seg.end].ends_segment) ++seg.end;
      ++seg.end;
      uint32_t w = 0;
      Pick pick = policy.choose(run, path, hops, seg, slots, w);
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
      policy.commit(run, path, wavelengths, slots);
      run.slots.route_commit(run, slots);
      return true;
    }
  }
  wavelengths.clear();
  return false;
}

// Candidates from the routing half are indices into the pair's Path list.
inline uint32_t list_path(const Run& run, int32_t candidate) {
  return run.paths.list(run.request.source, run.request.destination).first + static_cast<uint32_t>(candidate);
}

}  // namespace lumtra
