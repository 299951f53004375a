#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/x11/capture_session.h"
#include "platform/x11/frame_composer.h"
#include "platform/x11/x11_capture_stream.h"
#include "runtime/serial_queue.h"
#include "x11/capture_fixture.h"
#include "x11/refused_shared_memory.h"

namespace corvane::platform::x11::testing {
namespace {

using CaptureTest = CaptureOnServer;

TEST_P(CaptureTest, LeavesOutTheExcludedClientAndShowsWhatLiesBeneath) {
  auto beneath = client(
      {.windowClass = "Beneath", .colour = kRed, .x = 100, .y = 100, .width = 300, .height = 300});
  auto secret = client(
      {.windowClass = "Secret", .colour = kBlue, .x = 300, .y = 150, .width = 250, .height = 200});
  const RootRect red = rootRect(display(), beneath->window());
  const RootRect blue = rootRect(display(), secret->window());

  auto unfiltered = captureImageNow(*capture_, excluding({}));
  ASSERT_TRUE(unfiltered.ok()) << unfiltered.message();
  EXPECT_GT(countPixels(**unfiltered, kBlue), 0u) << "the secret client is on screen";

  auto filtered = captureImageNow(*capture_, excluding({"Secret"}));
  ASSERT_TRUE(filtered.ok()) << filtered.message();
  const PixelBuffer& frame = **filtered;
  ASSERT_EQ(frame.width(), kWidth);
  ASSERT_EQ(frame.height(), kHeight);
  EXPECT_EQ(countPixels(frame, kBlue), 0u);
  // Where the secret window covered the red one, the red one shows; past it, the desktop.
  EXPECT_EQ(frame.pixel(red.x + red.width - 10, blue.y + 10), opaque(kRed));
  EXPECT_EQ(frame.pixel(blue.x + blue.width - 10, blue.y + blue.height - 10), opaque(kGreen));
  EXPECT_EQ(frame.pixel(5, kHeight - 5), opaque(kGreen));
}

TEST_P(CaptureTest, PopupsAndDialogsOfAnExcludedClientNeverShow) {
  auto beneath = client(
      {.windowClass = "Beneath", .colour = kRed, .x = 50, .y = 50, .width = 600, .height = 450});
  auto secret = client(
      {.windowClass = "Secret", .colour = kBlue, .x = 100, .y = 100, .width = 200, .height = 150});
  SampleRecorder recorder;
  auto capture = stream(recorder, excluding({"Secret"}));
  ASSERT_TRUE(startStream(*capture).ok());
  ASSERT_TRUE(
      recorder.waitForFrame(0, [](const PixelBuffer& f) { return countPixels(f, kRed) > 0; }));
  const std::size_t before = recorder.frameCount();
  ASSERT_NE(secret->command("popup 120x120+400+200 FF00FF"), 0u);
  ASSERT_NE(secret->command("dialog 120x120+250+300 FFFF00"), 0u);
  // A popup of a client that is not excluded does show: the frames are live.
  ASSERT_NE(beneath->command("popup 60x60+500+80 00FFFF"), 0u);
  EXPECT_TRUE(recorder.waitForFrame(
      before, [](const PixelBuffer& f) { return countPixels(f, kCyan) > 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  for (const auto& frame : recorder.framesSince(0)) {
    EXPECT_EQ(countPixels(*frame, kBlue), 0u);
    EXPECT_EQ(countPixels(*frame, kMagenta), 0u);
    EXPECT_EQ(countPixels(*frame, kYellow), 0u);
  }
  EXPECT_TRUE(stopStream(*capture).ok());
  EXPECT_TRUE(recorder.errors().empty());
}

TEST_P(CaptureTest, AWindowThatNeverRepaintsShowsTheNeutralFillNotWhatWasBeneath) {
  auto secret = client(
      {.windowClass = "Secret", .colour = kBlue, .x = 100, .y = 100, .width = 400, .height = 300});
  SampleRecorder recorder;
  auto capture = stream(recorder, excluding({"Secret"}));
  ASSERT_TRUE(startStream(*capture).ok());
  ASSERT_TRUE(
      recorder.waitForFrame(0, [](const PixelBuffer& f) { return countPixels(f, kGreen) > 0; }));
  auto lazy = client({.windowClass = "Lazy",
                      .colour = kYellow,
                      .x = 150,
                      .y = 150,
                      .width = 200,
                      .height = 150,
                      .lazy = true});
  const RootRect rect = rootRect(display(), lazy->window());
  auto frame = recorder.waitForFrame(0, [&](const PixelBuffer& f) {
    return f.pixel(rect.centreX(), rect.centreY()) == kNeutralFillColour;
  });
  ASSERT_TRUE(frame) << "the lazy window shows as the neutral fill, not " << std::hex
                     << recorder.latest()->pixel(rect.centreX(), rect.centreY()) << std::dec
                     << " at " << rect.x << "," << rect.y << " " << rect.width << "x"
                     << rect.height;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (const auto& each : recorder.framesSince(0)) EXPECT_EQ(countPixels(*each, kBlue), 0u);
  // The one-off image path gates the same way.
  auto image = captureImageNow(*capture_, excluding({"Secret"}));
  ASSERT_TRUE(image.ok());
  EXPECT_EQ(countPixels(**image, kBlue), 0u);
  EXPECT_EQ((*image)->pixel(rect.centreX(), rect.centreY()), kNeutralFillColour);
  EXPECT_TRUE(stopStream(*capture).ok());
}

TEST_P(CaptureTest, AShapedWindowShowsOnlyItsShape) {
  auto secret = client(
      {.windowClass = "Secret", .colour = kBlue, .x = 100, .y = 100, .width = 400, .height = 300});
  // Mapped over the secret window: outside its shape its pixmap never gets painted.
  auto shaped = client({.windowClass = "Shaped",
                        .colour = kYellow,
                        .x = 150,
                        .y = 150,
                        .width = 200,
                        .height = 100,
                        .shaped = true});
  const RootRect rect = rootRect(display(), shaped->window());
  auto frame = captureImageNow(*capture_, excluding({"Secret"}));
  ASSERT_TRUE(frame.ok()) << frame.message();
  EXPECT_EQ(countPixels(**frame, kBlue), 0u);
  EXPECT_EQ((*frame)->pixel(rect.x + 10, rect.centreY()), opaque(kYellow));
  EXPECT_EQ((*frame)->pixel(rect.x + rect.width - 10, rect.centreY()), opaque(kGreen));
}

// The frame tells what shows of each window; a window the window manager framed shows as its
// frame (the title bar) and its client area apart, so that the two are never read as one.
TEST_P(CaptureTest, AFramedWindowsClientAreaIsAWindowAreaOfItsOwn) {
  auto framed = client(
      {.windowClass = "Framed", .colour = kRed, .x = 100, .y = 100, .width = 300, .height = 200});
  const RootRect inside = rootRect(display(), framed->window());
  auto frame = captureImageNow(*capture_, excluding({}));
  ASSERT_TRUE(frame.ok()) << frame.message();
  ASSERT_TRUE((*frame)->windowAreas().has_value());
  const PixelChanges::Area clientArea{inside.x, inside.y, inside.width, inside.height};
  bool clientAlone = false;
  for (const auto& window : *(*frame)->windowAreas()) {
    clientAlone = clientAlone || window == std::vector<PixelChanges::Area>{clientArea};
    for (const auto& piece : window) {
      const bool reachesIn = piece.y < inside.y + inside.height &&
                             piece.y + piece.height > inside.y &&
                             piece.x < inside.x + inside.width && piece.x + piece.width > inside.x;
      const bool reachesAbove = piece.y < inside.y;
      EXPECT_FALSE(reachesIn && reachesAbove) << "a window area holds the client and the title bar";
    }
  }
  EXPECT_TRUE(clientAlone) << "the client area is a window area of its own";
}

TEST_P(CaptureTest, LeavesOutItsOwnWindowsAndDesktopWindowsWhenAsked) {
  auto desktop = client({.windowClass = "Desktop",
                         .colour = kYellow,
                         .x = 0,
                         .y = 0,
                         .width = kWidth,
                         .height = kHeight,
                         .desktop = true});
  // A window of this very process, painted magenta.
  Display* own = XOpenDisplay(display().c_str());
  XSetWindowAttributes attributes{};
  attributes.background_pixel = kMagenta;
  Window window = XCreateWindow(own, DefaultRootWindow(own), 500, 300, 100, 100, 0, CopyFromParent,
                                InputOutput, CopyFromParent, CWBackPixel, &attributes);
  XClassHint hint{const_cast<char*>("own"), const_cast<char*>("Own")};
  XSetClassHint(own, window, &hint);
  XMapWindow(own, window);
  XSync(own, False);
  ASSERT_TRUE(waitUntil([&] { return rootRect(display(), window).viewable; }));

  auto plain = captureImageNow(*capture_, excluding({}));
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(countPixels(**plain, kMagenta), 0u) << "own windows are always left out";
  EXPECT_GT(countPixels(**plain, kYellow), 0u) << "desktop windows stay unless asked";

  ContentFilter withoutDesktop = excluding({});
  withoutDesktop.excludeDesktopWindows = true;
  auto filtered = captureImageNow(*capture_, withoutDesktop);
  ASSERT_TRUE(filtered.ok());
  EXPECT_EQ(countPixels(**filtered, kYellow), 0u);

  // Seen as another process would see it, the same window shows.
  X11ScreenCapture asStranger(display(), plainIdentities(), 1);
  auto stranger = captureImageNow(asStranger, excluding({}));
  ASSERT_TRUE(stranger.ok());
  EXPECT_GT(countPixels(**stranger, kMagenta), 0u);
  XCloseDisplay(own);
}

TEST_P(CaptureTest, FramesFollowChangesAtMostSixtyASecondAndScaleToTheConfiguration) {
  auto animated = client(
      {.windowClass = "Busy", .colour = kRed, .x = 10, .y = 10, .width = 200, .height = 200});
  SampleRecorder recorder;
  StreamConfiguration configuration;
  configuration.width = kWidth / 2;
  configuration.height = kHeight / 2;
  auto capture = stream(recorder, excluding({}), configuration);
  ASSERT_TRUE(startStream(*capture).ok());
  ASSERT_TRUE(
      recorder.waitForFrame(0, [](const PixelBuffer& f) { return countPixels(f, kRed) > 0; }));
  EXPECT_EQ(recorder.latest()->width(), kWidth / 2);
  EXPECT_EQ(recorder.latest()->height(), kHeight / 2);

  // A still screen: only the once-a-second keep-alive.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::size_t still = recorder.frameCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LE(recorder.frameCount() - still, 1u);

  // Constant repainting for a while: frames come, but no faster than 60 a second.
  const std::size_t busy = recorder.frameCount();
  const auto started = std::chrono::steady_clock::now();
  ASSERT_NE(animated->command("animate 200"), 0u);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  const std::size_t produced = recorder.frameCount() - busy;
  EXPECT_GE(produced, 2u);
  EXPECT_LE(produced, static_cast<std::size_t>(seconds * 60.0 + 3.0)) << seconds << " s";
  EXPECT_TRUE(stopStream(*capture).ok());
}

// Another client makes 40 windows every 2 ms and destroys them again: a stream started amid
// that delivers its first frame all the same.
TEST_P(CaptureTest, AStreamStartsAmidWindowChurn) {
  auto churner = client(
      {.windowClass = "Churner", .colour = kRed, .x = 100, .y = 100, .width = 200, .height = 200});
  churner->send("churn 40 2");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // under way before the start
  SampleRecorder recorder;
  auto capture = stream(recorder, excluding({"Secret"}));
  ASSERT_TRUE(startStream(*capture).ok());
  EXPECT_TRUE(recorder.waitForMoreFrames(3)) << "frames delivered: " << recorder.frameCount();
  EXPECT_TRUE(stopStream(*capture).ok());
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, CaptureTest, ::testing::Values(false, true), nameOf);

// A capture session on a private 320x240 server with a green desktop, driven by the test as the
// capture thread drives it.
struct SessionOnServer {
  SessionOnServer() {
    if (!server.ok()) return;
    setRootBackground(server.name(), kGreen);
    if (auto opened = XConnection::open(server.name()); opened.ok()) {
      connection = std::move(opened).value();
      if (auto made = CaptureSession::open(*connection, plainIdentities()); made.ok()) {
        session = std::move(made).value();
      }
    }
  }
  bool ok() const { return session != nullptr; }
  // Applies the events the server sent so far, then composes a frame.
  runtime::Result<SharedPixelBuffer> compose(const ContentFilter& filter,
                                             const StreamConfiguration& configuration = {}) {
    Display* display = connection->display();
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      session->handle(event);
    }
    return session->compose(filter, configuration, 0);
  }

  XvfbServer server{320, 240};
  std::unique_ptr<XConnection> connection;
  std::unique_ptr<CaptureSession> session;
};

TEST(FrameBufferTest, AFrameLetGoOfIsWrittenAgainAndAHeldOneNever) {
  SessionOnServer on;
  ASSERT_TRUE(on.ok());
  auto compose = [&] {
    auto frame = on.compose(excluding({}));
    // A frame composed while a window maps fails; the next is composed with the server held.
    if (!frame.ok()) frame = on.compose(excluding({}));
    EXPECT_TRUE(frame.ok()) << frame.message();
    return frame.ok() ? *frame : nullptr;
  };
  SharedPixelBuffer held = compose();
  ASSERT_TRUE(held);
  const void* heldAddress = held.get();
  // A window appears; the frame still held must not change under its holder.
  TestClient red(on.server.name(), {.colour = kRed, .x = 10, .y = 10, .width = 100, .height = 100});
  ASSERT_TRUE(waitUntil([&] {
    auto frame = compose();
    return frame && countPixels(*frame, kRed) > 0;
  }));
  EXPECT_EQ(countPixels(*held, kRed), 0u);
  EXPECT_EQ(countPixels(*held, kGreen), 320u * 240u);
  // Frames let go of are written again rather than made anew.
  const void* released = compose().get();
  EXPECT_NE(released, heldAddress);
  EXPECT_EQ(compose().get(), released);
}

// With no shared memory to be had, frames are read through the connection: the same filtered
// pixels, and no crash.
TEST(CaptureFailureTest, WithoutSharedMemoryFramesAreReadThroughTheConnection) {
  SessionOnServer on;
  ASSERT_TRUE(on.ok());
  TestClient red(on.server.name(), {.colour = kRed, .x = 10, .y = 10, .width = 100, .height = 100});
  TestClient secret(
      on.server.name(),
      {.windowClass = "Secret", .colour = kBlue, .x = 150, .y = 100, .width = 120, .height = 100});
  RefusedSharedMemory refused;
  SharedPixelBuffer frame;
  ASSERT_TRUE(waitUntil([&] {
    auto composed = on.compose(excluding({"Secret"}));
    frame = composed.ok() ? *composed : nullptr;
    return frame && countPixels(*frame, kRed) == 100u * 100u;
  })) << "no frame with the whole red window";
  EXPECT_GT(RefusedSharedMemory::refusals(), 0);
  EXPECT_EQ(countPixels(*frame, kBlue), 0u);
  EXPECT_EQ(countPixels(*frame, kGreen), 320u * 240u - 100u * 100u);
  // Scaled frames, and frames brought up to date where they changed, come the same way.
  StreamConfiguration half;
  half.width = 160;
  half.height = 120;
  auto scaled = on.compose(excluding({"Secret"}), half);
  ASSERT_TRUE(scaled.ok()) << scaled.message();
  EXPECT_EQ((*scaled)->pixel(30, 30), opaque(kRed));
  EXPECT_EQ(countPixels(**scaled, kBlue), 0u);
  ASSERT_NE(red.command("paint 100x100+0+0 00FFFF"), 0u);
  EXPECT_TRUE(waitUntil([&] {
    auto composed = on.compose(excluding({"Secret"}));
    return composed.ok() && countPixels(**composed, kCyan) == 100u * 100u &&
           countPixels(**composed, kBlue) == 0u;
  }));
}

TEST(CaptureFailureTest, ALostServerStopsTheStreamWithAnError) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  X11ScreenCapture capture(server.name(), plainIdentities());
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  auto stream = capture.makeStream(excluding({}), {}, recorder.output(), queue);
  ASSERT_TRUE(startStream(*stream).ok());
  ASSERT_TRUE(waitUntil([&] { return recorder.frameCount() > 0; }));
  server.kill();
  ASSERT_TRUE(waitUntil([&] { return !recorder.errors().empty(); }));
  EXPECT_NE(recorder.errors().front().find("connection to the X display was lost"),
            std::string::npos);
  EXPECT_TRUE(stopStream(*stream).ok());
}

TEST(CaptureFailureTest, AServerWithoutDamageIsRefusedByName) {
  XvfbServer server(320, 240, {"-extension", "DAMAGE"});
  ASSERT_TRUE(server.ok());
  X11ScreenCapture capture(server.name(), plainIdentities());
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  auto stream = capture.makeStream(excluding({}), {}, recorder.output(), queue);
  auto status = startStream(*stream);
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find("DAMAGE"), std::string::npos) << status.message();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(recorder.frameCount(), 0u);
  auto image = captureImageNow(capture, excluding({}));
  EXPECT_FALSE(image.ok());
}

// A consumer that is behind still has samples queued when a stop arrives: they run first, and
// once the stop has completed nothing reaches the output (its owner may be gone by then).
TEST_P(CaptureTest, NoSampleReachesTheOutputOnceTheStopHasCompleted) {
  auto window = client({.windowClass = "Shown", .colour = kRed, .x = 40, .y = 40});
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> stopCompleted{false};
  std::atomic<int> samples{0};
  std::atomic<int> samplesAfterStop{0};
  StreamOutput output;
  output.onSample = [&](const CapturedSample&) {
    if (stopCompleted.load()) ++samplesAfterStop;
    if (samples.fetch_add(1) == 0) released.wait();  // the consumer is held on its first sample
  };
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  StreamConfiguration configuration;
  configuration.queueDepth = 8;
  auto stream = capture_->makeStream(excluding({}), configuration, output, queue);
  auto* x11Stream = dynamic_cast<X11CaptureStream*>(stream.get());
  ASSERT_NE(x11Stream, nullptr);
  ASSERT_TRUE(startStream(*stream).ok());
  ASSERT_TRUE(waitUntil([&] { return samples.load() == 1; }));
  // More frames queue up behind the held one: a new configuration composes at once.
  for (std::uint64_t wanted = 2; wanted <= 3; ++wanted) {
    stream->updateConfiguration(configuration, [](runtime::Status) {});
    ASSERT_TRUE(waitUntil([&] { return x11Stream->deliveredFrames() >= wanted; }));
  }
  auto stopped = std::make_shared<std::promise<runtime::Status>>();
  auto stoppedFuture = stopped->get_future();
  stream->stopCapture([&stopCompleted, stopped](runtime::Status status) {
    stopCompleted.store(true);
    stopped->set_value(status);
  });
  // The stop may not complete while samples before it are still held: a stop that did would be
  // seen here within the second.
  EXPECT_EQ(stoppedFuture.wait_for(std::chrono::seconds(1)), std::future_status::timeout);
  release.set_value();
  ASSERT_TRUE(waitFor(stoppedFuture).ok());
  queue->runSync([] {});
  EXPECT_GE(samples.load(), 3);
  EXPECT_EQ(samplesAfterStop.load(), 0);
}

TEST(CaptureFailureTest, AnUnknownDisplayIsRefused) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  X11ScreenCapture capture(server.name(), plainIdentities());
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  ContentFilter filter = excluding({});
  filter.displayID = 7;
  auto stream = capture.makeStream(filter, {}, recorder.output(), queue);
  auto status = startStream(*stream);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Display 7 is not connected.");
}

}  // namespace
}  // namespace corvane::platform::x11::testing
