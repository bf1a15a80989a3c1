// The options of the routing and wavelength-assignment methods: the two
// method codes, the learning-automata constants, the attempt limit and the
// single-list variant of priority routing.
#pragma once

#include <cstdint>

#include "base/limits.h"

namespace lumtra {

// Method codes; the numbering is the one users see in the manual. The
// method table (methods/table.h) gives each its letters, name and role.
enum MethodCode : int16_t {
  kFirstFit = 0,
  kRandom = 1,
  kFastLA = 2,
  kExhaustiveLA = 3,
  kLastFit = 4,
  kDeterministicLA = 5,
  kMostUsed = 6,
  kLocalMostUsed = 7,
  kLeastUsed = 8,
  kLocalLeastUsed = 9,
  kLeastLoaded = 10,
  kMostLoaded = 11,
  kWeightedLeastCongestion = 12,
  kWeightedMostCongestion = 13,
};
inline constexpr int16_t kMethodCount = 14;

struct MethodOptions {
  int16_t routing_code = -1;  // first method option; -1 until validated
  int16_t wa_code = -1;       // second method option
  double alpha = kRealNotGiven;    // -al
  double epsilon = kRealNotGiven;  // -ep
  uint32_t max_attempts = kNoLimit;  // -at
  bool single_la_list = false;       // -sla

  // The learning-automata constants are needed by fast LA routing and by
  // fast or exhaustive LA assignment.
  bool needs_la_constants() const {
    return routing_code == kFastLA || wa_code == kFastLA || wa_code == kExhaustiveLA;
  }
};

}  // namespace lumtra
