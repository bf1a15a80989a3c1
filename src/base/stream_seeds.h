// Seeds of independent random streams from a run's seed and a counter: the
// streams of batch b in parallel runs, where every batch is a replication
// of its own and must not depend on which batches ran before it or on
// which thread runs it.
//
// The mix is SplitMix64 (Steele, Lea and Flood, 2014): for the run seed S,
// batch b and stream k,
//   key = S * 2^32 + b,   x = splitmix64(key XOR splitmix64(k)),
// and the Lehmer seed is bits 33 .. 63 of x with the lowest bit set, so it
// is odd and lies in 1 .. 2^31 - 1 like every other stream seed. Streams
// are numbered: 0 the Method stream, 1 the Generator stream, 2 + u * T + v
// the Pair stream of (u, v).
#pragma once

#include <cstdint>

namespace lumtra {

inline uint64_t splitmix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

inline uint32_t replication_seed(uint32_t run_seed, uint32_t batch, uint64_t stream) {
  const uint64_t key = (uint64_t(run_seed) << 32) | batch;
  const uint64_t x = splitmix64(key ^ splitmix64(stream));
  return static_cast<uint32_t>(x >> 33) | 1u;
}

inline constexpr uint64_t kMethodStreamNumber = 0;
inline constexpr uint64_t kGeneratorStreamNumber = 1;
inline constexpr uint64_t kFirstPairStreamNumber = 2;

}  // namespace lumtra
