#include <gtest/gtest.h>

#include <X11/cursorfont.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>

#include "platform/x11/monitors.h"
#include "platform/x11/x11_cursor_source.h"
#include "platform/x11/x11_permissions.h"
#include "platform/x11/x11_screens.h"
#include "runtime/virtual_run_loop.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

TEST(ScreensTest, ListsTheMonitorWithItsWorkAreaAndReportsChanges) {
  runtime::VirtualRunLoop loop;
  XvfbServer server(1024, 768);
  ASSERT_TRUE(server.ok());
  auto opened = X11Screens::open(server.name());
  ASSERT_TRUE(opened.ok()) << opened.message();
  auto screens = std::move(opened).value();
  const auto all = screens->screens();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].displayID, displayNumberFor(all[0].name));
  EXPECT_FALSE(all[0].name.empty());
  EXPECT_EQ(all[0].frame, (Rect{{0, 0}, {1024, 768}}));
  EXPECT_EQ(all[0].visibleFrame, all[0].frame);
  EXPECT_TRUE(all[0].isMain);
  EXPECT_EQ(screens->mainScreen()->displayID, all[0].displayID);

  int changes = 0;
  auto subscription = screens->observeChanges([&] { ++changes; });
  Display* display = XOpenDisplay(server.name().c_str());
  long workarea[4] = {0, 32, 1024, 736};  // a panel along the top
  XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_WORKAREA", False),
                  XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char*>(workarea), 4);
  XCloseDisplay(display);
  ASSERT_TRUE(waitUntil([&] {
    loop.runUntilIdle();
    return changes > 0;
  })) << screens->screens()[0].visibleFrame.origin.y;
  EXPECT_EQ(screens->screens()[0].visibleFrame, (Rect{{0, 32}, {1024, 736}}));
  screens.reset();
  loop.runUntilIdle();
}

// Adds (or replaces) a RandR monitor without outputs, named `name`, at `x` on a 200×150 band.
void setMonitor(Display* display, const char* name, int x) {
  XRRMonitorInfo* monitor = XRRAllocateMonitor(display, 0);
  monitor->name = XInternAtom(display, name, False);
  monitor->x = x;
  monitor->y = 0;
  monitor->width = 200;
  monitor->height = 150;
  monitor->mwidth = 50;
  monitor->mheight = 40;
  XRRSetMonitor(display, DefaultRootWindow(display), monitor);
  XRRFreeMonitors(monitor);
  XSync(display, False);
}

std::optional<Screen> screenNamed(const std::vector<Screen>& screens, const std::string& name) {
  for (const auto& screen : screens)
    if (screen.name == name) return screen;
  return std::nullopt;
}

// A display number names one monitor: unplugging another one, even one listed before it, leaves
// the number of a saved choice pointing at the same monitor, and reading the layout afresh (a
// restart) gives the same numbers.
TEST(ScreensTest, DisplayNumbersFollowTheMonitorWhenAMiddleOneIsRemoved) {
  runtime::VirtualRunLoop loop;
  XvfbServer server(800, 150);
  ASSERT_TRUE(server.ok());
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  setMonitor(display, "LEFT-1", 0);
  setMonitor(display, "MIDDLE-2", 200);
  setMonitor(display, "RIGHT-3", 400);
  auto opened = X11Screens::open(server.name());
  ASSERT_TRUE(opened.ok()) << opened.message();
  auto screens = std::move(opened).value();
  const auto before = screens->screens();
  const auto left = screenNamed(before, "LEFT-1");
  const auto middle = screenNamed(before, "MIDDLE-2");
  const auto right = screenNamed(before, "RIGHT-3");
  ASSERT_TRUE(left && middle && right) << before.size();
  EXPECT_NE(left->displayID, right->displayID);
  EXPECT_NE(middle->displayID, right->displayID);
  const std::uint32_t saved = right->displayID;

  int changes = 0;
  auto subscription = screens->observeChanges([&] { ++changes; });
  XRRDeleteMonitor(display, DefaultRootWindow(display), XInternAtom(display, "MIDDLE-2", False));
  XSync(display, False);
  ASSERT_TRUE(waitUntil([&] {
    loop.runUntilIdle();
    return changes > 0 && !screenNamed(screens->screens(), "MIDDLE-2");
  }));
  const auto afterRemoval = screens->screen(saved);
  ASSERT_TRUE(afterRemoval);
  EXPECT_EQ(afterRemoval->name, "RIGHT-3");
  EXPECT_EQ(afterRemoval->frame, right->frame);
  EXPECT_EQ(screens->screen(left->displayID)->name, "LEFT-1");
  EXPECT_FALSE(screens->screen(middle->displayID));

  setMonitor(display, "MIDDLE-2", 200);  // plugged in again: its old number comes back
  const auto restarted = readScreens(display);
  EXPECT_EQ(screenNamed(restarted, "MIDDLE-2")->displayID, middle->displayID);
  EXPECT_EQ(screenNamed(restarted, "RIGHT-3")->displayID, saved);
  XCloseDisplay(display);
  subscription.cancel();
  screens.reset();
  loop.runUntilIdle();
}

