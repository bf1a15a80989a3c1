#include <gtest/gtest.h>

#include "run/lehmer.h"

namespace lumtra {
namespace {

// The Lehmer step keeps the low 31 bits of the 32-bit product.
TEST(Lehmer, StepKeepsLow31BitsOfProduct) {
  Lehmer s{1};
  EXPECT_EQ(s.step(), 16807u);
  EXPECT_EQ(s.step(), 282475249u);
  EXPECT_EQ(s.step(), (282475249u * 16807u) & 0x7FFFFFFFu);
}

}  // namespace
}  // namespace lumtra
