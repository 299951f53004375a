#include <gtest/gtest.h>

#include "frame_images.h"
#include "verification/protected_frame_change_summary.h"
#include "verification/protected_scroll_motion_estimator.h"

namespace corvane::verification {
namespace {

using testing::scrolled;
using testing::texturedFrame;

const std::vector<platform::Rect> kWholeFrame{kUnitRect};

TEST(ProtectedScrollMotionEstimatorTest, FindsShiftsExactlyEvenBetweenTheCoarseSteps) {
  for (auto [width, height] : {std::pair{640, 384}, std::pair{1920, 1080}, std::pair{300, 200}}) {
    const auto previous = texturedFrame(width, height, 11);
    for (int shift : {37, -21, 8, 3}) {
      const auto current = scrolled(*previous, shift);
      EXPECT_EQ(ProtectedScrollMotionEstimator::verticalTranslation(*current, *previous, 1.0,
                                                                    kWholeFrame),
                shift)
          << width << "x" << height;
    }
  }
}

TEST(ProtectedScrollMotionEstimatorTest, DeclinesWhatItCannotJudge) {
  const auto previous = texturedFrame(640, 384, 11);
  const auto current = scrolled(*previous, 40);
  using ProtectedScrollMotionEstimator::verticalTranslation;
  EXPECT_EQ(verticalTranslation(*current, *previous, 0.1, kWholeFrame), 40);
  EXPECT_FALSE(verticalTranslation(*current, *previous, 0.09, kWholeFrame));
  EXPECT_FALSE(verticalTranslation(*current, *previous, 1.01, kWholeFrame));
  EXPECT_FALSE(verticalTranslation(*previous, *previous, 1.0, kWholeFrame)) << "no motion";
  EXPECT_FALSE(verticalTranslation(*current, *previous, 1.0, {{{2, 2}, {1, 1}}})) << "no samples";
  const auto narrow = texturedFrame(127, 384);
  EXPECT_FALSE(verticalTranslation(*scrolled(*narrow, 40), *narrow, 1.0, kWholeFrame));
  EXPECT_FALSE(verticalTranslation(*current, *texturedFrame(640, 383), 1.0, kWholeFrame));
}

}  // namespace
}  // namespace corvane::verification
