// Replications: batches that are independent of each other. A lane that
// runs batch b of a parallel run starts from the method state its methods
// had before any batch and draws from counter-based streams of its own
// (base/philox.h), named by the run's seed, b, the purpose and the pair, so
// the batch gives the same counts whichever thread runs it and whatever ran
// before. The traffic streams are apart from the Method stream, so two
// methods run with the same seed see the same calls in every batch.
#pragma once

#include <cstdint>

#include "methods/table.h"
#include "sim/engine.h"

namespace lumtra {

// What the JSON document and the manual call the replication streams.
inline constexpr const char* kReplicationGenerator = "philox4x32-10";
// ... and the classic streams.
inline constexpr const char* kClassicGenerator = "lehmer-16807-mod-2^31";

// Gives `lane` the paired traffic streams of the replication mode.
void prepare_replication_lane(Lane& lane);

// Sets up `lane` for batch `b`: the method state of `prepared`, and the
// Method stream and the traffic streams of every pair for (run_seed, b).
void start_replication(Lane& lane, const MethodSet& prepared, uint32_t run_seed, uint32_t b);

}  // namespace lumtra
