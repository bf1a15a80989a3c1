// First fit, last fit and random: routing halves, assignment halves, the
// Method stream draw `uniform_random` and the Shuffle vector used to draw
// without replacement.
#pragma once

#include <cstdint>
#include <vector>

#include "base/lehmer.h"

namespace lumtra {

struct Run;

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

struct FitState {
  ShuffleVector routes;       // random routing, over path indices
  ShuffleVector wavelengths;  // random assignment, over wavelength indices
};

// Fills the routing slots for codes 0, 1, 4 and the assignment slot for WA
// codes 0, 1, 4 (and 10, 11, which assign by first fit).
void install_fit_routing(Run& run);
void install_fit_assign(Run& run);

}  // namespace lumtra
