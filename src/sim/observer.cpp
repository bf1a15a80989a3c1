#include "sim/observer.h"

#include <algorithm>
#include <bit>

namespace lumtra {

namespace {

constexpr const char* kCauseKeys[kCauseCount] = {"no_wavelength", "no_slots", "attempt_limit", "no_path", "refused"};
constexpr const char* kCauseTexts[kCauseCount] = {"no free wavelength", "too few free slots", "attempt limit",
                                                  "no candidate path", "refused by a plug-in"};

template <class T>
void add_into(std::vector<T>& to, const std::vector<T>& from) {
  for (size_t i = 0; i < to.size() && i < from.size(); ++i) to[i] += from[i];
}

bool none(const std::vector<uint64_t>& words) {
  for (uint64_t w : words)
    if (w) return false;
  return true;
}

}  // namespace

const char* cause_key(size_t cause) { return kCauseKeys[cause]; }
const char* cause_text(size_t cause) { return kCauseTexts[cause]; }

void Observations::clear(const Network& net, uint32_t widest) {
  const size_t n = size_t(net.total_nodes) * net.total_nodes;
  active = true;
  counted_time = 0.0;
  causes.assign(n, {});
  charges.assign(n, 0);
  wavelength_time.assign(n, 0.0);
  slot_time.assign(n, 0.0);
  index_time.assign(widest, 0.0);
  carried_time.assign(n, 0.0);
  hop_time.assign(n, 0.0);
  slot_hop_time.assign(n, 0.0);
}

void Observations::add(const Observations& o) {
  if (!active) {
    *this = o;
    return;
  }
  counted_time += o.counted_time;
  for (size_t i = 0; i < causes.size() && i < o.causes.size(); ++i)
    for (size_t k = 0; k < kCauseCount; ++k) causes[i][k] += o.causes[i][k];
  add_into(charges, o.charges);
  add_into(wavelength_time, o.wavelength_time);
  add_into(slot_time, o.slot_time);
  add_into(index_time, o.index_time);
  add_into(carried_time, o.carried_time);
  add_into(hop_time, o.hop_time);
  add_into(slot_hop_time, o.slot_hop_time);
}

uint64_t observation_bytes(const Network& net) {
  const uint64_t pairs = uint64_t(net.total_nodes) * net.total_nodes;
  uint32_t widest = 0;
  for (uint32_t c : net.capacity) widest = std::max(widest, c);
  const uint64_t per_pair = sizeof(std::array<uint64_t, kCauseCount>) + sizeof(uint64_t) + 5 * sizeof(double);
  return 2 * (pairs * per_pair + uint64_t(widest) * sizeof(double)) + pairs * sizeof(uint64_t) +
         4 * mask_words(widest) * sizeof(uint64_t);
}

void Observer::prepare(const Network& net, const PathTable& paths, CountedWindow window) {
  net_ = &net;
  paths_ = &paths;
  window_ = window;
  uint32_t widest = 0;
  for (uint32_t c : net.capacity) widest = std::max(widest, c);
  widest_ = widest;
  obs_.clear(net, widest);
  const size_t n = obs_.charges.size();
  stamp_.assign(n, 0);
  empty_fibres_.reserve(n);
  free_.assign(mask_words(widest), 0);
  fit_.assign(mask_words(widest), 0);
}

void Observer::start_batch() {
  obs_.clear(*net_, widest_);
  obs_.counted_time = window_.length();
}

void Observer::segment(const LinkState& links, const Hop* hops, uint32_t first, uint32_t end, uint32_t slots,
                       bool& continuous, bool& fits, uint32_t& empty_at) {
  // Only wavelengths below the segment's bound exist on all of its hops.
  const uint32_t bound = hops[first].bound;
  const size_t words = mask_words(bound);
  for (size_t k = 0; k < free_.size(); ++k) {
    const uint64_t all = k < words ? (k + 1 < words || bound % 64 == 0 ? ~uint64_t(0) : (uint64_t(1) << bound % 64) - 1)
                                   : 0;
    free_[k] = fit_[k] = all;
  }
  if (slots > links.slots_per_wavelength) std::fill(fit_.begin(), fit_.end(), 0);
  continuous = fits = false;
  for (uint32_t j = first; j < end; ++j) {
    const Link& l = links.links[hops[j].link];
    if (hops[j].groomed) {
      // A wavelength of a hop between grooming nodes is free while it has a
      // slot left, and fits while it has the call's.
      const uint32_t* channel = links.channels_of(l);
      for (size_t k = 0; k < words; ++k)
        for (uint64_t m = free_[k]; m;) {
          const uint32_t bit = std::countr_zero(m);
          m &= m - 1;
          const uint32_t left = channel[k * 64 + bit];
          if (left == 0) free_[k] &= ~(uint64_t(1) << bit);
          if (left < slots) fit_[k] &= ~(uint64_t(1) << bit);
        }
    } else {
      const uint64_t* mask = links.free_mask_of(l);
      for (size_t k = 0; k < words; ++k) {
        free_[k] &= mask[k];
        fit_[k] &= mask[k];
      }
    }
    if (none(free_)) {
      empty_at = hops[j].link;
      return;
    }
  }
  continuous = true;
  fits = !none(fit_);
}

void Observer::blocked(const RwaContext& c, const LinkState& links, uint32_t u, uint32_t v, uint32_t slots,
                       double t) {
  if (t < window_.start) return;
  const size_t pair = net_->at(u, v);
  std::array<uint64_t, kCauseCount>& count = obs_.causes[pair];
  const PathList& list = paths_->list(u, v);
  if (list.count == 0) return void(++count[size_t(BlockCause::no_path)]);
  // Every candidate path, segment by segment: a path is continuous when
  // each of its segments has a wavelength free on all its hops, and fits
  // when each has one with room for the call.
  bool any_continuous = false, any_fits = false;
  empty_fibres_.clear();
  ++blocked_calls_;
  for (uint32_t k = 0; k < list.count; ++k) {
    const Path& p = paths_->paths[list.first + k];
    const Hop* hops = paths_->path_hops(p);
    bool path_continuous = true, path_fits = true;
    for (uint32_t first = 0; first < p.hops;) {
      uint32_t end = first;
      while (!hops[end].ends_segment) ++end;
      ++end;
      bool continuous, fits;
      uint32_t empty_at = 0;
      segment(links, hops, first, end, slots, continuous, fits, empty_at);
      if (!continuous && stamp_[empty_at] != blocked_calls_) {
        stamp_[empty_at] = blocked_calls_;  // each fibre once per call
        empty_fibres_.push_back(empty_at);
      }
      path_continuous &= continuous;
      path_fits &= fits;
      first = end;
    }
    any_continuous |= path_continuous;
    any_fits |= path_fits;
  }
  // The limit, or a plug-in's refusal, is the cause only where it stopped a
  // search that could have succeeded; a call that would not have fit anyway
  // is blocked for want of room. Every built-in method tries every candidate
  // path until the limit, so a path that fits is missed only when the limit
  // stops the search.
  BlockCause cause = BlockCause::no_wavelength;
  if (any_fits && c.refusal == Refusal::attempt_limit)
    cause = BlockCause::attempt_limit;
  else if (any_fits && c.refusal == Refusal::plugin)
    cause = BlockCause::refused;
  else if (any_continuous)
    cause = BlockCause::no_slots;
  ++count[size_t(cause)];
  if (cause != BlockCause::no_wavelength) return;
  for (uint32_t link : empty_fibres_) ++obs_.charges[link];
}

void Observer::finish_batch(Observations& out) { std::swap(out, obs_); }

}  // namespace lumtra
