#include <gtest/gtest.h>

#include "platform/x11/dock_struts.h"
#include "platform/x11/x11_screens.h"
#include "runtime/virtual_run_loop.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// A window manager that publishes no work area (i3): each monitor keeps clear of the strips the
// mapped docks hold, only where a strip reaches into it, and only while the dock is mapped.
TEST(DockStrutsTest, WithoutAWorkAreaScreensKeepClearOfMappedDocksOnly) {
  // A bar along the bottom of the left half: a partial strut names the part of the edge it holds.
  const std::vector<long> bottomLeft = {0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0, 199};
  const auto strips = stripsOfStrut(bottomLeft, {400, 150});
  const Rect left{{0, 0}, {200, 150}};
  const Rect right{{200, 0}, {200, 150}};
  EXPECT_EQ(clearOfStrips(left, strips), (Rect{{0, 0}, {200, 126}}));
  EXPECT_EQ(clearOfStrips(right, strips), right);
  // A plain strut holds whole edges: its top strip reaches the right half, its left one does not.
  EXPECT_EQ(clearOfStrips(right, stripsOfStrut({10, 0, 30, 0}, {400, 150})),
            (Rect{{200, 30}, {200, 120}}));

  runtime::VirtualRunLoop loop;
  XvfbServer server(400, 150);
  ASSERT_TRUE(server.ok());
  auto opened = X11Screens::open(server.name());
  ASSERT_TRUE(opened.ok()) << opened.message();
  auto screens = std::move(opened).value();
  const Rect whole{{0, 0}, {400, 150}};
  ASSERT_EQ(screens->screens().at(0).visibleFrame, whole);

  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  const Window dock =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 126, 200, 24, 0, 0, 0x303030);
  XChangeProperty(display, dock, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL,
                  32, PropModeReplace, reinterpret_cast<const unsigned char*>(bottomLeft.data()),
                  static_cast<int>(bottomLeft.size()));
  int changes = 0;
  auto subscription = screens->observeChanges([&] { ++changes; });
  auto visibleFrameBecomes = [&](const Rect& expected) {
    return waitUntil([&] {
      loop.runUntilIdle();
      return changes > 0 && screens->screens().at(0).visibleFrame == expected;
    });
  };
  XMapWindow(display, dock);
  XSync(display, False);
  EXPECT_TRUE(visibleFrameBecomes(Rect{{0, 0}, {400, 126}}))
      << "the dock's strip is not kept clear of";
  changes = 0;
  XUnmapWindow(display, dock);
  XSync(display, False);
  EXPECT_TRUE(visibleFrameBecomes(whole)) << "an unmapped dock still holds its strip";
  XCloseDisplay(display);
  subscription.cancel();
  screens.reset();
  loop.runUntilIdle();
}

}  // namespace
}  // namespace corvane::platform::x11::testing
