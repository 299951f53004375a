// Hostile cases for the privacy promise: every frame a stream delivers is checked, pixel by
// pixel, for the excluded client's colours while other clients do their worst.
#include <gtest/gtest.h>

#include <signal.h>

#include <sstream>

#include "platform/x11/frame_composer.h"
#include "platform/x11/x_properties.h"
#include "support/x11/pager.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

constexpr std::uint32_t kOrange = 0xFF8000;

class LeakTest : public CaptureOnServer {
 protected:
  // The excluded client, blue, under everything the case puts on top of it.
  void SetUp() override {
    CaptureOnServer::SetUp();
    if (HasFatalFailure()) return;
    secret_ = client({.windowClass = "Secret",
                      .colour = kBlue,
                      .x = 100,
                      .y = 100,
                      .width = 400,
                      .height = 300});
  }
  void TearDown() override {
    if (capture_stream_) EXPECT_TRUE(stopStream(*capture_stream_).ok());
  }
  // A window that never paints (no background, no answer to exposure), yellow if it did.
  std::unique_ptr<TestClient> hungWindow(int x, int y, int width, int height) {
    return client({.windowClass = "Hung",
                   .colour = kYellow,
                   .x = x,
                   .y = y,
                   .width = width,
                   .height = height,
                   .lazy = true});
  }
  // Starts a stream leaving out the secret client and waits for its first frame.
  void startExcludingSecret() {
    capture_stream_ = stream(recorder_, excluding({"Secret"}));
    ASSERT_TRUE(startStream(*capture_stream_).ok());
    waitForCurrentFrames();
  }
  // Waits for two frames composed after everything the server did so far (a frame may be
  // under way already): asking for a new configuration makes the stream compose at once.
  void waitForCurrentFrames() {
    for (int round = 0; round < 2; ++round) {
      const std::size_t count = recorder_.frameCount();
      requestFrame();
      ASSERT_TRUE(waitUntil([&] { return recorder_.frameCount() > count; }))
          << "no frame came after the request";
    }
  }
  void requestFrame() {
    capture_stream_->updateConfiguration({}, [](runtime::Status) {});
  }
  // Waits for frames showing the window's centre as the neutral fill.
  bool showsNeutralAt(int x, int y) {
    return static_cast<bool>(recorder_.waitForFrame(recorder_.frameCount(), [&](const auto& f) {
      return f.pixel(x, y) == kNeutralFillColour;
    }));
  }
  // What the latest frame holds at a point, and where the window is now: for failure messages.
  std::string describeAt(int x, int y, unsigned long window) const {
    const auto latest = recorder_.latest();
    const RootRect now = rootRect(display(), window);
    std::ostringstream text;
    text << std::hex << "the latest frame holds 0x" << (latest ? latest->pixel(x, y) : 0u)
         << std::dec << " at " << x << "," << y << "; the window is at " << now.x << "," << now.y
         << " " << now.width << "x" << now.height << (now.viewable ? "" : " (not viewable)")
         << ", after " << recorder_.frameCount() << " frames";
    return text.str();
  }
  void expectNoFrameShowsTheSecret(std::initializer_list<std::uint32_t> colours = {kBlue}) {
    EXPECT_EQ(recorder_.framesShowingAny(colours), 0u)
        << "of " << recorder_.frameCount() << " frames";
    EXPECT_TRUE(recorder_.errors().empty());
  }

  std::unique_ptr<TestClient> secret_;
  SampleRecorder recorder_;
  std::shared_ptr<CaptureStream> capture_stream_;
};

// A display connection of the test's own, to move other clients' windows about.
struct Mover {
  explicit Mover(const std::string& name) : display(XOpenDisplay(name.c_str())) {}
  ~Mover() { XCloseDisplay(display); }
  void sync() { XSync(display, False); }
  Display* display;
};

