#include <gtest/gtest.h>

#include <QPainter>
#include <cstring>

#include "qt_test_support.h"
#include "support/test_artifacts.h"
#include "ui/qt_window_system.h"
#include "ui/verification/source_redaction_overlay_view.h"
#include "verification/source_overlay_capture_verifier.h"
#include "verification/source_redaction_overlay_manager.h"

namespace corvane::ui {
namespace {

using verification::SourceMaskSizeClass;
using verification::SourceOverlayCaptureVerifier::verify;

model::ProtectedRedaction mask(double x, double y, double w, double h) {
  model::ProtectedRedaction r;
  // Points on the 800 × 600 offscreen display, normalised.
  r.normalizedFrame = {{x / 800, y / 600}, {w / 800, h / 600}};
  r.scope = model::ProtectedRedactionScope::sourceOverlay;
  return r;
}

// The screen as a capture would read it: `background`, with `overlay` drawn over it.
std::shared_ptr<platform::PixelBuffer> screenWith(const QImage& overlay, QRgb background) {
  QImage screen(800, 600, QImage::Format_ARGB32);
  screen.fill(background);
  if (!overlay.isNull()) {
    QPainter painter(&screen);
    painter.drawImage(0, 0, overlay);
  }
  auto frame = std::make_shared<platform::PixelBuffer>(800, 600);
  for (int y = 0; y < 600; ++y)  // ARGB32 is B, G, R, A in memory, as captured frames are
    std::memcpy(frame->mutableData() + y * frame->bytesPerRow(), screen.constScanLine(y), 800 * 4);
  return frame;
}

class SourceRedactionOverlayViewTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  QWidget* host() { return static_cast<QtWindow&>(*overlay.panel()).hostWidget(); }

  std::shared_ptr<QtWindowSystem> windows =
      std::make_shared<QtWindowSystem>(testing::offscreenDesktop(), nullptr);
  verification::SourceRedactionOverlayManager overlay{windows,
                                                      makeSourceRedactionOverlayContentFactory()};
};

TEST_F(SourceRedactionOverlayViewTest, DrawsThreeSizeClassesThatVerifyInTheCapture) {
  const auto snapshot =
      overlay.show(1, {mask(40, 30, 388, 94), mask(60, 300, 188, 34), mask(560, 420, 48, 14)});
  ASSERT_EQ(snapshot.redactions.size(), 3u);
  ASSERT_TRUE(processUntil([&] { return host()->isVisible(); }));
  const auto& masks = overlay.layout().masks;
  EXPECT_EQ(masks[0].content->sizeClass, SourceMaskSizeClass::large);
  EXPECT_EQ(masks[0].content->text, "Sensitive content hidden");
  EXPECT_EQ(masks[1].content->sizeClass, SourceMaskSizeClass::medium);
  EXPECT_EQ(masks[1].content->text, "Hidden");
  EXPECT_EQ(masks[2].content->sizeClass, SourceMaskSizeClass::small);
  // The labels were measured in the font they are drawn with.
  EXPECT_GT(masks[0].content->textRect.width(), 100);
  EXPECT_GT(masks[1].content->textRect.width(), 20);
  EXPECT_EQ(host()->mask().boundingRect(), QRect(34, 27, 580, 410));

  processFor(30);
  const QImage shot = host()->grab().toImage();
  shot.save(QString::fromStdString(corvane::testing::artifactPath("source-masks.png").string()));
  for (const auto& drawn : masks) {
    const QRect r(static_cast<int>(drawn.rect.minX()), static_cast<int>(drawn.rect.minY()),
                  static_cast<int>(drawn.rect.width()), static_cast<int>(drawn.rect.height()));
    const QImage one = shot.copy(r);
    // Mostly fill, some accent from the lock.
    EXPECT_GT(testing::countPixelsNear(one, qRgb(32, 35, 34), 8), r.width() * r.height() / 2);
    EXPECT_GT(testing::countPixelsNear(one, qRgb(20, 190, 106), 8), 12);
  }
  // Label pixels (light grey) only in the two that carry a label.
  EXPECT_GT(testing::countPixelsNear(shot.copy(34, 27, 400, 100), qRgb(187, 187, 187), 40), 40);
  EXPECT_EQ(testing::countPixelsNear(shot.copy(554, 417, 60, 20), qRgb(187, 187, 187), 40), 0);

  // On a light page and on a dark one, the drawn masks verify; the dark page without them does
  // not, though it matches the fill.
  EXPECT_TRUE(verify(screenWith(shot, qRgb(244, 244, 242)).get(), snapshot).isVerified);
  EXPECT_TRUE(verify(screenWith(shot, qRgb(31, 34, 33)).get(), snapshot).isVerified);
  const auto bare = verify(screenWith(QImage(), qRgb(31, 34, 33)).get(), snapshot);
  EXPECT_FALSE(bare.isVerified);
  EXPECT_EQ(bare.matchingSamples, 9);

  overlay.hide();
  EXPECT_EQ(overlay.panel(), nullptr);
}

}  // namespace
}  // namespace corvane::ui
