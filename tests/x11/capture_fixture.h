#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/x11_screen_capture.h"
#include "runtime/serial_queue.h"
#include "runtime/virtual_run_loop.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"

namespace corvane::platform::x11::testing {

using corvane::testing::TestClient;
using corvane::testing::TestClientOptions;
using corvane::testing::waitUntil;
using corvane::testing::XvfbServer;

// Moves the virtual clock along with real time, so an engine's time limits mean what they say
// while the X backend's threads work in real time.
template <class Condition>
bool driveUntil(runtime::VirtualRunLoop& loop, Condition condition,
                double seconds = corvane::testing::kPatientWaitSeconds) {
  return waitUntil(
      [&] {
        loop.advance(0.005);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return condition();
      },
      seconds);
}

inline constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;
inline constexpr std::uint32_t kMagenta = 0xFF00FF, kYellow = 0xFFFF00, kCyan = 0x00FFFF;

inline std::uint32_t opaque(std::uint32_t rgb) {
  return 0xFF000000u | rgb;
}

inline std::size_t countPixels(const PixelBuffer& frame, std::uint32_t rgb) {
  std::size_t count = 0;
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) count += frame.pixel(x, y) == opaque(rgb);
  }
  return count;
}

// A resolver that knows no desktop entries, so ids are the window classes.
inline std::shared_ptr<const ApplicationIdentityResolver> plainIdentities() {
  return std::make_shared<const ApplicationIdentityResolver>(
      std::make_shared<const DesktopEntryIndex>());
}

inline ContentFilter excluding(std::vector<std::string> ids) {
  ContentFilter filter;
  filter.displayID = 0;  // the primary monitor
  for (auto& id : ids) filter.excludedApplications.push_back(ShareableApplication{id, id, 0});
  return filter;
}

// Collects the samples of a stream from its own sample queue thread.
class SampleRecorder {
 public:
  StreamOutput output() {
    StreamOutput output;
    output.onSample = [this](const CapturedSample& sample) {
      std::lock_guard lock(mutex_);
      if (sample.pixels) frames_.push_back(sample.pixels);
    };
    output.onStopWithError = [this](const runtime::Error& error) {
      std::lock_guard lock(mutex_);
      errors_.push_back(error.message);
    };
    return output;
  }
  std::size_t frameCount() const {
    std::lock_guard lock(mutex_);
    return frames_.size();
  }
  std::vector<SharedPixelBuffer> framesSince(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return std::vector<SharedPixelBuffer>(frames_.begin() + std::min(index, frames_.size()),
                                          frames_.end());
  }
  SharedPixelBuffer latest() const {
    std::lock_guard lock(mutex_);
    return frames_.empty() ? nullptr : frames_.back();
  }
  std::vector<std::string> errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
  }
  // How many of all the frames delivered so far hold a pixel of any of `colours`.
  std::size_t framesShowingAny(std::initializer_list<std::uint32_t> colours) const {
    std::size_t count = 0;
    for (const auto& frame : framesSince(0)) {
      bool shows = false;
      for (std::uint32_t colour : colours) shows = shows || countPixels(*frame, colour) > 0;
      count += shows;
    }
    return count;
  }
  // Waits until `more` frames came after the ones delivered so far.
  bool waitForMoreFrames(std::size_t more, double seconds = corvane::testing::kPatientWaitSeconds) {
    const std::size_t target = frameCount() + more;
    return waitUntil([&] { return frameCount() >= target; }, seconds);
  }
  // Waits for a frame after `index` that satisfies `condition`.
  template <class Condition>
  SharedPixelBuffer waitForFrame(std::size_t index, Condition condition,
                                 double seconds = corvane::testing::kPatientWaitSeconds) {
    SharedPixelBuffer found;
    waitUntil(
        [&] {
          for (auto& frame : framesSince(index)) {
            if (condition(*frame)) {
              found = frame;
              return true;
            }
          }
          return false;
        },
        seconds);
    return found;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<SharedPixelBuffer> frames_;
  std::vector<std::string> errors_;
};

inline runtime::Status waitFor(std::future<runtime::Status>& future,
                               double seconds = corvane::testing::kPatientWaitSeconds) {
  if (future.wait_for(std::chrono::duration<double>(seconds)) != std::future_status::ready) {
    return runtime::Status::failure("timed out");
  }
  return future.get();
}

inline runtime::Status startStream(CaptureStream& stream) {
  auto promise = std::make_shared<std::promise<runtime::Status>>();
  auto future = promise->get_future();
  stream.startCapture([promise](runtime::Status status) { promise->set_value(status); });
  return waitFor(future);
}

