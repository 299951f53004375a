// The output canvas on a real X server repaints only what a frame says it changed: the test reads
// the window's pixels back from the server after each frame. Each frame also changes a block it
// does not declare, so a canvas that rewrote more than the changed area would show it.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <memory>
#include <random>

#include "capture/protected_output_surface.h"
#include "share_window/canvas_layout.h"
#include "share_window/changed_output_area.h"
#include "ui/protected_share_canvas.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "ui_x11/qt_x11_child.h"

namespace corvane::ui {
namespace {

constexpr const char* const kChildVariable = "CORVANE_CANVAS_CHANGES_X11_CHILD";

using platform::PixelBuffer;
using platform::PixelChanges;
using share_window::ProtectedShareSizingMode;

TEST(ProtectedShareCanvasChangesOnX11, RunsOnAPrivateXServer) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  EXPECT_TRUE(testing::runQtChildOn(server, "CanvasChangesX11Child.*", kChildVariable));
}

using CanvasChangesX11Child = testing::QtX11ChildTest<&kChildVariable>;

std::shared_ptr<PixelBuffer> noise(int width, int height, std::mt19937& random) {
  auto buffer = std::make_shared<PixelBuffer>(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) buffer->setPixel(x, y, 0xFF000000u | (random() & 0xFFFFFFu));
  return buffer;
}

// `area` of `buffer` filled with new noise.
void repaint(PixelBuffer& buffer, const PixelChanges::Area& area, std::mt19937& random) {
  for (int y = area.y; y < area.y + area.height; ++y)
    for (int x = area.x; x < area.x + area.width; ++x)
      buffer.setPixel(x, y, 0xFF000000u | (random() & 0xFFFFFFu));
}

PixelChanges::Area randomArea(int width, int height, std::mt19937& random) {
  const int w = 1 + static_cast<int>(random() % (width / 3));
  const int h = 1 + static_cast<int>(random() % (height / 3));
  return {static_cast<int>(random() % (width - w)), static_cast<int>(random() % (height - h)), w,
          h};
}

bool overlaps(const PixelChanges::Area& a, const PixelChanges::Area& b, int margin) {
  return a.x - margin < b.x + b.width && b.x - margin < a.x + a.width &&
         a.y - margin < b.y + b.height && b.y - margin < a.y + a.height;
}

struct CanvasOnX11 {
  std::shared_ptr<capture::ProtectedOutputSurface> surface =
      std::make_shared<capture::ProtectedOutputSurface>();
  ProtectedShareCanvas canvas{surface};
  std::uint64_t sequence = 0;
  share_window::ProtectedShareViewportState viewport;

  // Shows the canvas at `geometry`, drawing frames of `width` × `height` pixels per `mode`.
  void open(const QRect& geometry, ProtectedShareSizingMode mode, int width, int height) {
    canvas.setGeometry(geometry);
    viewport.sizingMode = mode;
    viewport.pixelSize = {static_cast<double>(width), static_cast<double>(height)};
    canvas.setViewport(viewport);
    canvas.setDrawsOutput(true);
    canvas.show();
  }

