#include <gtest/gtest.h>

#include <X11/Xlib-xcb.h>
#include <X11/Xproto.h>

#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// Captures start and end on threads of their own, each with its connection: displays that use
// the extension libraries' shared per-process records open and close on several threads at
// once. Any unguarded change to those records shows up here as a heap corruption (an abort).
TEST(XConnectionTest, ConnectionsUsingExtensionsOpenAndCloseOnManyThreadsAtOnce) {
  XvfbServer server(64, 64);
  ASSERT_TRUE(server.ok());
  constexpr int kThreads = 8, kRounds = 40;
  std::atomic<int> opened{0}, withShape{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        auto connection = XConnection::open(server.name());
        if (!connection) continue;
        ++opened;
        Display* display = (*connection)->display();
        int event = 0, error = 0;
        // What a capture session asks first: these join the shared records.
        if (XShapeQueryExtension(display, &event, &error)) ++withShape;
        XShmQueryExtension(display);
        XRRQueryExtension(display, &event, &error);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(opened.load(), kThreads * kRounds);
  EXPECT_EQ(withShape.load(), kThreads * kRounds);
}

// Requests made through XCB on a display hand its socket over to XCB; when the server is gone by
// then, Xlib cannot take the socket back, and the Xlib requests that follow must fail as on any
// lost connection instead of crashing the process (as they did in a window listing that read
// through XCB when the server went away under it).
TEST(XConnectionTest, XlibRequestsAfterXcbOnALostConnectionFailWithoutACrash) {
  XvfbServer server(64, 64);
  ASSERT_TRUE(server.ok());
  auto connection = XConnection::open(server.name());
  ASSERT_TRUE(connection.ok());
  Display* display = (*connection)->display();
  xcb_connection_t* xcb = XGetXCBConnection(display);
  free(xcb_get_input_focus_reply(xcb, xcb_get_input_focus(xcb), nullptr));
  server.kill();
  // XCB finds the server gone, while it holds the socket.
  ASSERT_TRUE(waitUntil([&] {
    free(xcb_get_input_focus_reply(xcb, xcb_get_input_focus(xcb), nullptr));
    return xcb_connection_has_error(xcb) != 0;
  }));
  const Atom atom = XInternAtom(display, "_NET_SUPPORTED", True);
  for (int i = 0; i < 2000; ++i) {
    EXPECT_FALSE(cardinalValue(display, DefaultRootWindow(display), atom, XA_ATOM).has_value());
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
  }
  EXPECT_TRUE((*connection)->isLost());
}

// Connections another client killed, and those this process cut itself (a stop that would not
// wait for the server), are lost; closing them frees their displays and sockets like any other.
TEST(XConnectionTest, KilledAndCutConnectionsLeaveNoSocketBehind) {
  XvfbServer server(64, 64);
  ASSERT_TRUE(server.ok());
  Display* killer = XOpenDisplay(server.name().c_str());
  ASSERT_NE(killer, nullptr);
  auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const auto before = openDescriptors();
  for (int round = 0; round < 20; ++round) {
    auto opened = XConnection::open(server.name());
    ASSERT_TRUE(opened.ok());
    std::unique_ptr<XConnection> connection = std::move(opened).value();
    Display* display = connection->display();
    if (round % 2 == 0) {
      const Window window =
          XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 8, 8, 0, 0, 0);
      XSync(display, False);
      XKillClient(killer, window);
      XSync(killer, False);
    } else {
      shutdown(connection->fileDescriptor(), SHUT_RDWR);
    }
    XSync(display, False);
    ASSERT_TRUE(connection->isLost());
    connection.reset();
  }
  EXPECT_EQ(openDescriptors(), before);
  XCloseDisplay(killer);
}

TEST(XConnectionTest, AConnectionToAMissingDisplayIsRefusedByName) {
  auto connection = XConnection::open(":999");
  ASSERT_FALSE(connection.ok());
  EXPECT_EQ(connection.message(), "Could not connect to the X display :999.");
}

// Requests sent without waiting for their answer fail later, when Xlib next reads: the error
// goes to the trap that was open when the request was made, not to whichever is open then.
TEST(XConnectionTest, AnErrorIsRecordedByTheTrapOpenWhenItsRequestWasMade) {
  XvfbServer server(64, 64);
  ASSERT_TRUE(server.ok());
  auto connection = XConnection::open(server.name());
  ASSERT_TRUE(connection.ok());
  Display* display = (*connection)->display();
  const Window root = (*connection)->root();
  const Window gone = XCreateSimpleWindow(display, root, 0, 0, 8, 8, 0, 0, 0);
  XDestroyWindow(display, gone);
  XWindowAttributes attributes;
  {
    ErrorTrap earlier(display);
    XClearArea(display, gone, 0, 0, 0, 0, True);
    XFlush(display);
  }
  ErrorTrap outer(display);
  XClearArea(display, gone, 0, 0, 0, 0, True);
  XFlush(display);
  {
    ErrorTrap inner(display);
    // The answer comes after both errors, which are read while waiting for it.
    ASSERT_NE(XGetWindowAttributes(display, root, &attributes), 0);
    EXPECT_FALSE(inner.failed());
    EXPECT_TRUE(outer.failed());
    XClearArea(display, gone, 0, 0, 0, 0, True);
    EXPECT_FALSE(inner.sync());
  }
  EXPECT_EQ(outer.errorCode(), BadWindow);
  EXPECT_EQ(outer.requestCode(), X_ClearArea);
}

}  // namespace
}  // namespace corvane::platform::x11::testing
