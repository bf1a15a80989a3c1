// Load and congestion routing (-ll, -ml, -wlcr, -wmcr): orders the paths of a
// pair by the current link state at every request.
//
// Least and most loaded rank a path by its Bottleneck free slots (the
// smallest `free_slots` of its links, all wavelengths together); weighted
// least and most congestion rank it by its Congestion weight (per segment,
// the per-wavelength end-to-end free slots summed over the wavelengths below
// the segment's bound; the smallest segment sum over the path, divided by
// the square root of the hop count). Ranks are taken once per request, in
// route_first; route_next walks the resulting Route order. With -pr the
// order is sorted inside each priority group only, and the paths behind the
// last group boundary (G-Fabric switching variants) keep list order and come
// last. Only routing: wavelengths are chosen by the installed assignment.
#pragma once

#include <cstdint>
#include <vector>

#include "base/status.h"
#include "network/network.h"
#include "paths/options.h"
#include "paths/path_table.h"
#include "rwa/rwa.h"

namespace lumtra {

struct LoadState;

// Three-way comparison of two path indices of the current pair, reading the
// measures of the current request: negative when `a` is to be tried first.
using PathCompare = int (*)(const LoadState&, uint32_t a, uint32_t b);

struct LoadState {
  PathCompare compare = nullptr;  // larger/smaller free slots or weight first
  bool priority_routing = false;  // sort inside each priority group only

  // Working arrays of the request in progress, indexed by path index within
  // the pair's list; sized once for the longest list and reused.
  std::vector<uint64_t> measure;  // Bottleneck free slots
  std::vector<uint32_t> order;    // Route order of least/most loaded
  std::vector<double> weights;    // Congestion weights
  std::vector<uint32_t> merge_buffer;
  std::vector<const uint32_t*> rows;  // Channel rows of one segment's links

  // The Route order of every pair under weighted congestion routing, kept
  // between the requests of a batch: the entries of pair (s, d) start at its
  // PathList::first. Identity at every batch start.
  std::vector<uint32_t> congestion_orders;
};

// Routing codes 10 to 13.
RoutingHalf load_routing(LoadState& state, int16_t code, const PathOptions& paths);
// Sizes the working arrays and the per-pair Route orders once the path
// table exists.
Status prepare_load(LoadState& state, const PathTable& paths, int16_t routing_code);
// Start of every batch.
void reset_load(LoadState& state, const PathTable& paths, int16_t routing_code);

// Every pair's congestion Route order back to 0, 1, ..., count-1.
void reset_congestion_state(LoadState& state, const PathTable& paths);

// Measures of one path under the present link state.
uint64_t bottleneck_free_slots(const LinkState& links, const PathTable& paths, const Path& path);
// `scratch` lends its working arrays.
double congestion_weight(const LinkState& links, const PathTable& paths, const Path& path, LoadState& scratch);

}  // namespace lumtra
