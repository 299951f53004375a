// The output canvas on a real X server repaints only what a frame says it changed: the test reads
// the window's pixels back from the server after each frame. Each frame also changes a block it
// does not declare, so a canvas that rewrote more than the changed area would show it.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <cstring>
#include <memory>
#include <random>

#include "capture/protected_output_surface.h"
#include "main/xcb_image_presenter.h"
#include "platform/shared_memory_pixels.h"
#include "share_window/canvas_layout.h"
#include "share_window/changed_output_area.h"
#include "ui/native_image_area.h"
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

// The same pixels in a shared-memory segment of their own, as the capture makes frames.
std::shared_ptr<PixelBuffer> sharedCopy(const PixelBuffer& buffer) {
  auto shared = platform::makeSharedMemoryPixels(buffer.width(), buffer.height());
  EXPECT_NE(shared, nullptr);
  std::memcpy(shared->mutableData(), buffer.data(), buffer.byteCount());
  return shared;
}

// Repaints one area of `frame` it declares as changed since `since`, and one more well away from
// it that it does not declare; returns both.
std::pair<PixelChanges::Area, PixelChanges::Area> changeDeclaringOneArea(PixelBuffer& frame,
                                                                         std::uint64_t since,
                                                                         std::mt19937& random) {
  const auto declared = randomArea(frame.width(), frame.height(), random);
  auto undeclared = randomArea(frame.width(), frame.height(), random);
  while (overlaps(undeclared, declared, 8))
    undeclared = randomArea(frame.width(), frame.height(), random);
  repaint(frame, declared, random);
  repaint(frame, undeclared, random);
  frame.setChanges(PixelChanges{since, {declared}});
  return {declared, undeclared};
}

struct CanvasOnX11 {
  explicit CanvasOnX11(std::shared_ptr<NativeImagePresenter> presenter = nullptr)
      : canvas(surface, std::move(presenter)) {}
  std::shared_ptr<capture::ProtectedOutputSurface> surface =
      std::make_shared<capture::ProtectedOutputSurface>();
  ProtectedShareCanvas canvas;
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

  // Where the cursor of the published snapshot is drawn, with every pixel its filtering touches.
  QRect cursorArea() const {
    const auto snapshot = surface->snapshot();
    const auto target =
        share_window::outputImageRect({double(canvas.width()), double(canvas.height())},
                                      viewport.pixelSize, viewport, canvas.devicePixelRatioF());
    const auto rect = share_window::outputCursorRect(target, snapshot->cursor);
    if (!rect) return {};
    return QRectF(rect->minX(), rect->minY(), rect->width(), rect->height())
        .toAlignedRect()
        .adjusted(-1, -1, 1, 1);
  }

