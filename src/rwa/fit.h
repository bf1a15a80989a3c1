// First fit, last fit and random: their routing halves and assignment
// halves, and the Shuffle vector used to draw without replacement from the
// Method stream.
#pragma once

#include <cstdint>
#include <vector>

#include "base/lehmer.h"
#include "rwa/rwa.h"

namespace lumtra {

// Values first .. end-1, drawn without replacement since the last reset.
struct ShuffleVector {
  std::vector<uint32_t> items;
  uint32_t cursor = 0;
  uint32_t size = 0;

  void reset(uint32_t first, uint32_t end) {
    size = end - first;
    items.resize(size);  // keeps its capacity between requests
    for (uint32_t i = 0; i < size; ++i) items[i] = first + i;
    cursor = 0;
  }
  bool exhausted() const { return cursor >= size; }
  uint32_t pick(Lehmer& stream) {
    double u = stream.uniform();
    uint32_t k = cursor + static_cast<uint32_t>(u * (size - cursor));
    std::swap(items[cursor], items[k]);
    ++cursor;
    return items[cursor - 1];
  }
};

// The state of the fit family in one lane: the draws of random routing and
// random assignment.
struct FitState {
  ShuffleVector routes;       // random routing, over path indices
  ShuffleVector wavelengths;  // random assignment, over wavelength indices
};

RoutingHalf first_fit_routing(FitState& state);
RoutingHalf last_fit_routing(FitState& state);
// With priority routing, the paths of a group are tried in random order and
// a group is entered only when every path of the groups before it failed.
RoutingHalf random_routing(FitState& state, bool priority_groups);

AssignmentHalf first_fit_assignment(FitState& state);
AssignmentHalf last_fit_assignment(FitState& state);
AssignmentHalf random_assignment(FitState& state);

}  // namespace lumtra
