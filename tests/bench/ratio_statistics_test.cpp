#include "support/ratio_statistics.h"

#include <gtest/gtest.h>

namespace corvane::bench {
namespace {

TEST(RatioStatisticsTest, QuantilesInterpolateBetweenNeighbours) {
  EXPECT_EQ(quantile({}, 0.5), 0);
  EXPECT_EQ(quantile({3, 1, 2}, 0.5), 2);
  EXPECT_EQ(quantile({4, 1, 3, 2}, 0.5), 2.5);
  EXPECT_EQ(quantile({1, 2, 3, 4, 5}, 0.25), 2);
  EXPECT_EQ(quantile({1, 2}, 1.0), 2);
}

TEST(RatioStatisticsTest, PairsBlocksInOrderSoABurstOfLoadMovesOnePairNotTheRatio) {
  // The machine slows down halfway (both figures double) and one path block is hit by a burst:
  // the pairwise ratio stays 1.5 while the ratio of the two medians would not.
  const std::vector<double> path{0.015, 0.015, 0.300, 0.030, 0.030};
  const std::vector<double> reference{0.010, 0.010, 0.020, 0.020, 0.020, 0.020};
  const RatioFigures figures = summarizeBlocks(path, reference, 10, 10);
  EXPECT_EQ(figures.blocks, 5);
  EXPECT_DOUBLE_EQ(figures.ratio, 1.5);
  EXPECT_DOUBLE_EQ(figures.ratioLow, 1.5);
  EXPECT_DOUBLE_EQ(figures.ratioHigh, 1.5);
  EXPECT_DOUBLE_EQ(figures.pathSeconds, 0.003);
  EXPECT_DOUBLE_EQ(figures.referenceSeconds, 0.002);
}

TEST(RatioStatisticsTest, BlocksOfDifferentLengthsCompareUnitForUnit) {
  // 1000 path units in 2 ms against 4 reference units in 2 ms: 2 µs against 500 µs.
  const RatioFigures figures = summarizeBlocks({0.002, 0.002}, {0.002, 0.002}, 1000, 4);
  EXPECT_DOUBLE_EQ(figures.ratio, 0.004);
  EXPECT_DOUBLE_EQ(figures.pathSeconds, 2e-6);
  EXPECT_DOUBLE_EQ(figures.referenceSeconds, 5e-4);
  EXPECT_EQ(summarizeBlocks({}, {0.1}, 1, 1).blocks, 0);
}

}  // namespace
}  // namespace corvane::bench
