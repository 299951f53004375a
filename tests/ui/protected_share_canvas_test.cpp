#include "ui/protected_share_canvas.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QRegion>

#include "capture/protected_output_surface.h"
#include "platform/shared_memory_pixels.h"
#include "qt_test_support.h"

namespace corvane::ui {
namespace {

using share_window::ProtectedShareSizingMode;

constexpr QRgb kMarker = 0xFFFF00FF;    // what the canvas must not touch
constexpr QRgb kBackdrop = 0xFF121316;  // the canvas's background around the image

class ProtectedShareCanvasTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  // A frame whose left half is red and right half blue, with the alpha byte 0 as some captures
  // deliver it.
  // In shared memory when `shared`, as the capture makes frames.
  void publishHalves(int width, int height, ProtectedShareSizingMode mode, bool shared = false) {
    auto frame = shared ? platform::makeSharedMemoryPixels(width, height)
                        : std::make_shared<platform::PixelBuffer>(width, height);
    ASSERT_NE(frame, nullptr);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        frame->setPixel(x, y, x < width / 2 ? 0x00FF0000 : 0x000000FF);
    share_window::ProtectedShareViewportState viewport;
    viewport.sizingMode = mode;
    viewport.pixelSize = {static_cast<double>(width), static_cast<double>(height)};
    canvas.setViewport(viewport);
    canvas.setDrawsOutput(true);
    ASSERT_TRUE(surface->update(frame, ++sequence));
  }

  // The canvas painted into an image of its size that starts out filled with kMarker.
  QImage render(const QRegion& region = QRegion()) {
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(kMarker);
    canvas.render(&image, QPoint(), region);
    return image;
  }

  std::shared_ptr<capture::ProtectedOutputSurface> surface =
      std::make_shared<capture::ProtectedOutputSurface>();
  ProtectedShareCanvas canvas{surface};
  std::uint64_t sequence = 0;
};

TEST_F(ProtectedShareCanvasTest, FittedFrameIsScaledOpaqueAndFramedByTheBackground) {
  canvas.resize(400, 180);
  publishHalves(640, 360, ProtectedShareSizingMode::fit);
  const QImage image = render();
  // 640×360 fitted into 400×180: 320×180 centred, so x 40…359 hold the image.
  for (int y : {0, 90, 179}) {
    EXPECT_EQ(image.pixel(0, y), kBackdrop);
    EXPECT_EQ(image.pixel(39, y), kBackdrop);
    EXPECT_EQ(image.pixel(40, y), 0xFFFF0000u) << y;
    EXPECT_EQ(image.pixel(198, y), 0xFFFF0000u) << y;
    EXPECT_EQ(image.pixel(201, y), 0xFF0000FFu) << y;
    EXPECT_EQ(image.pixel(359, y), 0xFF0000FFu) << y;
    EXPECT_EQ(image.pixel(360, y), kBackdrop);
  }
  EXPECT_EQ(canvas.lastPresentedRevision(), surface->revision());
  EXPECT_EQ(surface->presentationStats().completedFrames, 1);
}

TEST_F(ProtectedShareCanvasTest, ARepaintOfPartOfTheCanvasWritesOnlyThatPart) {
  canvas.resize(400, 180);
  publishHalves(640, 360, ProtectedShareSizingMode::fit);
  const QRegion exposed = QRegion(0, 0, 120, 60) + QRegion(300, 100, 50, 50);
  const QImage image = render(exposed);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!exposed.contains(QPoint(x, y))) ASSERT_EQ(image.pixel(x, y), kMarker) << x << "," << y;
    }
  }
  EXPECT_EQ(image.pixel(10, 10), kBackdrop);
  EXPECT_EQ(image.pixel(100, 50), 0xFFFF0000u);
  EXPECT_EQ(image.pixel(320, 120), 0xFF0000FFu);
}

// Frames in shared memory too: without a presenter (as off X11) Qt paints them.
TEST_F(ProtectedShareCanvasTest, ActualSizeDrawsEveryFramePixelOnce) {
  for (const bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared memory" : "private memory");
    canvas.resize(300, 100);
    publishHalves(200, 80, ProtectedShareSizingMode::actual, shared);
    const QImage image = render();
    // Centred: x 50…249, y 10…89.
    EXPECT_EQ(image.pixel(49, 50), kBackdrop);
    EXPECT_EQ(image.pixel(50, 10), 0xFFFF0000u);
    EXPECT_EQ(image.pixel(149, 89), 0xFFFF0000u);
    EXPECT_EQ(image.pixel(150, 10), 0xFF0000FFu);
    EXPECT_EQ(image.pixel(249, 89), 0xFF0000FFu);
    EXPECT_EQ(image.pixel(250, 50), kBackdrop);
    EXPECT_EQ(image.pixel(150, 9), kBackdrop);
  }
}

}  // namespace
}  // namespace corvane::ui
