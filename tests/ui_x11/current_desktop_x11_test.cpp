// Windows that come to the user's desktop: on a private X server with openbox and three virtual
// desktops, a window asking to move to the active desktop shows on whichever desktop is current
// when it is shown, whether it was still mapped on another one or ordered out; a window without
// that request stays where it was. The Qt part runs in a child process on Qt's xcb platform.
#include <gtest/gtest.h>

#include <QWidget>
#include <cstdlib>
#include <memory>

#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "platform/x11/x11_desktop.h"
#include "platform/x11/x_properties.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"

namespace corvane::ui {
namespace {

using platform::CollectionBehavior;

constexpr const char* const kChildVariable = "CORVANE_UI_DESKTOP_CHILD";

TEST(CurrentDesktopOnX11, ShownWindowsComeToTheCurrentDesktop) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1024, 768);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  EXPECT_TRUE(testing::runQtChildOn(server, "CurrentDesktopX11Child.*", kChildVariable));
}

using CurrentDesktopX11Child = testing::QtX11ChildTest<&kChildVariable>;

// Asks the window manager, as a pager does, through a client message to the root.
void askRoot(Display* display, const char* message, long value) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = DefaultRootWindow(display);
  event.xclient.message_type = XInternAtom(display, message, False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = value;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(display);
}

std::optional<long> rootCardinal(Display* display, const char* name) {
  return platform::x11::cardinalValue(display, DefaultRootWindow(display),
                                      XInternAtom(display, name, False), XA_CARDINAL);
}

TEST_F(CurrentDesktopX11Child, MovesToTheActiveDesktop) {
  ASSERT_TRUE(testing::isX11Session());
  Display* display = wiring::qtX11Display();
  auto desktop = platform::x11::openDesktop(std::getenv("DISPLAY"), getpid());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  QtWindowSystem windows(desktop.value().screens, wiring::makeQtWindowStateHints());
  askRoot(display, "_NET_NUMBER_OF_DESKTOPS", 3);
  ASSERT_TRUE(processUntil([&] { return rootCardinal(display, "_NET_NUMBER_OF_DESKTOPS") >= 3; }));
  auto switchTo = [&](long number) {
    askRoot(display, "_NET_CURRENT_DESKTOP", number);
    return processUntil([&] { return rootCardinal(display, "_NET_CURRENT_DESKTOP") == number; });
  };

  auto make = [&](const std::string& title, CollectionBehavior behavior) {
    auto window = windows.makeWindow({{100, 100}, {320, 200}}, platform::WindowStyle::titled);
    window->setTitle(title);
    window->setCollectionBehavior(behavior);
    return window;
  };
  const auto ordinary = CollectionBehavior::managed | CollectionBehavior::participatesInCycle;
  auto setup = make("Corvane Setup", ordinary | CollectionBehavior::moveToActiveSpace);
  auto other = make("Other", ordinary);
  auto idOf = [](const std::shared_ptr<platform::TopLevelWindow>& window) {
    return static_cast<QtWindow&>(*window).hostWidget()->winId();
  };
  auto onDesktop = [&](const std::shared_ptr<platform::TopLevelWindow>& window, unsigned long n) {
    return processUntil([&] {
      return testing::desktopOnX11(idOf(window)) == n && testing::isViewableOnX11(idOf(window));
    });
  };

  ASSERT_TRUE(switchTo(0));
  setup->makeKeyAndOrderFront();
  other->makeKeyAndOrderFront();
  ASSERT_TRUE(onDesktop(setup, 0));
  ASSERT_TRUE(onDesktop(other, 0));

  // Still mapped, on a desktop the user left: shown again, it comes over.
  ASSERT_TRUE(switchTo(2));
  setup->makeKeyAndOrderFront();
  EXPECT_TRUE(onDesktop(setup, 2));
  other->makeKeyAndOrderFront();
  processFor(200);
  EXPECT_EQ(testing::desktopOnX11(idOf(other)), 0ul);

  // Ordered out, then shown from another desktop.
  setup->orderOut();
  ASSERT_TRUE(processUntil([&] { return !testing::isViewableOnX11(idOf(setup)); }));
  ASSERT_TRUE(switchTo(1));
  setup->makeKeyAndOrderFront();
  EXPECT_TRUE(onDesktop(setup, 1));
  setup->close();
  other->close();
}

}  // namespace
}  // namespace corvane::ui
