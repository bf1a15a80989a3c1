#include "sim/replication.h"

#include "base/stream_seeds.h"

namespace lumtra {

void start_replication(Lane& lane, const MethodSet& prepared, uint32_t run_seed, uint32_t b) {
  copy_method_state(lane.methods, prepared);
  lane.methods.rwa.context.stream.state = replication_seed(run_seed, b, kMethodStreamNumber);
  lane.generator_stream.state = replication_seed(run_seed, b, kGeneratorStreamNumber);
  for (size_t k = 0; k < lane.pair_streams.size(); ++k)
    lane.pair_streams[k].state = replication_seed(run_seed, b, kFirstPairStreamNumber + k);
}

}  // namespace lumtra
