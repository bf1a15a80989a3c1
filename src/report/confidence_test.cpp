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

RunningStats series(std::initializer_list<double> values) {
  RunningStats s;
  for (double v : values) s.add(v);
  return s;
}

TEST(Confidence, HalfWidthOfBatchMeansAndTooFewBatches) {
  double h = -1;
  EXPECT_FALSE(confidence_half_width(series({}), h));
  EXPECT_FALSE(confidence_half_width(series({0.1}), h));
  // Sample sd of (0.1, 0.2, 0.3) is 0.1; t(0.975, 2) = 4.302653.
  ASSERT_TRUE(confidence_half_width(series({0.1, 0.2, 0.3}), h));
  EXPECT_NEAR(h, 4.302653 * 0.1 / std::sqrt(3.0), 1e-6);
}

TEST(Confidence, LagOneAutocorrelationOfSmallSeries) {
  // Alternating values: every neighbour is on the other side of the mean.
  // Deviations +-1 around 5: cross sum -(n-1), squares n.
  EXPECT_NEAR(series({6, 4, 6, 4, 6, 4}).lag1_autocorrelation(), -5.0 / 6.0, 1e-12);
  // A trend: (x - 2.5) = -1.5 -0.5 0.5 1.5; cross sum 0.75 - 0.25 + 0.75, squares 5.
  EXPECT_NEAR(series({1, 2, 3, 4}).lag1_autocorrelation(), 1.25 / 5.0, 1e-12);
  // Tiny spread around a large value keeps its digits.
  EXPECT_NEAR(series({1e6 + 1, 1e6 - 1, 1e6 + 1, 1e6 - 1}).lag1_autocorrelation(), -3.0 / 4.0, 1e-9);
  EXPECT_EQ(series({0.5, 0.5, 0.5}).lag1_autocorrelation(), 0.0);
  // Two batches have one neighbour pair: no autocorrelation to speak of.
  EXPECT_FALSE(series({0.1, 0.3}).has_lag1());
  EXPECT_EQ(series({0.1, 0.3}).lag1_autocorrelation(), 0.0);
}

}  // namespace
}  // namespace lumtra