  // Where the canvas redraws `image` when it shows the image with serial `sinceSerial`.
  QRegion changedOnScreen(const PixelBuffer& image, std::uint64_t sinceSerial) const {
    const auto target =
        share_window::outputImageRect({double(canvas.width()), double(canvas.height())},
                                      viewport.pixelSize, viewport, canvas.devicePixelRatioF());
    const QRect imageRect =
        QRectF(target.minX(), target.minY(), target.width(), target.height()).toRect();
    const auto changed =
        share_window::changedOutputRects(image, sinceSerial,
                                         {{double(imageRect.x()), double(imageRect.y())},
                                          {double(imageRect.width()), double(imageRect.height())}});
    EXPECT_TRUE(changed.has_value());
    QRegion region;
    for (const auto& r : changed.value_or(std::vector<platform::Rect>{}))
      region += QRectF(r.minX(), r.minY(), r.width(), r.height()).toAlignedRect();
    return region;
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
      const auto [declared, undeclared] = changeDeclaringOneArea(*second, first->serial(), random);
      const QImage shownSecond = on.show(second, process);
      // The same pixels with their changes unknown: everything is repainted.
      auto third = std::make_shared<PixelBuffer>(*second);
      const QImage shownThird = on.show(third, process);
      ASSERT_EQ(shownFirst.size(), shownThird.size());

      const QRegion region = on.changedOnScreen(*second, first->serial());
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

// Frames in shared memory go to the X server straight from their segment (scaled into one of the
// canvas's own when fitted), past Qt's backing store: the window holds exactly what Qt's painting
// of the same frames shows, cursor included, and a frame that declares its changes rewrites only
// those and the cursor.
TEST_F(CanvasChangesX11Child, SharedFramesArePutStraightAsQtPaintsThemAndOnlyWhereChanged) {
  auto presenter = wiring::makeXcbImagePresenter();
  ASSERT_NE(presenter, nullptr);
  for (const auto mode : {ProtectedShareSizingMode::actual, ProtectedShareSizingMode::fit}) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE(::testing::Message()
                   << "seed " << seed << ", fitted " << (mode == ProtectedShareSizingMode::fit));
      std::mt19937 random(seed * 7919u);
      const int width = 200 + static_cast<int>(random() % 300);
      const int height = 150 + static_cast<int>(random() % 200);
      CanvasOnX11 painted;
      CanvasOnX11 put(presenter);
      painted.open(QRect(0, 0, 560, 400), mode, width, height);
      put.open(QRect(600, 0, 560, 400), mode, width, height);
      auto process = [&](const std::function<bool()>& done) { return processUntil(done); };
      ASSERT_TRUE(processUntil([&] {
        return painted.canvas.windowHandle()->isExposed() && put.canvas.windowHandle()->isExposed();
      }));
      // A cursor with transparent and translucent pixels, at the same place over both.
      auto cursorImage = std::make_shared<PixelBuffer>(12 + static_cast<int>(random() % 20),
                                                       12 + static_cast<int>(random() % 20));
      for (int y = 0; y < cursorImage->height(); ++y)
        for (int x = 0; x < cursorImage->width(); ++x)
          cursorImage->setPixel(x, y, (x + y) % 3 == 0 ? 0u : (x % 2 ? 0xFFFFFFFFu : 0x80400000u));
      auto moveCursor = [&](double x, double y) {
        for (auto* on : {&painted, &put}) {
          on->surface->configureCursorImage(cursorImage, {24, 24}, {0.25, 0.25});
          on->surface->updateCursor(platform::Point{x, y},
                                    platform::Size{double(width), double(height)});
        }
      };
      auto showBoth = [&](const std::shared_ptr<PixelBuffer>& shared) {
        const QImage shown = put.show(shared, process);
        EXPECT_EQ(shown, painted.show(std::make_shared<PixelBuffer>(*shared), process));
        return shown;
      };
      moveCursor(0.1 + (random() % 80) / 100.0, 0.1 + (random() % 80) / 100.0);
      const auto first = sharedCopy(*noise(width, height, random));
      const QImage shownFirst = showBoth(first);
      auto* child = put.canvas.findChild<NativeImageArea*>();
      ASSERT_NE(child, nullptr);
      ASSERT_TRUE(child->isVisible());
      const QRect firstCursor = put.cursorArea();

      // A frame that declares one area and changes one more, well away from it and the cursor.
      auto second = sharedCopy(*first);
      changeDeclaringOneArea(*second, first->serial(), random);
      moveCursor(0.1 + (random() % 80) / 100.0, 0.1 + (random() % 80) / 100.0);
      const QImage shownSecond = put.show(second, process);
      QRegion rewritable = QRegion(firstCursor) + put.cursorArea();
      rewritable += put.changedOnScreen(*second, first->serial());
      // The same pixels, their changes unknown: everything is put, as Qt paints it.
      const QImage shownThird = showBoth(sharedCopy(*second));
      int differing = 0;
      for (int y = 0; y < shownFirst.height(); ++y) {
        for (int x = 0; x < shownFirst.width(); ++x) {
          if (rewritable.contains(QPoint(x, y)))
            ASSERT_EQ(shownSecond.pixel(x, y), shownThird.pixel(x, y)) << x << "," << y;
          else
            ASSERT_EQ(shownSecond.pixel(x, y), shownFirst.pixel(x, y)) << x << "," << y;
          differing += shownThird.pixel(x, y) != shownSecond.pixel(x, y);
        }
      }
      EXPECT_GT(differing, 0);

      // A frame in private memory leaves the native child for Qt's painting, which shows it whole.
      auto privateFrame = noise(width, height, random);
      EXPECT_EQ(put.show(privateFrame, process),
                painted.show(std::make_shared<PixelBuffer>(*privateFrame), process));
      EXPECT_FALSE(child->isVisible());
      // And the next shared frame is put again.
      showBoth(sharedCopy(*noise(width, height, random)));
      EXPECT_TRUE(child->isVisible());
    }
  }
}

// A server that reads puts late, as a busy one may read a put a frame or more after it was flushed:
// nothing put reaches the real presenter until the server is said to read it, one presentation
// at a time (the oldest first), or until the canvas waits for an image to be read.
class LateReadingPresenter final : public NativeImagePresenter {
 public:
  LateReadingPresenter(std::shared_ptr<NativeImagePresenter> server, std::function<void()> read)
      : server_(std::move(server)), afterEachRead_(std::move(read)) {}

