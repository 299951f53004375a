#include <gtest/gtest.h>

#include <cmath>

#include "frame_images.h"
#include "verification/protected_analysis_image_policy.h"
#include "verification/protected_gpu_compositor.h"

namespace corvane::verification {
namespace {

using model::ProtectedRedaction;
using model::ProtectedRedactionScope;
using testing::solidFrame;
using testing::texturedFrame;

constexpr std::uint32_t kBackground = 0xffe0e0e0;

ProtectedRedaction redaction(
    platform::Rect frame, ProtectedRedactionScope scope = ProtectedRedactionScope::sensitiveText) {
  ProtectedRedaction result;
  result.normalizedFrame = frame;
  result.scope = scope;
  return result;
}

// A redaction whose drawn mask (grown by 6 and 3 pixels) is exactly `width` × `height` pixels.
ProtectedRedaction maskOfPixels(int x, int y, int width, int height, int frameWidth,
                                int frameHeight) {
  return redaction({{(x + 6.0) / frameWidth, (y + 3.0) / frameHeight},
                    {(width - 12.0) / frameWidth, (height - 6.0) / frameHeight}});
}

bool hasColor(std::uint32_t pixel, ProtectedGPUCompositor::MaskColor color) {
  auto near = [](std::uint32_t channel, double value) {
    return std::abs(static_cast<double>(channel) - value * 255) <= 1.0;
  };
  return (pixel >> 24) == 0xff && near(pixel >> 16 & 0xff, color.red) &&
         near(pixel >> 8 & 0xff, color.green) && near(pixel & 0xff, color.blue);
}

// What a mask area shows: lock pixels (green) and label text pixels (light grey), with where the
// lock's pixels lie on average.
struct LabelCensus {
  int lockPixels = 0;
  int textPixels = 0;
  double lockCentreX = 0;
};

// Counts inside the mask, away from its rounded corners.
LabelCensus census(const platform::PixelBuffer& image, int x0, int y0, int width, int height) {
  LabelCensus result;
  for (int y = y0 + 3; y < y0 + height - 3; ++y) {
    for (int x = x0 + 3; x < x0 + width - 3; ++x) {
      const auto pixel = image.pixel(x, y);
      const int r = pixel >> 16 & 0xff, g = pixel >> 8 & 0xff, b = pixel & 0xff;
      if (g > r + 60 && g > b + 30) {
        ++result.lockPixels;
        result.lockCentreX += x;
      } else if (r > 150 && std::abs(r - g) < 12 && std::abs(g - b) < 12) {
        ++result.textPixels;
      }
    }
  }
  if (result.lockPixels > 0) result.lockCentreX /= result.lockPixels;
  return result;
}

TEST(ProtectedGPUCompositorTest, MasksAreDrawnOnACopyGrownAndClampedToTheFrame) {
  const platform::SharedPixelBuffer source = solidFrame(400, 300, kBackground);
  EXPECT_EQ(ProtectedGPUCompositor::redactedImage(source, {}, true), source);

  const auto output = ProtectedGPUCompositor::redactedImage(
      source,
      {redaction({{0.5, 0.5}, {0.8, 0.8}}),
       redaction({{0.1, 0.1}, {0.1, 0.1}}, ProtectedRedactionScope::unverifiedChange),
       redaction({{1.5, 0.2}, {0.1, 0.1}})},
      true);
  ASSERT_NE(output, source);
  EXPECT_EQ(source->pixel(300, 250), kBackground) << "the source is never drawn on";
  // The lower-right quarter, grown by 6 pixels left and 3 up, stops at the frame's edges.
  EXPECT_TRUE(hasColor(output->pixel(194, 220), ProtectedGPUCompositor::kMaskBorder));
  EXPECT_EQ(output->pixel(193, 220), kBackground);
  EXPECT_TRUE(hasColor(output->pixel(250, 147), ProtectedGPUCompositor::kMaskBorder));
  EXPECT_EQ(output->pixel(250, 146), kBackground);
  EXPECT_TRUE(hasColor(output->pixel(390, 290), ProtectedGPUCompositor::kMaskFill));
  EXPECT_TRUE(hasColor(output->pixel(399, 200), ProtectedGPUCompositor::kMaskBorder));
  // An unverified change is a flat fill to its very corners, without border or label.
  for (int y = 27; y < 63; ++y)
    for (int x = 34; x < 86; ++x)
      ASSERT_TRUE(hasColor(output->pixel(x, y), ProtectedGPUCompositor::kMaskFill))
          << x << "," << y;
  EXPECT_EQ(output->pixel(33, 45), kBackground);
  EXPECT_EQ(output->pixel(60, 26), kBackground);
  // A redaction right of the frame covers nothing.
  EXPECT_EQ(census(*output, 0, 0, 400, 140).lockPixels, 0);
}

TEST(ProtectedGPUCompositorTest, SourceOverlayMasksOnlyWhenAsked) {
  const platform::SharedPixelBuffer source = solidFrame(400, 300, kBackground);
  const std::vector<ProtectedRedaction> overlays{
      redaction({{0.2, 0.2}, {0.3, 0.3}}, ProtectedRedactionScope::sourceOverlay)};
  EXPECT_EQ(ProtectedGPUCompositor::redactedImage(source, overlays, false), source);
  const auto shown = ProtectedGPUCompositor::redactedImage(source, overlays, true);
  EXPECT_TRUE(hasColor(shown->pixel(150, 140), ProtectedGPUCompositor::kMaskFill));
}

TEST(ProtectedGPUCompositorTest, LabelsFollowTheMaskSizeInPoints) {
  EXPECT_EQ(ProtectedGPUCompositor::maskScale(1000), 1.0);
  EXPECT_EQ(ProtectedGPUCompositor::maskScale(1512), 1.0);
  EXPECT_EQ(ProtectedGPUCompositor::maskScale(2268), 1.5);
  EXPECT_EQ(ProtectedGPUCompositor::maskScale(3024), 2.0);
  EXPECT_EQ(ProtectedGPUCompositor::maskScale(5000), 2.0);

  const int w = 1000, h = 600;
  const platform::SharedPixelBuffer source = solidFrame(w, h, kBackground);
  const auto output = ProtectedGPUCompositor::redactedImage(
      source,
      {maskOfPixels(50, 50, 90, 40, w, h),     // small: the lock alone, centred
       maskOfPixels(300, 50, 400, 100, w, h),  // large: "Sensitive content hidden", centred
       maskOfPixels(50, 300, 100, 28, w, h),   // small: "Hidden", left-aligned
       maskOfPixels(50, 330, 100, 28, w, h)},  // beside it: the lock alone, left-aligned
      true);
  const auto compact = census(*output, 50, 50, 90, 40);
  EXPECT_GT(compact.lockPixels, 20);
  EXPECT_EQ(compact.textPixels, 0);
  EXPECT_NEAR(compact.lockCentreX, 95, 3);

  const auto area = census(*output, 300, 50, 400, 100);
  EXPECT_GT(area.textPixels, 100);
  EXPECT_GT(area.lockPixels, 10);
  EXPECT_LT(area.lockCentreX, 500) << "the lock leads the centred text";
  EXPECT_GT(area.lockCentreX, 350);

  const auto inlineText = census(*output, 50, 300, 100, 28);
  EXPECT_GT(inlineText.textPixels, 20);
  EXPECT_NEAR(inlineText.lockCentreX, 50 + 8 + 7, 3);
  const auto neighbour = census(*output, 50, 330, 100, 28);
  EXPECT_EQ(neighbour.textPixels, 0);
  EXPECT_NEAR(neighbour.lockCentreX, 50 + 8 + 10, 3);
}

TEST(ProtectedGPUCompositorTest, GuardedImageMovesTheVerifiedOutputAndDarkensTheUncoveredBand) {
  const platform::SharedPixelBuffer verified = texturedFrame(200, 300, 3);
  const platform::SharedPixelBuffer candidate = texturedFrame(200, 300, 4);
  const std::vector<platform::Rect> changed{{{0, 1.0 / 3}, {1, 1.0 / 3}}};  // rows 100 to 199
  const auto band = ProtectedGPUCompositor::kUncoveredBand;

  const auto moved = ProtectedGPUCompositor::guardedImage(candidate, verified, {}, changed, 30);
  for (int x : {0, 77, 199}) {
    EXPECT_EQ(moved->pixel(x, 99), candidate->pixel(x, 99));
    EXPECT_TRUE(hasColor(moved->pixel(x, 100), band));
    EXPECT_TRUE(hasColor(moved->pixel(x, 129), band));
    EXPECT_EQ(moved->pixel(x, 130), verified->pixel(x, 100));
    EXPECT_EQ(moved->pixel(x, 199), verified->pixel(x, 169));
    EXPECT_EQ(moved->pixel(x, 200), candidate->pixel(x, 200));
  }
  const auto up = ProtectedGPUCompositor::guardedImage(candidate, verified, {}, changed, -30);
  EXPECT_EQ(up->pixel(5, 100), verified->pixel(5, 130));
  EXPECT_TRUE(hasColor(up->pixel(5, 199), band));
  const auto far = ProtectedGPUCompositor::guardedImage(candidate, verified, {}, changed, 150);
  for (int y = 100; y < 200; y += 11) EXPECT_TRUE(hasColor(far->pixel(9, y), band));

  // Without a motion the changed rect and the still-unverified area keep the verified output;
  // the unverified cover itself is not drawn.
  const auto held = ProtectedGPUCompositor::guardedImage(
      candidate, verified,
      {redaction({{0.1, 0.8}, {0.2, 0.1}}, ProtectedRedactionScope::unverifiedChange)}, changed,
      std::nullopt);
  EXPECT_EQ(held->pixel(50, 150), verified->pixel(50, 150));
  EXPECT_EQ(held->pixel(40, 255), verified->pixel(40, 255));
  EXPECT_EQ(held->pixel(150, 255), candidate->pixel(150, 255));

  const platform::SharedPixelBuffer other = texturedFrame(201, 300);
  EXPECT_EQ(ProtectedGPUCompositor::guardedImage(other, verified, {}, changed, 30), verified);
}

TEST(ProtectedAnalysisImagePolicyTest, RegionCropsAreNativeAndTheAnalysisImageIsLimited) {
  auto frame = std::make_shared<platform::PixelBuffer>(*texturedFrame(400, 200));
  // Two windows, the second showing in two pieces: they travel with the crops and the scaled
  // image, cut and scaled alike.
  frame->setWindowAreas({{{0, 0, 200, 200}}, {{200, 0, 200, 120}, {300, 120, 100, 80}}});
  const auto crops = ProtectedAnalysisImagePolicy::nativeRegionImages(
      *frame, {{{0.25, 0.5}, {0.5, 0.25}}, {{1.2, 0.1}, {0.1, 0.1}}, {{0.5, 0.5}, {-0.25, -0.5}}});
  ASSERT_EQ(crops.size(), 2u) << "a region outside the frame is left out";
  EXPECT_EQ(crops[0].image->width(), 200);
  EXPECT_EQ(crops[0].image->height(), 50);
  EXPECT_EQ(crops[0].image->pixel(0, 0), frame->pixel(100, 100));
  EXPECT_EQ(crops[0].image->pixel(199, 49), frame->pixel(299, 149));
  EXPECT_EQ(crops[1].normalizedTopLeftFrame, (platform::Rect{{0.25, 0}, {0.25, 0.5}}));
  using Area = platform::PixelChanges::Area;
  ASSERT_TRUE(crops[0].image->windowAreas().has_value());
  EXPECT_EQ(*crops[0].image->windowAreas(),
            (platform::WindowAreas{{Area{0, 0, 100, 50}}, {Area{100, 0, 100, 20}}}))
      << "what of each window shows within the crop";

  auto uhd = std::make_shared<platform::PixelBuffer>(*solidFrame(3840, 2160, 0xff336699));
  uhd->setWindowAreas({{{0, 0, 1920, 2160}}, {{1920, 0, 1920, 2160}}});
  const auto analysis = ProtectedAnalysisImagePolicy::limitedToLongEdge(uhd, 1536);
  ASSERT_TRUE(analysis);
  EXPECT_EQ(analysis->width(), 1536);
  EXPECT_EQ(analysis->height(), 864);
  EXPECT_EQ(analysis->pixel(700, 400), 0xff336699u);
  ASSERT_TRUE(analysis->windowAreas().has_value());
  EXPECT_EQ(*analysis->windowAreas(),
            (platform::WindowAreas{{Area{0, 0, 768, 864}}, {Area{768, 0, 768, 864}}}));
  EXPECT_EQ(ProtectedAnalysisImagePolicy::limitedToLongEdge(uhd, 3840), uhd);
}

}  // namespace
}  // namespace corvane::verification