inline runtime::Status stopStream(CaptureStream& stream) {
  auto promise = std::make_shared<std::promise<runtime::Status>>();
  auto future = promise->get_future();
  stream.stopCapture([promise](runtime::Status status) { promise->set_value(status); });
  return waitFor(future);
}

inline runtime::Result<SharedPixelBuffer> captureImageNow(ScreenCapture& capture,
                                                          const ContentFilter& filter,
                                                          StreamConfiguration configuration = {}) {
  auto promise = std::make_shared<std::promise<runtime::Result<SharedPixelBuffer>>>();
  auto future = promise->get_future();
  capture.captureImage(filter, configuration, [promise](runtime::Result<SharedPixelBuffer> result) {
    promise->set_value(std::move(result));
  });
  if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    return runtime::Error{"timed out"};
  }
  return future.get();
}

// Where a window is on the root, border excluded.
struct RootRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool viewable = false;
  int centreX() const { return x + width / 2; }
  int centreY() const { return y + height / 2; }
};

inline RootRect rootRect(const std::string& displayName, unsigned long window) {
  Display* display = XOpenDisplay(displayName.c_str());
  RootRect rect;
  if (display == nullptr) return rect;
  XWindowAttributes attributes;
  Window child;
  if (XGetWindowAttributes(display, window, &attributes)) {
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &rect.x, &rect.y,
                          &child);
    rect.width = attributes.width;
    rect.height = attributes.height;
    rect.viewable = attributes.map_state == IsViewable;
  }
  XCloseDisplay(display);
  return rect;
}

// Sets the desktop background as desktops do: a pixmap named by _XROOTPMAP_ID.
inline void setRootBackground(const std::string& displayName, std::uint32_t rgb) {
  Display* display = XOpenDisplay(displayName.c_str());
  const Window root = DefaultRootWindow(display);
  Pixmap pixmap = XCreatePixmap(display, root, 64, 64, DefaultDepth(display, 0));
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XSetForeground(display, gc, rgb);
  XFillRectangle(display, pixmap, gc, 0, 0, 64, 64);
  XFreeGC(display, gc);
  const Atom atom = XInternAtom(display, "_XROOTPMAP_ID", False);
  XChangeProperty(display, root, atom, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pixmap), 1);
  XSetCloseDownMode(display, RetainPermanent);  // the pixmap outlives this connection
  XCloseDisplay(display);
}

// The scene the engines' X11 tests share: on a green desktop, a red public window with the blue
// window of the application "Secret" over part of it.
class SecretOverPublicWindow {
 public:
  SecretOverPublicWindow(const std::string& displayName, const std::string& publicClass)
      : public_(displayName, {.windowClass = publicClass,
                              .colour = kRed,
                              .x = 40,
                              .y = 40,
                              .width = 400,
                              .height = 300}),
        secret_(displayName, {.windowClass = "Secret",
                              .colour = kBlue,
                              .x = 200,
                              .y = 120,
                              .width = 300,
                              .height = 250}) {}
  bool ok() const { return public_.window() != 0u && secret_.window() != 0u; }

 private:
  TestClient public_;
  TestClient secret_;
};

// A private X server, without a window manager or under openbox (the parameter), with a green
// desktop, the capture and helpers to start clients and streams.
class CaptureOnServer : public ::testing::TestWithParam<bool> {
 public:
  static constexpr int kWidth = 800, kHeight = 600;

 protected:
  void SetUp() override {
    server_ = std::make_unique<XvfbServer>(kWidth, kHeight);
    ASSERT_TRUE(server_->ok());
    if (GetParam()) ASSERT_TRUE(server_->startWindowManager());
    setRootBackground(display(), kGreen);
    capture_ = std::make_unique<X11ScreenCapture>(display(), plainIdentities());
  }
  const std::string& display() const { return server_->name(); }
  std::unique_ptr<TestClient> client(TestClientOptions options) {
    auto made = std::make_unique<TestClient>(display(), options);
    EXPECT_NE(made->window(), 0u);
    // Mapped (and, under a window manager, framed) before the test goes on.
    EXPECT_TRUE(waitUntil([&] { return rootRect(display(), made->window()).viewable; }))
        << "the window was never mapped";
    return made;
  }
  std::shared_ptr<CaptureStream> stream(SampleRecorder& recorder, ContentFilter filter,
                                        StreamConfiguration configuration = {}) {
    queue_ = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
    return capture_->makeStream(std::move(filter), configuration, recorder.output(), queue_);
  }

  std::unique_ptr<XvfbServer> server_;
  std::unique_ptr<X11ScreenCapture> capture_;
  std::shared_ptr<runtime::ThreadSerialQueue> queue_;
};

inline std::string nameOf(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Openbox" : "NoWM";
}

}  // namespace corvane::platform::x11::testing
