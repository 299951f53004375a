#include "figures/ratio_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvane::bench {
namespace {

TEST(RatioStatisticsTest, QuantilesInterpolateBetweenNeighbours) {
  EXPECT_EQ(quantile({}, 0.5), 0);
  EXPECT_EQ(quantile({3, 1, 2}, 0.5), 2);
  EXPECT_EQ(quantile({4, 1, 3, 2}, 0.5), 2.5);
  EXPECT_EQ(quantile({1, 2, 3, 4, 5}, 0.25), 2);
  EXPECT_EQ(quantile({1, 2}, 1.0), 2);
}

TEST(RatioStatisticsTest, ComparesEachPathBlockWithTheReferenceAroundItSoLoadMovesOneBlock) {
  // The machine slows steadily (each block takes 10 % longer than the last) and one path block is
  // hit by a burst: the ratio stays 1.5 with the burst outside its quartiles.
  std::vector<double> path, reference{0.010};
  for (int i = 1; i <= 7; ++i) {
    reference.push_back(0.010 * std::pow(1.21, i));
    path.push_back(1.5 * 0.010 * std::pow(1.21, i - 0.5));
  }
  path[3] *= 10;
  const RatioFigures figures = summarizeBlocks(path, reference, 10, 10);
  EXPECT_EQ(figures.blocks, 7);
  EXPECT_NEAR(figures.ratio, 1.5, 0.01);
  EXPECT_NEAR(figures.ratioLow, 1.5, 0.01);
  EXPECT_NEAR(figures.ratioHigh, 1.5, 0.01);
  // A path block with no reference block after it has no ratio.
  EXPECT_EQ(summarizeBlocks({0.1, 0.1}, {0.1, 0.1}, 1, 1).blocks, 1);
}

TEST(RatioStatisticsTest, BlocksOfDifferentLengthsCompareUnitForUnit) {
  // 1000 path units in 2 ms against 4 reference units in 2 ms: 2 µs against 500 µs.
  const RatioFigures figures = summarizeBlocks({0.002, 0.002}, {0.002, 0.002, 0.002}, 1000, 4);
  EXPECT_DOUBLE_EQ(figures.ratio, 0.004);
  EXPECT_DOUBLE_EQ(figures.pathSeconds, 2e-6);
  EXPECT_DOUBLE_EQ(figures.referenceSeconds, 5e-4);
  EXPECT_EQ(summarizeBlocks({}, {0.1}, 1, 1).blocks, 0);
}

}  // namespace
}  // namespace corvane::bench
