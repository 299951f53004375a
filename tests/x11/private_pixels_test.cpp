#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "capture/arrow_cursor_image.h"
#include "capture/capture_stream_supervisor.h"
#include "platform/x11/frame_composer.h"
#include "runtime/virtual_run_loop.h"
#include "x11/capture_fixture.h"
#include "x11/engine_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

using PrivatePixelsTest = CaptureOnServer;

// Names `id` as the desktop background, whatever it is, as any client may.
void nameRootBackground(const std::string& displayName, unsigned long id) {
  Display* display = XOpenDisplay(displayName.c_str());
  ASSERT_NE(display, nullptr);
  const Atom atom = XInternAtom(display, "_XROOTPMAP_ID", False);
  XChangeProperty(display, DefaultRootWindow(display), atom, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&id), 1);
  XCloseDisplay(display);
}

// Reads part of one window's contents over and over on a connection of its own, as a client that
// shares that window would, and keeps the most pixels of one colour any read held.
class WindowWatcher {
 public:
  WindowWatcher(const std::string& displayName, unsigned long window, RootRect part,
                std::uint32_t rgb)
      : thread_([this, displayName, window, part, rgb] {
          Display* display = XOpenDisplay(displayName.c_str());
          if (display == nullptr) return;
          while (!stop_.load()) {
            XImage* image = XGetImage(display, window, part.x, part.y, part.width, part.height,
                                      AllPlanes, ZPixmap);
            if (image == nullptr) continue;
            std::size_t count = 0;
            for (int y = 0; y < image->height; ++y) {
              const auto* row =
                  reinterpret_cast<const std::uint32_t*>(image->data + y * image->bytes_per_line);
              for (int x = 0; x < image->width; ++x) count += (row[x] & 0xFFFFFF) == rgb;
            }
            XDestroyImage(image);
            most_.store(std::max(most_.load(), count));
            reads_.fetch_add(1);
          }
          XCloseDisplay(display);
        }) {}
  ~WindowWatcher() { stop(); }
  void stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  std::size_t most() const { return most_.load(); }
  int reads() const { return reads_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> most_{0};
  std::atomic<int> reads_{0};
  std::thread thread_;
};

// A filter change replaces the stream. A window without a background lies under a secret one: it
// keeps its own pixels in the frames and in what other clients read of it, the replacement never
// giving it a backing pixmap copied from the screen.
TEST_P(PrivatePixelsTest, AStreamReplacementKeepsTheWindowsOwnPixels) {
  runtime::VirtualRunLoop loop;
  // It never paints: whatever its backing pixmap is given stays there until the capture fills it.
  auto plain = client({.windowClass = "Plain",
                       .colour = kRed,
                       .x = 40,
                       .y = 40,
                       .width = 400,
                       .height = 300,
                       .lazy = true});
  auto secret = client(
      {.windowClass = "Secret", .colour = kBlue, .x = 200, .y = 120, .width = 300, .height = 250});
  const RootRect red = rootRect(display(), plain->window());
  const RootRect blue = rootRect(display(), secret->window());
  // A patch of it that the secret window covers, in its own pixels: small, so it is read often.
  const RootRect covered{blue.x - red.x + 20, blue.y - red.y + 20, 4, 4};

  std::mutex framesMutex;
  std::vector<SharedPixelBuffer> frames;
  capture::CaptureStreamSupervisor::Sinks sinks;
  sinks.sample = [&](const CapturedSample& sample, std::uint64_t) {
    std::lock_guard lock(framesMutex);
    if (sample.pixels) frames.push_back(sample.pixels);
  };
  auto latest = [&] {
    std::lock_guard lock(framesMutex);
    return frames.empty() ? nullptr : frames.back();
  };
  auto screenCapture = std::make_shared<X11ScreenCapture>(display(), plainIdentities());
  auto supervisor = capture::CaptureStreamSupervisor::make(
      screenCapture, nullptr, std::make_shared<runtime::ThreadSerialQueue>("test.samples"), sinks);
  const ShareableDisplay screen{0, Rect{{0, 0}, {double(kWidth), double(kHeight)}}, kWidth,
                                kHeight};
  capture::CaptureFilterSnapshot snapshot;
  snapshot.filter = excluding({"Secret"});
  auto started = runtime::spawn(supervisor->start(snapshot, screen, {}));
  ASSERT_TRUE(driveUntil(loop, [&] { return started.isDone(); }));
  ASSERT_TRUE(started.result().isRunning()) << started.result().error;
  // The first redirect gave the window a new pixmap: wait until the capture has filled it.
  ASSERT_TRUE(driveUntil(loop, [&] {
    auto frame = latest();
    return frame &&
           frame->pixel(red.x + red.width - 20, red.y + red.height - 20) == kNeutralFillColour;
  }));
  ASSERT_TRUE(waitUntil([&] {
    WindowWatcher once(display(), plain->window(), covered, kBlue);
    waitUntil([&] { return once.reads() > 0; });
    once.stop();
    return once.most() == 0;
  }));

  WindowWatcher watcher(display(), plain->window(), covered, kBlue);
  for (int replacement = 1; replacement <= 4; ++replacement) {
    snapshot.filter = excluding({"Secret", "Other" + std::to_string(replacement)});
    auto replaced = runtime::spawn(supervisor->replace(snapshot, screen, {}, [] { return true; }));
    ASSERT_TRUE(driveUntil(loop, [&] { return replaced.isDone(); }));
    ASSERT_TRUE(replaced.result().isRunning()) << replaced.result().error;
  }
  const std::size_t framesBefore = [&] {
    std::lock_guard lock(framesMutex);
    return frames.size();
  }();
  ASSERT_TRUE(driveUntil(loop, [&] {
    std::lock_guard lock(framesMutex);
    return frames.size() > framesBefore;
  }));
  watcher.stop();
  EXPECT_GT(watcher.reads(), 10);
  EXPECT_EQ(watcher.most(), 0u) << "secret pixels in the window without a background";
  std::lock_guard lock(framesMutex);
  for (const auto& frame : frames) EXPECT_EQ(countPixels(*frame, kBlue), 0u);
  supervisor.reset();
  loop.runUntilIdle();
}

TEST_P(PrivatePixelsTest, TheDesktopBackgroundIsNeitherAWindowNorAPixmapOfAnExcludedClient) {
  auto beneath = client(
      {.windowClass = "Beneath", .colour = kRed, .x = 40, .y = 40, .width = 200, .height = 150});
  auto secret = client(
      {.windowClass = "Secret", .colour = kBlue, .x = 450, .y = 300, .width = 250, .height = 200});
  // The desktop program's window is left out for its icons; the wallpaper it names is not.
  auto icons = client({.windowClass = "Icons",
                       .colour = kMagenta,
                       .x = 0,
                       .y = 0,
                       .width = 20,
                       .height = 20,
                       .desktop = true});
  SampleRecorder recorder;
  ContentFilter filter = excluding({"Secret"});
  filter.excludeDesktopWindows = true;
  auto capture = stream(recorder, filter);
  ASSERT_TRUE(startStream(*capture).ok());
  auto desktopIs = [](std::uint32_t argb) {
    return [argb](const PixelBuffer& f) { return f.pixel(5, kHeight - 5) == argb; };
  };
  ASSERT_TRUE(recorder.waitForFrame(0, desktopIs(opaque(kGreen))));

  // Another client names the secret window as the background: its pixels would tile the desktop.
  std::size_t before = recorder.frameCount();
  nameRootBackground(display(), secret->window());
  ASSERT_TRUE(recorder.waitForFrame(
      before, [](const PixelBuffer& f) { return f.pixel(5, kHeight - 5) != opaque(kGreen); }));
  EXPECT_EQ(recorder.latest()->pixel(5, kHeight - 5), kDesktopFallbackColour);

  // The excluded client names a pixmap of its own.
  before = recorder.frameCount();
  ASSERT_NE(secret->command("rootpixmap 0000FF"), 0u);
  ASSERT_TRUE(recorder.waitForMoreFrames(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  // A pixmap of a client that is not left out shows again.
  before = recorder.frameCount();
  ASSERT_NE(icons->command("rootpixmap FFFF00"), 0u);
  EXPECT_TRUE(recorder.waitForFrame(before, desktopIs(opaque(kYellow))));
  for (const auto& frame : recorder.framesSince(0)) EXPECT_EQ(countPixels(*frame, kBlue), 0u);
  EXPECT_TRUE(stopStream(*capture).ok());
}

// A left-out client gives its window a pointer of its own colour, and so does a public one: the
// output draws the public one as it is, and a plain arrow while the pointer is over the left-out
// window.
TEST_P(PrivatePixelsTest, TheOutputNeverDrawsTheOwnPointerOfAnExcludedClient) {
  runtime::VirtualRunLoop loop;
  auto open = client(
      {.windowClass = "Open", .colour = kRed, .x = 40, .y = 40, .width = 300, .height = 250});
  auto secret = client({.windowClass = "Secret",
                        .colour = kYellow,
                        .x = 420,
                        .y = 150,
                        .width = 300,
                        .height = 250});
  ASSERT_NE(open->command("cursor 00FF00"), 0u);
  ASSERT_NE(secret->command("cursor 0000FF"), 0u);
  auto desktop = openDesktop(display(), static_cast<std::int32_t>(getpid()), plainIdentities());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  auto engine = engineOn(desktop.value());
  auto started = runtime::spawn(engine->start({"Secret"}, false, {}, std::nullopt));
  ASSERT_TRUE(driveUntil(loop, [&] { return started.isDone(); }));
  ASSERT_TRUE(model::isActive(engine->phase.value())) << engine->statusMessage.value();
  ASSERT_TRUE(driveUntil(loop, [&] {
    auto snapshot = engine->outputSurface()->snapshot();
    return snapshot && snapshot->image && countPixels(*snapshot->image, kRed) > 0;
  }));

  Display* pointer = XOpenDisplay(display().c_str());
  ASSERT_NE(pointer, nullptr);
  std::size_t secretPointerPixels = 0;
  auto drawnCursor = [&] {
    const auto cursor = engine->outputSurface()->cursorState();
    if (cursor.image) secretPointerPixels += countPixels(*cursor.image, kBlue);
    return cursor;
  };
  auto moveTo = [&](const RootRect& rect, auto shown) {
    XTestFakeMotionEvent(pointer, -1, rect.centreX(), rect.centreY(), CurrentTime);
    XSync(pointer, False);
    return driveUntil(
        loop,
        [&] {
          const auto cursor = drawnCursor();
          return cursor.isDrawable() && shown(cursor);
        },
        5.0);
  };
  auto drawsItsOwn = [](const capture::ProtectedCursorState& cursor) {
    return countPixels(*cursor.image, kGreen) > 0;
  };
  auto drawsTheArrow = [](const capture::ProtectedCursorState& cursor) {
    return cursor.image == capture::arrowCursorImage();
  };
  const RootRect openPlace = rootRect(display(), open->window());
  const RootRect secretPlace = rootRect(display(), secret->window());
  EXPECT_TRUE(moveTo(openPlace, drawsItsOwn)) << "the public pointer is drawn as it is";
  EXPECT_TRUE(moveTo(secretPlace, drawsTheArrow));
  // Still the arrow a while later, once the pointer's image has surely been read.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  int otherwise = 0;
  EXPECT_TRUE(driveUntil(loop, [&] {
    otherwise += !drawsTheArrow(drawnCursor());
    return std::chrono::steady_clock::now() >= until;
  }));
  EXPECT_EQ(otherwise, 0);
  EXPECT_TRUE(moveTo(openPlace, drawsItsOwn));
  // The excluded client grabs the pointer, with a pointer of its own, while it is over the public
  // window: the arrow shows there too until it lets go.
  ASSERT_NE(secret->command("grab 0000FF"), 0u);
  EXPECT_TRUE(moveTo(openPlace, drawsTheArrow));
  ASSERT_NE(secret->command("ungrab"), 0u);
  EXPECT_TRUE(moveTo(openPlace, drawsItsOwn));
  EXPECT_EQ(secretPointerPixels, 0u);
  XCloseDisplay(pointer);

  auto stopped = runtime::spawn(engine->stop());
  ASSERT_TRUE(driveUntil(loop, [&] { return stopped.isDone(); }));
  engine.reset();
  loop.runUntilIdle();
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, PrivatePixelsTest, ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
