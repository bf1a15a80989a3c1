// Replications: batches that are independent of each other. A lane that
// runs batch b of a parallel run starts from the method state its methods
// had before any batch and draws from streams of its own, seeded from the
// run's seed and b (base/stream_seeds.h), so the batch gives the same
// counts whichever thread runs it and whatever ran before.
#pragma once

#include <cstdint>

#include "methods/table.h"
#include "sim/engine.h"

namespace lumtra {

// Sets up `lane` for batch `b`: the method state of `prepared`, and the
// Method, Generator and Pair streams of (run_seed, b).
void start_replication(Lane& lane, const MethodSet& prepared, uint32_t run_seed, uint32_t b);

}  // namespace lumtra
