#include "sim/replication.h"

namespace lumtra {

void prepare_replication_lane(Lane& lane) {
  lane.paired = true;
  lane.paired_streams.resize(lane.pair_streams.size());
}

void start_replication(Lane& lane, const MethodSet& prepared, uint32_t run_seed, uint32_t b) {
  copy_method_state(lane.methods, prepared);
  lane.method_counter.start(run_seed, StreamPurpose::method, b, 0);
  lane.methods.rwa.context.stream.counter = &lane.method_counter;
  for (size_t k = 0; k < lane.paired_streams.size(); ++k) {
    PairedStreams& s = lane.paired_streams[k];
    const uint32_t pair = static_cast<uint32_t>(k);
    s.arrivals.start(run_seed, StreamPurpose::arrivals, b, pair);
    s.holding.start(run_seed, StreamPurpose::holding, b, pair);
    s.sizes.start(run_seed, StreamPurpose::sizes, b, pair);
  }
}

}  // namespace lumtra