TEST_P(LeakTest, AHungWindowStaysNeutralThroughMovesRestackingBordersAndUncovering) {
  startExcludingSecret();
  auto hung = hungWindow(150, 150, 200, 150);
  RootRect rect = rootRect(display(), hung->window());
  ASSERT_TRUE(showsNeutralAt(rect.centreX(), rect.centreY()));

  Mover mover(display());
  const Window window = hung->window();
  XMoveWindow(mover.display, window, 153, 152);
  mover.sync();
  waitForCurrentFrames();
  // Covered by another window, raised again, then uncovered by it going away.
  auto cover = client(
      {.windowClass = "Cover", .colour = kOrange, .x = 180, .y = 180, .width = 100, .height = 80});
  waitForCurrentFrames();
  XRaiseWindow(mover.display, window);
  mover.sync();
  waitForCurrentFrames();
  XLowerWindow(mover.display, window);
  XRaiseWindow(mover.display, secret_->window());
  XRaiseWindow(mover.display, window);
  mover.sync();
  waitForCurrentFrames();
  const unsigned long coverWindow = cover->window();
  cover.reset();
  ASSERT_TRUE(waitUntil([&] { return !rootRect(display(), coverWindow).viewable; }));
  waitForCurrentFrames();
  XSetWindowBorderWidth(mover.display, window, 3);
  mover.sync();
  waitForCurrentFrames();

  rect = rootRect(display(), window);
  EXPECT_TRUE(showsNeutralAt(rect.centreX(), rect.centreY()));
  expectNoFrameShowsTheSecret();
}

TEST_P(LeakTest, APartialPaintReleasesOnlyWhatItCovered) {
  startExcludingSecret();
  auto hung = hungWindow(150, 150, 200, 150);
  const RootRect rect = rootRect(display(), hung->window());
  ASSERT_TRUE(showsNeutralAt(rect.centreX(), rect.centreY()));
  ASSERT_NE(hung->command("paint 16x16+0+0 00FFFF"), 0u);
  EXPECT_TRUE(recorder_.waitForFrame(recorder_.frameCount(), [&](const PixelBuffer& f) {
    return f.pixel(rect.x + 8, rect.y + 8) == opaque(kCyan);
  })) << "the painted square shows";
  waitForCurrentFrames();
  EXPECT_EQ(recorder_.latest()->pixel(rect.centreX(), rect.centreY()), kNeutralFillColour);
  expectNoFrameShowsTheSecret();
}

TEST_P(LeakTest, ChildWindowsAreGatedOnTheirOwn) {
  startExcludingSecret();
  // A painting parent whose never-painting child keeps what lay beneath once the parent's
  // pixmap is made again.
  auto parent = client(
      {.windowClass = "Parent", .colour = kRed, .x = 150, .y = 150, .width = 200, .height = 150});
  ASSERT_NE(parent->command("child 60x60+20+20 FFFF00 lazy"), 0u);
  ASSERT_NE(parent->command("remap"), 0u);
  ASSERT_TRUE(waitUntil([&] { return rootRect(display(), parent->window()).viewable; }));
  const RootRect outer = rootRect(display(), parent->window());
  ASSERT_TRUE(recorder_.waitForFrame(recorder_.frameCount(), [&](const PixelBuffer& f) {
    return f.pixel(outer.x + 150, outer.y + 100) == opaque(kRed);
  })) << describeAt(outer.x + 150, outer.y + 100, parent->window());
  waitForCurrentFrames();
  EXPECT_EQ(recorder_.latest()->pixel(outer.x + 50, outer.y + 50), kNeutralFillColour);

  // A never-painting parent whose small child animates: only the child's area is released.
  auto hung = hungWindow(120, 200, 300, 150);
  const unsigned long child = hung->command("child 40x40+10+10 00FFFF");
  ASSERT_NE(child, 0u);
  ASSERT_NE(hung->command("animate 20 " + std::to_string(child)), 0u);
  const RootRect rect = rootRect(display(), hung->window());
  EXPECT_TRUE(recorder_.waitForFrame(recorder_.frameCount(), [&](const PixelBuffer& f) {
    return f.pixel(rect.x + 30, rect.y + 30) == opaque(kCyan);
  }));
  waitForCurrentFrames();
  EXPECT_EQ(recorder_.latest()->pixel(rect.centreX(), rect.centreY()), kNeutralFillColour);
  expectNoFrameShowsTheSecret();
}

TEST_P(LeakTest, AWindowRemappingItselfNonStopNeverShowsWhatLiesBeneath) {
  startExcludingSecret();
  auto flicker = client(
      {.windowClass = "Flicker", .colour = kRed, .x = 150, .y = 150, .width = 250, .height = 200});
  ASSERT_NE(flicker->command("flicker 80 12"), 0u);
  waitForCurrentFrames();  // frames keep coming
  expectNoFrameShowsTheSecret();
}

