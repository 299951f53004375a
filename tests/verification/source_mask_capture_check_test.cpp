#include <gtest/gtest.h>

#include <memory>

#include "model/enum_coding.h"
#include "verification/normalized_geometry.h"
#include "verification/pixel_rect.h"
#include "verification/source_frame_masking_engine.h"
#include "verification/source_mask_visual_style.h"
#include "verification/source_overlay_capture_verifier.h"

namespace corvane::verification {
namespace {

using model::ProtectedRedaction;
using model::ProtectedRedactionScope;
using platform::PixelBuffer;
using platform::Rect;
using Failure = SourceOverlayVerificationResult::Failure;
namespace Verifier = SourceOverlayCaptureVerifier;

constexpr std::uint32_t kFill = 0xff202322;  // (32, 35, 34)
constexpr std::uint32_t kAccent = 0xff14be6a;
constexpr std::uint32_t kPage = 0xfff4f4f2;

ProtectedRedaction redaction(
    Rect frame, ProtectedRedactionScope scope = ProtectedRedactionScope::sourceOverlay) {
  ProtectedRedaction r;
  r.normalizedFrame = frame;
  r.scope = scope;
  return r;
}

std::shared_ptr<PixelBuffer> frameOf(int width, int height, std::uint32_t argb) {
  auto frame = std::make_shared<PixelBuffer>(width, height);
  frame->fill(argb);
  return frame;
}

void paint(PixelBuffer& frame, const PixelRect& r, std::uint32_t argb) {
  for (int y = r.y; y < r.maxY(); ++y)
    for (int x = r.x; x < r.maxX(); ++x) frame.setPixel(x, y, argb);
}

// Paints the normalised rect (clipped to the frame) in one colour.
void paint(PixelBuffer& frame, const Rect& normalized, std::uint32_t argb) {
  if (auto r = pixelRect(normalized, frame.width(), frame.height())) paint(frame, *r, argb);
}

// A mask drawn the way the overlay draws it around `text`, as the capture would see it.
void drawMask(PixelBuffer& frame, const Rect& text) {
  paint(frame, *maskPixelRect(text, frame.width(), frame.height()), kFill);
}

SourceOverlaySnapshot snapshotOf(std::vector<ProtectedRedaction> masks) {
  return {.revision = 3, .redactions = std::move(masks)};
}

TEST(SourceMaskPartitionTest, UnverifiedChangesJoinTheScreenMasksOnlyNearSensitiveText) {
  const auto secret =
      redaction({{0.30, 0.30}, {0.10, 0.05}}, ProtectedRedactionScope::sensitiveText);
  auto change = [](Rect frame) {
    return redaction(frame, ProtectedRedactionScope::unverifiedChange);
  };
  const auto right03 = change({{0.43, 0.30}, {0.05, 0.05}});    // 0.03 right of it
  const auto right06 = change({{0.46, 0.30}, {0.05, 0.05}});    // 0.06 right
  const auto below045 = change({{0.30, 0.395}, {0.05, 0.05}});  // just inside 0.05 below
  const auto below06 = change({{0.30, 0.41}, {0.05, 0.05}});    // 0.06 below

  const auto split =
      SourceFrameMaskingEngine::partitionRedactions({right06, right03, secret, below06, below045});
  ASSERT_EQ(split.source.size(), 3u);
  // Sensitive covers first, then the near changes in input order, all drawn on the screen.
  EXPECT_EQ(split.source[0].id, secret.id);
  EXPECT_EQ(split.source[1].id, right03.id);
  EXPECT_EQ(split.source[2].id, below045.id);
  for (const auto& mask : split.source)
    EXPECT_EQ(mask.scope, ProtectedRedactionScope::sourceOverlay);
  EXPECT_EQ(split.source[1].normalizedFrame, right03.normalizedFrame);
  ASSERT_EQ(split.publication.size(), 2u);
  EXPECT_EQ(split.publication[0].id, right06.id);
  EXPECT_EQ(split.publication[1].id, below06.id);
  EXPECT_EQ(split.publication[0].scope, ProtectedRedactionScope::unverifiedChange);

  // Without sensitive text nothing goes to the screen; without changes nothing is publication-only.
  EXPECT_TRUE(SourceFrameMaskingEngine::partitionRedactions({right03}).source.empty());
  EXPECT_TRUE(SourceFrameMaskingEngine::partitionRedactions({secret}).publication.empty());
}

TEST(SourceMaskVerifierTest, MaskDrawnInFillVerifiesAndMissingMaskReportsItsMatches) {
  const Rect text{{0.2, 0.2}, {0.2, 0.1}};
  auto frame = frameOf(800, 600, kPage);
  EXPECT_EQ(Verifier::verify(frame.get(), snapshotOf({})),
            SourceOverlayVerificationResult::verified());

  const auto missing = Verifier::verify(frame.get(), snapshotOf({redaction(text)}));
  EXPECT_FALSE(missing.isVerified);
  EXPECT_EQ(missing.failure, Failure::maskBodyMismatch);
  EXPECT_EQ(missing.failedRedactionIndex, 0);
  EXPECT_EQ(missing.matchingSamples, 0);
  EXPECT_EQ(missing.sampledPoints, 9);
  EXPECT_EQ(missing.failedColumn, 0);
  EXPECT_EQ(missing.failedRow, 0);

  drawMask(*frame, text);
  EXPECT_TRUE(Verifier::verify(frame.get(), snapshotOf({redaction(text)})).isVerified);

  // A lock in the middle counts; four body points of other content do not make five. The body
  // lies inside the mask's one-pixel border.
  const PixelRect drawn = *maskPixelRect(text, 800, 600);
  EXPECT_EQ(drawn, (PixelRect{154, 117, 172, 66}));
  const auto points = Verifier::maskBodyVerificationPoints(
      {{drawn.x + 1.0, drawn.y + 1.0}, {drawn.width - 2.0, drawn.height - 2.0}});
  ASSERT_EQ(points.size(), 9u);
  EXPECT_DOUBLE_EQ(points[2].x - points[0].x, (0.72 - 0.2) * 170);
  EXPECT_DOUBLE_EQ(points[6].y - points[0].y, (0.84 - 0.16) * 64);
  auto pixelAt = [](platform::Point p) {
    return PixelRect{static_cast<int>(p.x), static_cast<int>(p.y), 1, 1};
  };
  paint(*frame, pixelAt(points[4]), kAccent);
  for (int i : {0, 1, 2, 3}) paint(*frame, pixelAt(points[i]), kPage);
  const auto five = Verifier::verify(frame.get(), snapshotOf({redaction(text)}));
  EXPECT_TRUE(five.isVerified);
  paint(*frame, pixelAt(points[5]), kPage);
  const auto four = Verifier::verify(frame.get(), snapshotOf({redaction(text)}));
  EXPECT_EQ(four.failure, Failure::maskBodyMismatch);
  EXPECT_EQ(four.matchingSamples, 4);
}

TEST(SourceMaskVerifierTest, ToleranceAndOpacityAreExact) {
  const Rect text{{0.1, 0.1}, {0.5, 0.5}};
  auto check = [&](std::uint32_t argb) {
    auto frame = frameOf(200, 200, argb);
    return Verifier::verify(frame.get(), snapshotOf({redaction(text)}));
  };
  EXPECT_TRUE(check(0xff282322).isVerified);   // red 40: within 8 of 32
  EXPECT_FALSE(check(0xff292322).isVerified);  // red 41
  EXPECT_TRUE(check(0xff0cc662).isVerified);   // the accent, 8 off in every component
  const auto translucent = check(0xf9202322);  // alpha 249: ignored although its colour matches
  EXPECT_EQ(translucent.failure, Failure::maskBodyMismatch);
  EXPECT_EQ(translucent.matchingSamples, 0);
  EXPECT_TRUE(check(0xfa202322).isVerified);
}

TEST(SourceMaskVerifierTest, StopsAtTheFirstFailingMaskAndReadsNoEmptyFrame) {
  const Rect first{{0.1, 0.1}, {0.2, 0.1}};
  const Rect second{{0.5, 0.5}, {0.2, 0.1}};
  auto frame = frameOf(400, 300, kPage);
  drawMask(*frame, first);
  const auto result =
      Verifier::verify(frame.get(), snapshotOf({redaction(first), redaction(second)}));
  EXPECT_EQ(result.failure, Failure::maskBodyMismatch);
  EXPECT_EQ(result.failedRedactionIndex, 1);

  const auto unreadable = Verifier::verify(nullptr, snapshotOf({redaction(first)}));
  EXPECT_EQ(unreadable.failure, Failure::bitmapUnavailable);
  EXPECT_FALSE(unreadable.failedRedactionIndex);
  EXPECT_EQ(model::rawValue(Failure::cellTooSmall), "cellTooSmall");
  EXPECT_FALSE(model::fromRawValue<Failure>("tooSmall"));
}

// A 2-px mask and a mask half outside the frame are drawn grown and clipped, and so are seen; a
// placement that leaves under 3 px of the mask in the frame cannot be seen and says so.
TEST(SourceMaskVerifierTest, SmallAndEdgeMasksVerifyAsDrawn) {
  auto frame = frameOf(2000, 1000, kPage);
  const Rect thin{{0.3, 0.3}, {0.001, 0.01}};     // 2 px wide
  const Rect halfOut{{0.95, 0.96}, {0.1, 0.08}};  // most of it right of and below the frame
  drawMask(*frame, thin);
  drawMask(*frame, halfOut);
  EXPECT_TRUE(
      Verifier::verify(frame.get(), snapshotOf({redaction(thin), redaction(halfOut)})).isVerified);

  SourceOverlaySnapshot sliver = snapshotOf({redaction(thin)});
  sliver.placements = {{.normalizedFrame = {{0.9995, 0.3}, {0.01, 0.01}}}};  // 1 px on the frame
  const auto tooSmall = Verifier::verify(frame.get(), sliver);
  EXPECT_EQ(tooSmall.failure, Failure::cellTooSmall);
  EXPECT_EQ(tooSmall.failedRedactionIndex, 0);
  EXPECT_EQ(tooSmall.sampledPoints, 0);
}

// A dark page looks like the fill everywhere: only the lock's accent, sampled where the overlay
// drew it, tells a drawn mask from none.
TEST(SourceMaskVerifierTest, DarkBackgroundWithoutTheLockDoesNotVerify) {
  const Rect text{{0.2, 0.2}, {0.2, 0.1}};
  auto frame = frameOf(800, 600, 0xff1f2221);  // a dark editor theme
  SourceOverlaySnapshot snapshot = snapshotOf({redaction(text)});
  snapshot.placements = {{.normalizedFrame = grown(text, 6.0 / 800, 3.0 / 600),
                          .normalizedAccentPoint = platform::Point{0.3, 0.25}}};
  const auto result = Verifier::verify(frame.get(), snapshot);
  EXPECT_EQ(result.failure, Failure::maskBodyMismatch);
  EXPECT_EQ(result.sampledPoints, 10);
  EXPECT_EQ(result.matchingSamples, 9);  // the body matched; the lock was not there

  paint(*frame, {{0.298, 0.248}, {0.004, 0.004}}, kAccent);
  EXPECT_TRUE(Verifier::verify(frame.get(), snapshot).isVerified);
}

}  // namespace
}  // namespace corvane::verification