TEST(DisplayNumbersTest, DistinctAndNeverZeroEvenWhenNamesCollide) {
  std::vector<MonitorInfo> monitors(3);
  monitors[0].name = "HDMI-1";
  monitors[1].name = "DP-2";
  monitors[2].name = "HDMI-1";  // a second monitor reporting the same name
  assignDisplayNumbers(monitors);
  EXPECT_EQ(monitors[0].displayID, displayNumberFor("HDMI-1"));
  EXPECT_EQ(monitors[1].displayID, displayNumberFor("DP-2"));
  EXPECT_EQ(monitors[2].displayID, displayNumberFor("HDMI-1") + 1);
  EXPECT_NE(displayNumberFor(""), 0u);
}

TEST(PermissionsTest, AWaylandSessionIsRefusedWithWhatToDo) {
  auto refusal = waylandSessionRefusal({{"WAYLAND_DISPLAY", "wayland-0"}});
  ASSERT_TRUE(refusal);
  EXPECT_NE(refusal->find("Log out and log in to an X11 session"), std::string::npos);
  EXPECT_TRUE(waylandSessionRefusal({{"XDG_SESSION_TYPE", "wayland"}}));
  EXPECT_FALSE(waylandSessionRefusal({{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}));

  X11Permissions wayland(":0", {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}});
  EXPECT_FALSE(wayland.screenCapturePreflight());
  EXPECT_FALSE(wayland.requestScreenCapture());
  X11Permissions nowhere("", {});
  EXPECT_FALSE(nowhere.screenCapturePreflight());
}

// The X clients connected to the server, by their resource base.
std::set<XID> connectedClients(Display* display) {
  int count = 0;
  XResClient* clients = nullptr;
  std::set<XID> bases;
  if (XResQueryClients(display, &count, &clients) != 0) {
    for (int i = 0; i < count; ++i) bases.insert(clients[i].resource_base);
  }
  if (clients != nullptr) XFree(clients);
  return bases;
}

TEST(PermissionsTest, EveryCheckRunsOnOneKeptConnection) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  Display* observer = XOpenDisplay(server.name().c_str());
  ASSERT_NE(observer, nullptr);
  const auto before = connectedClients(observer);
  {
    X11Permissions permissions(server.name(), {{"DISPLAY", server.name()}});
    ASSERT_FALSE(permissions.screenCaptureDenialReason().has_value());
    const auto kept = connectedClients(observer);
    EXPECT_EQ(kept.size(), before.size() + 1);
    for (int i = 0; i < 5; ++i) {
      EXPECT_FALSE(permissions.screenCaptureDenialReason().has_value());
      EXPECT_TRUE(permissions.accessibilityTrusted());
    }
    EXPECT_EQ(connectedClients(observer), kept);
  }
  XCloseDisplay(observer);
}

TEST(PermissionsTest, AnX11SessionGrantsCaptureAndReportsInputAndTheCursor) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  X11Permissions permissions(server.name(), {{"DISPLAY", server.name()}});
  EXPECT_TRUE(permissions.screenCapturePreflight())
      << permissions.screenCaptureDenialReason().value_or("");
  EXPECT_TRUE(permissions.accessibilityTrusted());

  auto idleness = X11InputIdleness::open(server.name());
  ASSERT_TRUE(idleness.ok()) << idleness.message();
  EXPECT_GE((*idleness)->secondsSinceLastInput(), 0.0);

  auto cursor = X11CursorSource::open(server.name());
  ASSERT_TRUE(cursor.ok()) << cursor.message();
  Display* display = XOpenDisplay(server.name().c_str());
  XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, 123, 45);
  XSync(display, False);
  XCloseDisplay(display);
  // Sampled on the source's own thread: the move shows within a sample or two.
  EXPECT_TRUE(waitUntil([&] { return (*cursor)->cursorPosition() == (Point{123, 45}); }));
  const auto image = (*cursor)->currentCursorImage();
  ASSERT_TRUE(image.image);
  EXPECT_GT(image.image->width(), 0);
  EXPECT_EQ((*cursor)->currentCursorImage().serial, image.serial);
}

