#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/x11/x11_cursor_source.h"
#include "platform/x11/x11_permissions.h"
#include "platform/x11/x11_screens.h"
#include "platform/x11/x11_workspace.h"
#include "platform/x11/x_event_pump.h"
#include "platform/x11/xlib.h"
#include "support/x11/x_clients.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

using corvane::testing::connectionsOf;
using corvane::testing::killConnection;

// The connections of this process opened since `before` was taken, once `count` have come.
std::vector<XID> newConnections(Display* display, const std::vector<XID>& before,
                                std::size_t count) {
  std::vector<XID> added;
  waitUntil([&] {
    added.clear();
    for (XID base : connectionsOf(display, getpid())) {
      if (std::find(before.begin(), before.end(), base) == before.end()) added.push_back(base);
    }
    return added.size() >= count;
  });
  return added;
}

// A window's pixels of `rgb` as another client reads them: what it holds of its own while it is
// redirected, else what the screen shows where it is.
std::size_t ownPixels(Display* display, Window window, std::uint32_t rgb) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, window, &attributes);
  XImage* image =
      XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (image == nullptr) return 0;
  std::size_t count = 0;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) count += (XGetPixel(image, x, y) & 0xFFFFFF) == rgb;
  }
  XDestroyImage(image);
  return count;
}

// Another client kills the connection that keeps every window redirected while one stream
// replaces another: the redirect is opened again before the ending stream lets its own go, so no
// window is left unredirected in between (read, it would show the private window lying over it,
// and a new backing pixmap would be copied from that). When the server takes no new connection,
// the ending stream fails instead.
TEST(LostConnectionTest, AKilledLastingRedirectIsOpenedAgainBeforeAStreamHandsOver) {
  XvfbServer server(640, 480, {"-maxclients", "64"});
  ASSERT_TRUE(server.ok());
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  X11ScreenCapture capture(server.name(), plainIdentities());
  // It draws only when told: what its backing pixmap holds is what it drew, or what the server
  // copied into a new one.
  TestClient board(
      server.name(),
      {.windowClass = "Board", .colour = kRed, .x = 20, .y = 20, .width = 300, .lazy = true});
  TestClient secret(server.name(), {.windowClass = "Secret", .colour = kBlue, .x = 100, .y = 60});
  ASSERT_TRUE(waitUntil([&] { return rootRect(server.name(), secret.window()).viewable; }));

  const auto initial = connectionsOf(display, getpid());
  auto replaceAfterKillingTheRedirect = [&](bool atClientLimit) {
    // The streams of a round before let go of their connections, the redirect's among them, on
    // their own threads: the redirect made now is one of its own.
    ASSERT_TRUE(waitUntil([&] { return connectionsOf(display, getpid()) == initial; }));
    SampleRecorder recorder;
    auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
    auto first = capture.makeStream(excluding({"Secret"}), {}, recorder.output(), queue);
    const auto redirect = newConnections(display, initial, 1);
    ASSERT_EQ(redirect.size(), 1u);
    EXPECT_TRUE(startStream(*first).ok());
    EXPECT_TRUE(recorder.waitForMoreFrames(1));
    EXPECT_NE(board.command("paint 300x100+0+0 FF0000"), 0u);  // all of it, under the secret too
    EXPECT_TRUE(killConnection(display, redirect.front()));
    std::vector<Display*> fillers;
    while (atClientLimit) {
      Display* filler = XOpenDisplay(server.name().c_str());
      if (filler == nullptr) break;
      fillers.push_back(filler);
    }
    auto next = capture.makeStream(excluding({"Secret"}), {}, recorder.output(), queue);
    const auto stopped = stopStream(*first);
    if (atClientLimit) {
      EXPECT_FALSE(stopped.ok());
      EXPECT_NE(stopped.message().find("could not be kept redirected"), std::string::npos)
          << stopped.message();
      // The ended stream keeps its own redirect meanwhile: the board holds what it drew.
      EXPECT_EQ(ownPixels(display, board.window(), kBlue), 0u);
      EXPECT_EQ(ownPixels(display, board.window(), kRed), 300u * 100u);
      for (Display* filler : fillers) XCloseDisplay(filler);
      return;
    }
    EXPECT_TRUE(stopped.ok()) << stopped.message();
    // Between the two streams: still redirected, the board holds what it drew.
    EXPECT_EQ(ownPixels(display, board.window(), kBlue), 0u);
    EXPECT_EQ(ownPixels(display, board.window(), kRed), 300u * 100u);
    EXPECT_TRUE(startStream(*next).ok());
    EXPECT_TRUE(stopStream(*next).ok());
  };
  replaceAfterKillingTheRedirect(false);
  replaceAfterKillingTheRedirect(true);
  XCloseDisplay(display);
}

