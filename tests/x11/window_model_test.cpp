#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/x11/window_model.h"
#include "platform/x11/x_connection.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// A window manager that takes a window back from its frame and gives it a new one makes the
// model forget the old frame's windows just as it learns of the new ones. Requests about the
// windows that went away fail, and their errors are read later, while the model asks about the
// new windows: they must not make those look gone too.
TEST(WindowModelTest, AWindowCreatedWhileAnEarlierRequestsErrorIsUnreadIsTracked) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  auto connection = XConnection::open(server.name());
  ASSERT_TRUE(connection.ok());
  Display* display = (*connection)->display();
  // Another client's connection, making and destroying windows.
  std::unique_ptr<Display, decltype(&XCloseDisplay)> owner(XOpenDisplay(server.name().c_str()),
                                                           &XCloseDisplay);
  ASSERT_NE(owner, nullptr);
  Display* other = owner.get();
  const Window root = DefaultRootWindow(other);
  const Window gone = XCreateSimpleWindow(other, root, 0, 0, 20, 20, 0, 0, 0);
  XDestroyWindow(other, gone);
  XSync(other, False);

  int damageEventBase = 0, errorBase = 0, shapeEventBase = -1;
  ASSERT_TRUE(XDamageQueryExtension(display, &damageEventBase, &errorBase));
  if (!XShapeQueryExtension(display, &shapeEventBase, &errorBase)) shapeEventBase = -1;
  const Atoms atoms(display);
  WindowModel model(display, atoms, damageEventBase, shapeEventBase, plainIdentities());
  ASSERT_TRUE(model.load().ok());
  const Window fresh = XCreateSimpleWindow(other, root, 40, 30, 60, 50, 0, 0, 0);
  XSync(other, False);

  XSync(display, False);
  std::vector<XEvent> events;
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    events.push_back(event);
  }
  // A repaint asked of the window that went away, its answer not awaited.
  {
    ErrorTrap trap(display);
    XClearArea(display, gone, 0, 0, 0, 0, True);
    XFlush(display);
  }
  for (const XEvent& event : events) model.handle(event);
  model.settle();

  const TrackedWindow* tracked = model.find(fresh);
  ASSERT_NE(tracked, nullptr) << "the new window was taken for gone";
  EXPECT_EQ(tracked->x, 40);
  EXPECT_EQ(tracked->width, 60);
}

}  // namespace
}  // namespace corvane::platform::x11::testing
