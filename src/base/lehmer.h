// Lehmer stream: the multiplicative generator every random number of a
// classic run comes from (Method, Generator and Pair streams; the
// replication mode draws from counter-based streams, base/philox.h). One
// step is
// x <- (16807 * x) mod 2^32, keeping the low 31 bits; the draw is x / 2^31.
// A seed in 1 .. 2^31-1 never reaches 0, so draws lie strictly in (0, 1).
#pragma once

#include <cstdint>

#include "base/philox.h"

namespace lumtra {

struct Lehmer {
  uint32_t state = 1;
  // In the replication mode (--parallel) the Method stream of a batch draws
  // from a counter-based stream of the lane's instead; null otherwise.
  CounterStream* counter = nullptr;

  uint32_t step() {
    state = (state * 16807u) & 0x7FFFFFFFu;
    return state;
  }
  double uniform() {
    if (counter) [[unlikely]]
      return counter->uniform();
    return step() * 4.656612873077393e-10;
  }
  // Where k steps would leave the stream, in O(log k): the state times
  // 16807^k, all modulo 2^31.
  void skip(uint32_t k) {
    if (counter) return counter->skip(k);
    uint32_t factor = 1, power = 16807;
    for (; k; k >>= 1) {
      if (k & 1) factor = (factor * power) & 0x7FFFFFFFu;
      power = (power * power) & 0x7FFFFFFFu;
    }
    state = (state * factor) & 0x7FFFFFFFu;
  }
};

}  // namespace lumtra