TEST_P(LeakTest, AWindowMappedBeforeItsClassIsSetStaysOutUntilItIsNamed) {
  startExcludingSecret();
  auto unnamed = client({.windowClass = "Public",
                         .colour = kMagenta,
                         .x = 550,
                         .y = 420,
                         .width = 150,
                         .height = 100,
                         .withoutClass = true});
  waitForCurrentFrames();
  EXPECT_EQ(recorder_.framesShowingAny({kMagenta}), 0u) << "unnamed, it may be the secret";
  ASSERT_NE(unnamed->command("class Public"), 0u);
  EXPECT_TRUE(recorder_.waitForFrame(recorder_.frameCount(), [](const PixelBuffer& f) {
    return countPixels(f, kMagenta);
  })) << "named and not excluded, it shows";
  expectNoFrameShowsTheSecret();
}

TEST_P(LeakTest, AnExcludedWindowEmbeddedInAPublicOneStaysOut) {
  auto host = client(
      {.windowClass = "Host", .colour = kRed, .x = 520, .y = 50, .width = 250, .height = 200});
  startExcludingSecret();
  const unsigned long plug =
      secret_->command("embed " + std::to_string(host->window()) + " 100x80+20+20 FF00FF");
  ASSERT_NE(plug, 0u);
  ASSERT_TRUE(waitUntil([&] { return rootRect(display(), plug).viewable; }));
  const RootRect rect = rootRect(display(), plug);
  // The host shows around it.
  EXPECT_TRUE(recorder_.waitForFrame(recorder_.frameCount(), [&](const PixelBuffer& f) {
    return f.pixel(rect.centreX(), rect.centreY()) == kNeutralFillColour &&
           f.pixel(rect.x + rect.width + 10, rect.centreY()) == opaque(kRed);
  }));
  // The host hangs; the plug goes away: its last pixels stay in the host's pixmap, which the
  // host does not repaint.
  kill(host->pid(), SIGSTOP);
  ASSERT_NE(secret_->command("unmap " + std::to_string(plug)), 0u);
  waitForCurrentFrames();
  EXPECT_EQ(recorder_.latest()->pixel(rect.centreX(), rect.centreY()), kNeutralFillColour);
  kill(host->pid(), SIGCONT);
  expectNoFrameShowsTheSecret({kBlue, kMagenta});
}

// Under a window manager: desktop switches unmap and map whole sets of windows at once.
using DesktopSwitchLeakTest = LeakTest;

TEST_P(DesktopSwitchLeakTest, FastDesktopSwitchesNeverShowTheExcludedClientOrItsWindows) {
  ASSERT_NE(secret_->command("popup 120x100+150+420 FF00FF"), 0u);
  ASSERT_NE(secret_->command("dialog 150x100+300+200 FFFF00"), 0u);
  Mover mover(display());
  const Window root = DefaultRootWindow(mover.display);
  const Atom current = XInternAtom(mover.display, "_NET_CURRENT_DESKTOP", False);
  // Switches as a pager does, and waits until the window manager has done it.
  auto switchTo = [&](long desktop) {
    corvane::testing::requestDesktop(mover.display, desktop);
    mover.sync();
    return waitUntil(
        [&] { return cardinalValue(mover.display, root, current, XA_CARDINAL) == desktop; });
  };
  ASSERT_TRUE(switchTo(1));
  // A painting window without background where the secret is, on the other desktop.
  auto cover = client(
      {.windowClass = "Cover", .colour = kRed, .x = 120, .y = 120, .width = 350, .height = 250});
  startExcludingSecret();
  // A frame is asked for as each switch is done, so frames fall amid the changes.
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(switchTo(i % 2)) << "the window manager did not switch";
    requestFrame();
  }
  waitForCurrentFrames();
  expectNoFrameShowsTheSecret({kBlue, kMagenta, kYellow});
}

INSTANTIATE_TEST_SUITE_P(WindowManager, DesktopSwitchLeakTest, ::testing::Values(true), nameOf);

INSTANTIATE_TEST_SUITE_P(WindowManagers, LeakTest, ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