  // Publishes `frame` and returns the canvas's pixels as the X server holds them once presented.
  template <class Process>
  QImage show(const std::shared_ptr<PixelBuffer>& frame, Process& process) {
    EXPECT_TRUE(surface->update(frame, ++sequence));
    const auto revision = surface->revision();
    EXPECT_TRUE(process([&] { return canvas.lastPresentedRevision() == revision; }));
    XSync(wiring::qtX11Display(), False);
    return QGuiApplication::primaryScreen()
        ->grabWindow(canvas.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  }
};

TEST_F(CanvasChangesX11Child, OnlyTheChangedAreaIsRewrittenAndAnUnknownChangeRepaintsWhole) {
  for (const auto mode : {ProtectedShareSizingMode::actual, ProtectedShareSizingMode::fit}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(::testing::Message()
                   << "seed " << seed << ", fitted " << (mode == ProtectedShareSizingMode::fit));
      std::mt19937 random(seed);
      const int width = 200 + static_cast<int>(random() % 300);
      const int height = 150 + static_cast<int>(random() % 200);
      CanvasOnX11 on;
      on.open(QRect(0, 0, 560, 400), mode, width, height);
      auto process = [&](const std::function<bool()>& done) { return processUntil(done); };
      ASSERT_TRUE(processUntil([&] { return on.canvas.windowHandle()->isExposed(); }));

      const auto first = noise(width, height, random);
      const QImage shownFirst = on.show(first, process);
      // A frame that declares one area and changes one more, well away from it.
      auto second = std::make_shared<PixelBuffer>(*first);
      const auto declared = randomArea(width, height, random);
      auto undeclared = randomArea(width, height, random);
      while (overlaps(undeclared, declared, 8)) undeclared = randomArea(width, height, random);
      repaint(*second, declared, random);
      repaint(*second, undeclared, random);
      second->setChanges(PixelChanges{first->serial(), {declared}});
      const QImage shownSecond = on.show(second, process);
      // The same pixels with their changes unknown: everything is repainted.
      auto third = std::make_shared<PixelBuffer>(*second);
      const QImage shownThird = on.show(third, process);
      ASSERT_EQ(shownFirst.size(), shownThird.size());

      const auto target = share_window::outputImageRect({560, 400}, on.viewport.pixelSize,
                                                        on.viewport, on.canvas.devicePixelRatioF());
      const QRect imageRect =
          QRectF(target.minX(), target.minY(), target.width(), target.height()).toRect();
      const auto repainted = share_window::changedOutputRects(
          *second, first->serial(),
          {{double(imageRect.x()), double(imageRect.y())},
           {double(imageRect.width()), double(imageRect.height())}});
      ASSERT_TRUE(repainted.has_value());
      QRegion region;
      for (const auto& r : *repainted)
        region += QRectF(r.minX(), r.minY(), r.width(), r.height()).toAlignedRect();
      int differing = 0;
      for (int y = 0; y < shownFirst.height(); ++y) {
        for (int x = 0; x < shownFirst.width(); ++x) {
          if (region.contains(QPoint(x, y))) {
            // The changed area shows exactly what a whole repaint shows.
            ASSERT_EQ(shownSecond.pixel(x, y), shownThird.pixel(x, y)) << x << "," << y;
          } else {
            // Nothing outside it was rewritten.
            ASSERT_EQ(shownSecond.pixel(x, y), shownFirst.pixel(x, y)) << x << "," << y;
          }
          differing += shownThird.pixel(x, y) != shownSecond.pixel(x, y);
        }
      }
      // The undeclared block reached the screen only with the whole repaint.
      EXPECT_GT(differing, 0);

      // A frame whose changes are relative to another image than the one shown repaints whole.
      auto fourth = std::make_shared<PixelBuffer>(*third);
      repaint(*fourth, undeclared, random);
      fourth->setChanges(PixelChanges{first->serial(), {declared}});
      const QImage shownFourth = on.show(fourth, process);
      auto fifth = std::make_shared<PixelBuffer>(*fourth);
      EXPECT_EQ(shownFourth, on.show(fifth, process));
    }
  }
}

// A whole frame of a large window is painted in bands: every pixel arrives, and each frame counts
// as one presentation, not one per band.
TEST_F(CanvasChangesX11Child, ALargeRepaintArrivesWholeAndCountsOnce) {
  for (unsigned seed = 1; seed <= 2; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    const int width = 1000 + static_cast<int>(random() % 200);
    const int height = 790 + static_cast<int>(random() % 10);
    CanvasOnX11 on;
    // Wholly on the 1280×800 screen, so the server holds every pixel of it.
    on.open(QRect(0, 0, width, height), ProtectedShareSizingMode::actual, width, height);
    auto process = [&](const std::function<bool()>& done) { return processUntil(done); };
    ASSERT_TRUE(processUntil([&] { return on.canvas.windowHandle()->isExposed(); }));
    for (int frame = 0; frame < 2; ++frame) {
      const auto image = noise(width, height, random);
      const int presentedBefore = on.canvas.presentedFrames();
      const auto completedBefore = on.surface->presentationStats().completedFrames;
      const QImage shown = on.show(image, process);
      EXPECT_EQ(on.canvas.presentedFrames(), presentedBefore + 1);
      EXPECT_EQ(on.surface->presentationStats().completedFrames, completedBefore + 1);
      ASSERT_EQ(shown.size(), QSize(width, height));
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          ASSERT_EQ(shown.pixel(x, y), image->pixel(x, y) | 0xFF000000u) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace corvane::ui
