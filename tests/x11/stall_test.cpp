#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cmath>

#include "platform/x11/x11_cursor_source.h"
#include "platform/x11/x11_permissions.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// Keeps the server stopped (SIGSTOP) while it lives.
struct StoppedServer {
  explicit StoppedServer(pid_t server) : pid(server) { kill(pid, SIGSTOP); }
  ~StoppedServer() { resume(); }
  void resume() { kill(pid, SIGCONT); }
  pid_t pid;
};

template <class Call>
double secondsFor(Call call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(ServerStallTest, AServerThatStopsAnsweringFailsTheStreamAndHoldsUpNoCaller) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  auto cursor = X11CursorSource::open(server.name());
  auto idleness = X11InputIdleness::open(server.name());
  ASSERT_TRUE(cursor.ok() && idleness.ok());
  EXPECT_TRUE((*cursor)->cursorPosition().has_value()) << "sampled before open returns";
  X11Permissions permissions(server.name(), {{"DISPLAY", server.name()}});
  EXPECT_FALSE(permissions.screenCaptureDenialReason().has_value());

  X11ScreenCapture capture(server.name(), plainIdentities());
  capture.setStallLimit(1.0);
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  auto stream = capture.makeStream(excluding({}), {}, recorder.output(), queue);
  ASSERT_TRUE(startStream(*stream).ok());
  ASSERT_TRUE(waitUntil([&] { return recorder.frameCount() > 0; }));

  StoppedServer stopped(server.pid());
  // What the main actor asks many times a second answers from the last sample.
  const double polling = secondsFor([&] {
    for (int i = 0; i < 60; ++i) {
      (*cursor)->cursorPosition();
      (*cursor)->currentCursorImage();
      (*idleness)->secondsSinceLastInput();
    }
  });
  EXPECT_LT(polling, 0.5);
  // A permission check gives up with a reason instead of waiting for the server.
  std::optional<std::string> refusal;
  EXPECT_LT(secondsFor([&] { refusal = permissions.screenCaptureDenialReason(); }), 3.0);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_NE(refusal->find("does not answer"), std::string::npos) << *refusal;
  // A one-off image gives up as well.
  auto image = std::make_shared<std::promise<runtime::Result<SharedPixelBuffer>>>();
  auto imageResult = image->get_future();
  capture.captureImage(excluding({}), {}, [image](runtime::Result<SharedPixelBuffer> result) {
    image->set_value(std::move(result));
  });
  // The stream, stuck on its next frame, stops with an error within its limit.
  ASSERT_TRUE(waitUntil([&] { return !recorder.errors().empty(); }, 4.0));
  EXPECT_NE(recorder.errors().front().find("stopped answering"), std::string::npos)
      << recorder.errors().front();
  EXPECT_TRUE(stopStream(*stream).ok());
  ASSERT_EQ(imageResult.wait_for(std::chrono::seconds(4)), std::future_status::ready);
  auto imageOutcome = imageResult.get();
  EXPECT_FALSE(imageOutcome.ok());
  EXPECT_NE(imageOutcome.message().find("stopped answering"), std::string::npos)
      << imageOutcome.message();

  // Once the server answers again, so do the samplers and the permission check (which also
  // lets the probe that gave up finish before the server goes away).
  stopped.resume();
  EXPECT_FALSE(permissions.screenCaptureDenialReason().has_value());
  Display* display = XOpenDisplay(server.name().c_str());
  XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, 77, 66);
  XSync(display, False);
  XCloseDisplay(display);
  EXPECT_TRUE(waitUntil([&] { return (*cursor)->cursorPosition() == (Point{77, 66}); }));
}

// A screenshot tool selecting a region, or a window manager's wireframe move, holds the server for
// as long as the user drags: the stream waits for it, holding its last frame back, and goes on
// once the server answers again. A stream replaced meanwhile (a new filter) stops and starts
// within the time the engine allows each step, and its successor delivers once the server answers.
// The time since the last input is unknown meanwhile, so the engine does not take the last input
// sampled for input the capture never followed.
TEST(ServerStallTest, AnotherClientsLongGrabOnlyHoldsTheStreamBack) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  X11ScreenCapture capture(server.name(), plainIdentities());
  TestClient painter(server.name(), {.windowClass = "Painter", .colour = kRed, .width = 200});
  auto idleness = X11InputIdleness::open(server.name());
  ASSERT_TRUE(idleness.ok());
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  auto first = capture.makeStream(excluding({}), {}, recorder.output(), queue);
  ASSERT_TRUE(startStream(*first).ok());
  ASSERT_TRUE(recorder.waitForMoreFrames(1));
  EXPECT_FALSE(std::isnan((*idleness)->secondsSinceLastInput()));

  Display* grabber = XOpenDisplay(server.name().c_str());
  ASSERT_NE(grabber, nullptr);
  XGrabServer(grabber);
  XSync(grabber, False);
  const auto grabbedAt = std::chrono::steady_clock::now();
  // A window made once the server answers again.
  painter.send("spawn Later 100x80+150+100 00FF00");
  auto next = capture.makeStream(excluding({"Secret"}), {}, recorder.output(), queue);
  EXPECT_LT(secondsFor([&] { EXPECT_TRUE(stopStream(*first).ok()); }), 1.5);
  EXPECT_LT(secondsFor([&] { EXPECT_TRUE(startStream(*next).ok()); }), 5.0);
  // A stream let go of meanwhile returns within the stop's grace, without shutting the connection
  // that keeps the windows redirected (the lasting redirect cannot connect before the grab ends).
  auto dropped = capture.makeStream(excluding({}), {}, recorder.output(), queue);
  EXPECT_TRUE(startStream(*dropped).ok());
  EXPECT_LT(secondsFor([&] { dropped.reset(); }), 0.9);
  const std::size_t duringGrab = recorder.frameCount();
  // What input there was meanwhile cannot be known: the last sample does not stand for it.
  EXPECT_TRUE(waitUntil([&] { return std::isnan((*idleness)->secondsSinceLastInput()); }, 4.0));
  // The rest of eight seconds, as long as a drag.
  std::this_thread::sleep_until(grabbedAt + std::chrono::seconds(8));
  XUngrabServer(grabber);
  XSync(grabber, False);
  XCloseDisplay(grabber);

  EXPECT_TRUE(static_cast<bool>(recorder.waitForFrame(
      duringGrab, [](const PixelBuffer& frame) { return countPixels(frame, kGreen) > 0; })));
  EXPECT_TRUE(recorder.errors().empty()) << recorder.errors().front();
  EXPECT_TRUE(waitUntil([&] { return !std::isnan((*idleness)->secondsSinceLastInput()); }));
  EXPECT_TRUE(stopStream(*next).ok());
}

}  // namespace
}  // namespace corvane::platform::x11::testing
