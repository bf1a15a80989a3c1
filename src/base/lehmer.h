// Lehmer stream: the multiplicative generator every random number of a run
// comes from (Method, Generator and Pair streams). One step is
// x <- (16807 * x) mod 2^32, keeping the low 31 bits; the draw is x / 2^31.
// A seed in 1 .. 2^31-1 never reaches 0, so draws lie strictly in (0, 1).
#pragma once

#include <cstdint>

namespace lumtra {

struct Lehmer {
  uint32_t state = 1;

  uint32_t step() {
    state = (state * 16807u) & 0x7FFFFFFFu;
    return state;
  }
  double uniform() { return step() * 4.656612873077393e-10; }
};

}  // namespace lumtra