// Sampling the pointer is driven by the server's events: with polling all but off (an hour
// apart), moves made through XTest and a change of the cursor's image still reach the readers.
TEST(CursorSourceTest, FollowsMovesAndImageChangesWithoutPolling) {
  XvfbServer server(640, 480);
  ASSERT_TRUE(server.ok());
  auto cursor = X11CursorSource::open(server.name(), 3600);
  ASSERT_TRUE(cursor.ok()) << cursor.message();
  ASSERT_TRUE((*cursor)->followsMotionEvents());
  ASSERT_TRUE(waitUntil([&] { return (*cursor)->currentCursorImage().image != nullptr; }));
  const auto firstImage = (*cursor)->currentCursorImage();

  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  std::mt19937 random(GTEST_FLAG_GET(random_seed));
  for (int move = 0; move < 6; ++move) {
    // Read (so it does not rest) until the pointer is still to the sampler and only a motion
    // event can wake it.
    ASSERT_TRUE(waitUntil([&] {
      (*cursor)->cursorPosition();
      return (*cursor)->waitsForMotion();
    }));
    const Point target{static_cast<double>(random() % 640), static_cast<double>(random() % 480)};
    XTestFakeMotionEvent(display, -1, static_cast<int>(target.x), static_cast<int>(target.y),
                         CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(waitUntil([&] { return (*cursor)->cursorPosition() == target; }))
        << "move " << move << " to " << target.x << "," << target.y;
  }

  // Another shape over the root: XFixes reports it, and the new image is read.
  const Cursor crosshair = XCreateFontCursor(display, XC_crosshair);
  XDefineCursor(display, DefaultRootWindow(display), crosshair);
  XSync(display, False);
  EXPECT_TRUE(
      waitUntil([&] { return (*cursor)->currentCursorImage().serial != firstImage.serial; }));
  XFreeCursor(display, crosshair);
  XCloseDisplay(display);
}

// An observer is told of every move, and observing keeps the source awake: nobody reads it for
// longer than it waits before resting, and a move still reaches the observer.
TEST(CursorSourceTest, TellsItsObserverOfMovesWithoutBeingRead) {
  XvfbServer server(640, 480);
  ASSERT_TRUE(server.ok());
  auto cursor = X11CursorSource::open(server.name());
  ASSERT_TRUE(cursor.ok()) << cursor.message();
  std::atomic<int> told{0};
  auto subscription = (*cursor)->observeCursorChanges([&] { ++told; });
  ASSERT_TRUE(waitUntil([&] { return (*cursor)->waitsForMotion(); }));
  std::this_thread::sleep_for(std::chrono::duration<double>(X11CursorSource::kRestAfter + 0.5));
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  for (const Point target : {Point{300, 200}, Point{20, 400}}) {
    const int before = told.load();
    XTestFakeMotionEvent(display, -1, static_cast<int>(target.x), static_cast<int>(target.y),
                         CurrentTime);
    XSync(display, False);
    EXPECT_TRUE(waitUntil([&] { return told.load() > before; }))
        << "to " << target.x << "," << target.y;
  }
  EXPECT_EQ((*cursor)->cursorPosition(), (Point{20, 400}));
  subscription.cancel();
  const int afterCancel = told.load();
  XTestFakeMotionEvent(display, -1, 100, 100, CurrentTime);
  XSync(display, False);
  EXPECT_TRUE(waitUntil([&] { return (*cursor)->cursorPosition() == (Point{100, 100}); }));
  EXPECT_EQ(told.load(), afterCancel) << "nothing told once the subscription ended";
  XCloseDisplay(display);
}

}  // namespace
}  // namespace corvane::platform::x11::testing
