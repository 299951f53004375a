#include <gtest/gtest.h>

#include <X11/Xproto.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/x11/x_connection.h"
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
