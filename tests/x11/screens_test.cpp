#include <gtest/gtest.h>

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
  EXPECT_EQ(all[0].displayID, 1u);
  EXPECT_FALSE(all[0].name.empty());
  EXPECT_EQ(all[0].frame, (Rect{{0, 0}, {1024, 768}}));
  EXPECT_EQ(all[0].visibleFrame, all[0].frame);
  EXPECT_TRUE(all[0].isMain);
  EXPECT_EQ(screens->mainScreen()->displayID, 1u);

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
  EXPECT_EQ((*cursor)->cursorPosition(), (Point{123, 45}));
  const auto image = (*cursor)->currentCursorImage();
  ASSERT_TRUE(image.image);
  EXPECT_GT(image.image->width(), 0);
  EXPECT_EQ((*cursor)->currentCursorImage().serial, image.serial);
}

}  // namespace
}  // namespace corvane::platform::x11::testing
