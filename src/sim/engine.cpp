#include "sim/engine.h"

#include "run/run.h"

namespace lumtra {

void seed_pair_streams(Run&) {}
void run_batches(Run&) {}
void run_batch(Run&, uint32_t) {}

}  // namespace lumtra
