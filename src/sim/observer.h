// What a lane watches while its batches run, when a report asks for it:
// why each blocked call was blocked, which fibres ran out of wavelengths for
// it, and how busy every fibre, every wavelength index and every pair was
// over the counted time of the batch.
//
// The engine calls the Observer just before it takes or gives back capacity,
// when it has placed a call and when it has blocked one; everything else
// runs at the batch's start and end. Nothing is allocated per event.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "network/network.h"
#include "paths/path_table.h"
#include "rwa/rwa.h"
#include "sim/options.h"

namespace lumtra {

// Why a call was blocked. Every blocked call has exactly one cause.
enum class BlockCause : uint8_t {
  no_wavelength,  // no wavelength free over every hop of a segment, on every candidate path
  no_slots,       // a wavelength was free over every hop, but with too few time slots (grooming)
  attempt_limit,  // a path would have fit, but the attempt limit (-at) stopped the search
  no_path,        // the pair has no candidate path
  refused,        // a plug-in refused the call
};
inline constexpr size_t kCauseCount = 5;
// The cause's name in reports ("no_wavelength").
const char* cause_key(size_t cause);
// Its description for people ("no free wavelength").
const char* cause_text(size_t cause);

// The stretch of a batch over which utilisation is averaged.
struct CountedWindow {
  double start = 0.0;
  double end = 0.0;
  double length() const { return end - start; }
};
// The counted time of every batch: what follows the warm-up.
inline CountedWindow counted_window(const SimOptions& options) {
  return {options.warmup, options.warmup + options.batch_time};
}

// What one batch observed. Per-pair tables are T x T by raw node index
// (Virtual nodes apart); per-fibre tables are indexed by link (u * T + v).
struct Observations {
  bool active = false;
  double counted_time = 0.0;
  std::vector<std::array<uint64_t, kCauseCount>> causes;  // per pair
  std::vector<uint64_t> charges;          // per fibre: blocked calls that found its free set empty
  std::vector<double> wavelength_time;    // per fibre: integral of busy wavelengths
  std::vector<double> slot_time;          // per fibre: integral of busy time slots
  std::vector<double> index_time;         // per wavelength index: integral of fibres where it is busy
  std::vector<double> carried_time;       // per pair: time its carried calls were held
  std::vector<double> hop_time;           // per pair: hops x time held, over every part of a call
  std::vector<double> slot_hop_time;      // per pair: slots x hops x time held

  // Sizes every table for the network and zeroes it.
  void clear(const Network& net, uint32_t widest);
  // Adds another batch's observations (same network).
  void add(const Observations& other);
};

// What observing takes per lane for `net`: the observer's tables and a
// batch record's copy of them.
uint64_t observation_bytes(const Network& net);

class Observer {
 public:
  // Sizes the observer's tables; `window` is the counted time of every batch.
  void prepare(const Network& net, const PathTable& paths, CountedWindow window);
  // Start of a batch: every fibre empty.
  void start_batch();
  // Before a call's `slots` are taken on (given back to) wavelength w[k] of
  // hop k of its path, for every hop, at time `t`.
  //
  // A level that changes by d at time t adds d x (end - t) to its integral
  // over the window (t clamped to the window), so no change needs to know
  // when the one before it was.
  void before_take(const LinkState& links, const Hop* hops, uint32_t n, const uint32_t* w, uint32_t slots, double t) {
    const double rest = window_.end - clamp(t);
    for (uint32_t k = 0; k < n; ++k) {
      const uint32_t link = hops[k].link;
      obs_.slot_time[link] += double(slots) * rest;
      if (links.channels[links.links[link].channels + w[k]] != links.slots_per_wavelength || slots == 0) continue;
      obs_.wavelength_time[link] += rest;  // the wavelength turns busy
      obs_.index_time[w[k]] += rest;
    }
  }
  void before_give(const LinkState& links, const Hop* hops, uint32_t n, const uint32_t* w, uint32_t slots, double t) {
    const double rest = window_.end - clamp(t);
    for (uint32_t k = 0; k < n; ++k) {
      const uint32_t link = hops[k].link;
      obs_.slot_time[link] -= double(slots) * rest;
      if (links.channels[links.links[link].channels + w[k]] + slots != links.slots_per_wavelength || slots == 0)
        continue;
      obs_.wavelength_time[link] -= rest;  // the wavelength turns free
      obs_.index_time[w[k]] -= rest;
    }
  }
  // A placed call of pair `pair`, or one part of it when it is split (-m):
  // `hops` hops, `slots` slots on each, held from `from` to `until`.
  // `counts_call` for the whole call or its first part only.
  void carried(size_t pair, uint32_t hops, uint32_t slots, double from, double until, bool counts_call) {
    const double h = held(from, until);
    obs_.hop_time[pair] += double(hops) * h;
    obs_.slot_hop_time[pair] += double(hops) * double(slots) * h;
    if (counts_call) obs_.carried_time[pair] += h;
  }
  // A call of `slots` slots from u to v arriving at time `t` was blocked;
  // `c` is the context of the placement that gave up, `links` the state it
  // saw. Calls before the counted time are not counted.
  void blocked(const RwaContext& c, const LinkState& links, uint32_t u, uint32_t v, uint32_t slots, double t);
  // End of the batch: hands the batch's observations over (the observer's
  // own are cleared at the next start).
  void finish_batch(Observations& out);

 private:
  double clamp(double t) const { return std::min(std::max(t, window_.start), window_.end); }
  double held(double from, double until) const { return clamp(until) - clamp(from); }
  // Whether the segment [first, end) of a path has a wavelength free on
  // every hop (continuity) and one with `slots` slots on every hop (fit);
  // the fibre where the free set became empty is left in `empty_at`.
  void segment(const LinkState& links, const Hop* hops, uint32_t first, uint32_t end, uint32_t slots,
               bool& continuous, bool& fits, uint32_t& empty_at);

  const Network* net_ = nullptr;
  const PathTable* paths_ = nullptr;
  CountedWindow window_;
  Observations obs_;
  uint32_t widest_ = 0;                     // wavelengths of the widest fibre
  std::vector<uint64_t> stamp_;             // per fibre: the last blocked call that found it empty
  std::vector<uint32_t> empty_fibres_;      // the fibres the call being classified found empty, once each
  std::vector<uint64_t> free_, fit_;        // wavelength sets of the segment being checked
  uint64_t blocked_calls_ = 0;
};

}  // namespace lumtra
