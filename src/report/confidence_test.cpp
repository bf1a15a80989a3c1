#include "report/confidence.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumtra {
namespace {

TEST(Confidence, StudentQuantilesMatchTheTables) {
  EXPECT_NEAR(student_t_quantile(0.975, 1), 12.7062, 1e-4);
  EXPECT_NEAR(student_t_quantile(0.975, 2), 4.3027, 1e-4);
  EXPECT_NEAR(student_t_quantile(0.975, 9), 2.2622, 1e-4);
  EXPECT_NEAR(student_t_quantile(0.975, 29), 2.0452, 1e-4);
  EXPECT_NEAR(student_t_quantile(0.975, 1e6), 1.9600, 1e-4);
}

TEST(Confidence, HalfWidthOfBatchMeansAndTooFewBatches) {
  double h = -1;
  EXPECT_FALSE(confidence_half_width({}, h));
  EXPECT_FALSE(confidence_half_width({0.1}, h));
  // Sample sd of (0.1, 0.2, 0.3) is 0.1; t(0.975, 2) = 4.302653.
  ASSERT_TRUE(confidence_half_width({0.1, 0.2, 0.3}, h));
  EXPECT_NEAR(h, 4.302653 * 0.1 / std::sqrt(3.0), 1e-6);
}

}  // namespace
}  // namespace lumtra