  bool available() const override { return server_->available(); }
  bool put(WId window, const platform::SharedPixelBuffer& image, const QRect& source,
           const QPoint& at) override {
    if (!image || !image->sharedMemory()) return false;
    unread_.push_back({image, [=, this] { server_->put(window, image, source, at); }});
    return true;
  }
  void fill(WId window, const QRegion& region, QRgb colour) override {
    unread_.push_back({nullptr, [=, this] { server_->fill(window, region, colour); }});
  }
  void send() override {}
  bool flush() override {
    if (presentationEnds_.empty() || presentationEnds_.back() != unread_.size())
      presentationEnds_.push_back(unread_.size());
    return true;
  }
  void awaitRead(const PixelBuffer& image) override {
    const auto putOf = [&image](const Request& request) { return request.image.get() == &image; };
    while (std::any_of(unread_.begin(), unread_.end(), putOf)) readOldestPresentation();
  }

  // The server reads every put of the oldest presentation not read yet; false when none is left.
  bool readOldestPresentation() {
    if (presentationEnds_.empty()) return false;
    const std::size_t end = presentationEnds_.front();
    for (std::size_t i = 0; i < end; ++i) unread_[i].perform();
    unread_.erase(unread_.begin(), unread_.begin() + static_cast<std::ptrdiff_t>(end));
    presentationEnds_.erase(presentationEnds_.begin());
    for (auto& later : presentationEnds_) later -= end;
    server_->flush();
    XSync(wiring::qtX11Display(), False);
    afterEachRead_();
    return true;
  }

 private:
  struct Request {
    platform::SharedPixelBuffer image;  // null for a fill
    std::function<void()> perform;
  };
  std::shared_ptr<NativeImagePresenter> server_;
  std::function<void()> afterEachRead_;
  std::vector<Request> unread_;
  std::vector<std::size_t> presentationEnds_;  // indices into unread_
};

// The canvas's own images (the scaled frame, the cursor patch) are not written while the server
// may still read them: however late the server reads each presentation's puts, the window shows
// each frame exactly as Qt paints it, never pixels written for a later frame.
TEST_F(CanvasChangesX11Child, APutReadLateShowsItsOwnFrameNotALaterOne) {
  auto real = wiring::makeXcbImagePresenter();
  ASSERT_NE(real, nullptr);
  std::mt19937 random(20261208u);
  const int width = 300 + static_cast<int>(random() % 200);
  const int height = 200 + static_cast<int>(random() % 150);
  CanvasOnX11 painted;
  std::vector<QImage> readBack;
  std::unique_ptr<CanvasOnX11> put;
  auto late = std::make_shared<LateReadingPresenter>(real, [&] {
    readBack.push_back(QGuiApplication::primaryScreen()
                           ->grabWindow(put->canvas.winId())
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32));
  });
  put = std::make_unique<CanvasOnX11>(late);
  painted.open(QRect(0, 0, 560, 400), ProtectedShareSizingMode::fit, width, height);
  put->open(QRect(600, 0, 560, 400), ProtectedShareSizingMode::fit, width, height);
  ASSERT_TRUE(processUntil([&] {
    return painted.canvas.windowHandle()->isExposed() && put->canvas.windowHandle()->isExposed();
  }));
  auto process = [&](const std::function<bool()>& done) { return processUntil(done); };
  // A cursor over every frame: its patch is written anew with each one too.
  auto cursorImage = std::make_shared<PixelBuffer>(20, 20);
  cursorImage->fill(0xFFFFFFFFu);
  for (auto* on : {&painted, put.get()}) {
    on->surface->configureCursorImage(cursorImage, {20, 20}, {0, 0});
    on->surface->updateCursor(platform::Point{0.4, 0.3},
                              platform::Size{double(width), double(height)});
  }
  std::vector<QImage> expected;
  for (int frame = 0; frame < 4; ++frame) {
    const auto image = sharedCopy(*noise(width, height, random));
    expected.push_back(painted.show(std::make_shared<PixelBuffer>(*image), process));
    ASSERT_TRUE(put->surface->update(image, ++put->sequence));
    const auto revision = put->surface->revision();
    ASSERT_TRUE(processUntil([&] { return put->canvas.lastPresentedRevision() == revision; }));
  }
  while (late->readOldestPresentation()) {
  }
  std::vector<QImage> shown;
  for (const QImage& image : readBack)
    if (shown.empty() || shown.back() != image) shown.push_back(image);
  ASSERT_EQ(shown.size(), expected.size());
  for (std::size_t frame = 0; frame < expected.size(); ++frame)
    EXPECT_TRUE(shown[frame] == expected[frame]) << "frame " << frame << " read late";
}

}  // namespace
}  // namespace corvane::ui
