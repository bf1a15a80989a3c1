#include "base/philox.h"

#include <gtest/gtest.h>

#include <set>

namespace lumtra {
namespace {

// The known answers published with the generator (Random123's kat_vectors).
TEST(Philox, KnownAnswers) {
  struct Case {
    uint32_t ctr[4], key[2], out[4];
  } cases[] = {
      {{0, 0, 0, 0}, {0, 0}, {0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}},
      {{~0u, ~0u, ~0u, ~0u}, {~0u, ~0u}, {0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}},
      {{0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344},
       {0xa4093822, 0x299f31d0},
       {0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}},
  };
  for (Case& c : cases) {
    philox4x32_10(c.ctr, c.key);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(c.ctr[k], c.out[k]) << k;
  }
}

// Skipping ahead lands where drawing would; streams of other batches,
// purposes or pairs give other numbers.
TEST(Philox, SkipMatchesDrawingAndStreamsDiffer) {
  for (uint64_t before : {0u, 1u, 3u}) {
    for (uint64_t k : {0u, 1u, 2u, 3u, 4u, 5u, 13u}) {
      CounterStream drawn, skipped;
      drawn.start(9, StreamPurpose::method, 2, 0);
      skipped.start(9, StreamPurpose::method, 2, 0);
      for (uint64_t i = 0; i < before; ++i) drawn.uniform(), skipped.uniform();
      for (uint64_t i = 0; i < k; ++i) drawn.uniform();
      skipped.skip(k);
      EXPECT_EQ(drawn.uniform(), skipped.uniform()) << before << " then " << k;
    }
  }
  std::set<double> firsts;
  for (uint32_t batch : {1u, 2u})
    for (StreamPurpose p : {StreamPurpose::arrivals, StreamPurpose::holding})
      for (uint32_t pair : {0u, 1u}) {
        CounterStream s;
        s.start(9, p, batch, pair);
        const double u = s.uniform();
        EXPECT_GT(u, 0.0);
        EXPECT_LT(u, 1.0);
        firsts.insert(u);
      }
  EXPECT_EQ(firsts.size(), 8u);
}

}  // namespace
}  // namespace lumtra
