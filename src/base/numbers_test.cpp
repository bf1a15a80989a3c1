#include "base/numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace lumtra {
namespace {

// The edges of 64 bits: the largest value is taken, one more is refused
// rather than wrapping round to a small number.
TEST(Numbers, WholeNumbersAtTheEdgesOf64Bits) {
  uint64_t u = 7;
  std::string why;
  EXPECT_TRUE(parse_unsigned("18446744073709551615", u, why));
  EXPECT_EQ(u, UINT64_MAX);
  for (const char* beyond : {"18446744073709551616", "18446744073709551620", "99999999999999999999"}) {
    EXPECT_FALSE(parse_unsigned(beyond, u, why)) << beyond << " read as " << u;
    EXPECT_EQ(why, std::string("'") + beyond + "' is out of range");
  }
  int64_t s = 0;
  EXPECT_TRUE(parse_signed("-9223372036854775808", s, why));
  EXPECT_EQ(s, INT64_MIN);
  EXPECT_TRUE(parse_signed("+9223372036854775807", s, why));
  EXPECT_EQ(s, INT64_MAX);
  EXPECT_FALSE(parse_signed("9223372036854775808", s, why));
  EXPECT_EQ(why, "'9223372036854775808' is out of range");
  uint32_t w = 0;
  EXPECT_TRUE(parse_u32("4294967295", w, why));
  EXPECT_EQ(w, 4294967295u);
  EXPECT_FALSE(parse_u32("4294967296", w, why));
  EXPECT_EQ(why, "'4294967296' is out of range (at most 4294967295)");
}

}  // namespace
}  // namespace lumtra
