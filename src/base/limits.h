// Sentinel values shared by the whole program: a real value not given, an
// unbounded hop count, no limit on a count.
#pragma once

#include <cstdint>

namespace lumtra {

inline constexpr double kRealNotGiven = 4294967295.0;
inline constexpr int32_t kUnbounded = 2147483647;
inline constexpr uint32_t kNoLimit = 4294967295u;

}  // namespace lumtra