// Another client kills a follower's connection while the follower is still setting it up, its
// first one: the setup fails on the lost connection (a read of the root window), and the
// follower opens its connection again as it does after any later loss, rather than ending.
TEST(LostConnectionTest, AFollowerKilledWhileSettingUpItsFirstConnectionOpensItAgain) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  const auto before = connectionsOf(display, getpid());
  std::atomic<int> setups{0};
  std::promise<void> killed;
  auto afterKill = killed.get_future().share();
  std::promise<void> settingUp;
  auto firstSetup = settingUp.get_future();
  std::atomic<bool> toldFailure{false};
  XEventPump pump;
  XEventPump::Callbacks callbacks;
  callbacks.reopensLostConnection = true;
  callbacks.setup = [&](XConnection& connection) {
    if (setups++ == 0) {
      XSync(connection.display(), False);  // listed, with a resource of its own to kill it by
      settingUp.set_value();
      afterKill.wait();
    }
    XWindowAttributes root{};
    if (!XGetWindowAttributes(connection.display(), connection.root(), &root))
      return runtime::Status::failure("The root window could not be read.");
    return runtime::Status::success();
  };
  callbacks.ready = [&](runtime::Status status) { toldFailure = !status.ok(); };
  pump.start(server.name(), callbacks);
  // Killed while it opens, before its setup, the connection would be opened again and set up
  // whole: the kill waits for the setup to be under way.
  const bool inSetup =
      firstSetup.wait_for(std::chrono::duration<double>(corvane::testing::kPatientWaitSeconds)) ==
      std::future_status::ready;
  const auto first = newConnections(display, before, 1);
  const bool killedFirst = inSetup && first.size() == 1 && killConnection(display, first.front());
  killed.set_value();
  ASSERT_TRUE(killedFirst);
  EXPECT_TRUE(waitUntil([&] { return setups.load() >= 2; })) << "never opened again";
  EXPECT_TRUE(toldFailure.load()) << "the owner hears of the failed first setup";
  EXPECT_TRUE(waitUntil([&] { return newConnections(display, before, 1).size() == 1; }));
  EXPECT_TRUE(pump.isRunning());
  pump.stop();
  XCloseDisplay(display);
}

// Another client kills every connection the desktop's followers hold: each opens its connection
// again and goes on following the desktop.
TEST(LostConnectionTest, EveryFollowerOfTheDesktopOpensItsKilledConnectionAgain) {
  XvfbServer server(1024, 768);
  ASSERT_TRUE(server.ok());
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  const auto before = connectionsOf(display, getpid());
  auto workspace = X11Workspace::open(server.name(), plainIdentities());
  auto screens = X11Screens::open(server.name());
  auto cursor = X11CursorSource::open(server.name());
  auto idleness = X11InputIdleness::open(server.name());
  ASSERT_TRUE(workspace.ok() && screens.ok() && cursor.ok() && idleness.ok());
  // The first readings' connections, opened for a moment, may still be closing while a follower
  // is still opening its own: the followers are the four that stay.
  std::vector<XID> followers;
  ASSERT_TRUE(waitUntil([&] {
    followers = newConnections(display, before, 4);
    if (followers.size() != 4) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return newConnections(display, before, 4) == followers;
  }));
  // A follower still opening its connection has no resource yet to kill it by: it gets one soon.
  for (XID base : followers) EXPECT_TRUE(waitUntil([&] { return killConnection(display, base); }));
  ASSERT_TRUE(waitUntil([&] { return newConnections(display, before, 4).size() == 4; }));

  TestClient launched(server.name(), {.windowClass = "Launched"});
  EXPECT_TRUE(waitUntil([&] {
    const auto running = (*workspace)->runningApplications();
    return std::any_of(running.begin(), running.end(),
                       [](const auto& app) { return app.bundleIdentifier == "Launched"; });
  }));
  XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, 77, 66);
  long workarea[4] = {0, 32, 1024, 736};
  XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_WORKAREA", False),
                  XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char*>(workarea), 4);
  XSync(display, False);
  EXPECT_TRUE(waitUntil([&] { return (*cursor)->cursorPosition() == (Point{77, 66}); }));
  EXPECT_TRUE(waitUntil([&] {
    return (*screens)->screens()[0].visibleFrame == (Rect{{0, 32}, {1024, 736}});
  }));
  // The idle time is read again: input restarts it.
  EXPECT_TRUE(waitUntil([&] { return (*idleness)->secondsSinceLastInput() >= 0.6; }));
  XTestFakeRelativeMotionEvent(display, 5, 5, CurrentTime);
  XSync(display, False);
  EXPECT_TRUE(waitUntil([&] { return (*idleness)->secondsSinceLastInput() < 0.5; }));
  XCloseDisplay(display);
}

}  // namespace
}  // namespace corvane::platform::x11::testing
