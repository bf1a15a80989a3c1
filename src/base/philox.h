// Counter-based random streams for replications: Philox4x32-10 (Salmon,
// Moraes, Dror and Shaw, "Parallel random numbers: as easy as 1, 2, 3",
// SC 2011). A block of four 32-bit words is a keyed bijection of a 128-bit
// counter, so a stream is just a run of counters, and two streams whose
// (key, counter) inputs never coincide never share a block.
//
// A stream is named by (run seed, purpose, batch, number):
//   key     = (run seed, purpose)
//   counter = (block index, low 32 bits; block index, high 32 bits; batch; number)
// so every (seed, purpose, batch, number) owns 2^64 blocks (2^66 draws) of
// its own and no two streams can overlap, whatever their lengths. Each draw
// takes one word w and gives (w + 1/2) / 2^32, strictly between 0 and 1.
#pragma once

#include <cstdint>

namespace lumtra {

// One Philox4x32-10 block: `ctr` is replaced by the output.
inline void philox4x32_10(uint32_t ctr[4], const uint32_t key[2]) {
  uint32_t k0 = key[0], k1 = key[1];
  for (int round = 0; round < 10; ++round) {
    const uint64_t p0 = uint64_t(0xD2511F53u) * ctr[0];
    const uint64_t p1 = uint64_t(0xCD9E8D57u) * ctr[2];
    const uint32_t c0 = uint32_t(p1 >> 32) ^ ctr[1] ^ k0;
    const uint32_t c2 = uint32_t(p0 >> 32) ^ ctr[3] ^ k1;
    ctr[0] = c0;
    ctr[1] = uint32_t(p1);
    ctr[2] = c2;
    ctr[3] = uint32_t(p0);
    k0 += 0x9E3779B9u;
    k1 += 0xBB67AE85u;
  }
}

// What a counter-based stream is for.
enum class StreamPurpose : uint32_t {
  method = 0,    // the Method stream
  arrivals = 1,  // a pair's inter-arrival times
  holding = 2,   // a pair's holding times
  sizes = 3,     // a pair's call sizes (grooming sources)
};

class CounterStream {
 public:
  void start(uint32_t seed, StreamPurpose purpose, uint32_t batch, uint32_t number) {
    key_[0] = seed;
    key_[1] = static_cast<uint32_t>(purpose);
    batch_ = batch;
    number_ = number;
    block_ = 0;
    used_ = 4;
  }
  double uniform() {
    if (used_ == 4) refill();
    return (double(words_[used_++]) + 0.5) * 2.3283064365386963e-10;  // 2^-32
  }
  // Where k more draws would leave the stream.
  void skip(uint64_t k) {
    const uint64_t position = (block_ - (used_ == 4 ? 0 : 1)) * 4 + (used_ == 4 ? 0 : used_) + k;
    block_ = position / 4;
    used_ = 4;
    if (position % 4) {
      refill();
      used_ = uint32_t(position % 4);
    }
  }

 private:
  void refill() {
    words_[0] = uint32_t(block_);
    words_[1] = uint32_t(block_ >> 32);
    words_[2] = batch_;
    words_[3] = number_;
    philox4x32_10(words_, key_);
    ++block_;
    used_ = 0;
  }

  uint32_t key_[2] = {0, 0};
  uint32_t batch_ = 0;
  uint32_t number_ = 0;
  uint64_t block_ = 0;  // the next block to compute
  uint32_t words_[4] = {0, 0, 0, 0};
  uint32_t used_ = 4;   // words of `words_` drawn
};

}  // namespace lumtra
