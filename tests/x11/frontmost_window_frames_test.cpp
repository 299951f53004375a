#include <gtest/gtest.h>

#include <algorithm>

#include "platform/x11/x11_workspace.h"
#include "runtime/virtual_run_loop.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// Where the server has the window now, in root coordinates.
Rect rootFrame(const std::string& displayName, unsigned long window) {
  Display* display = XOpenDisplay(displayName.c_str());
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, window, &attributes);
  int x = 0, y = 0;
  Window child = None;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  XCloseDisplay(display);
  return Rect{{static_cast<double>(x), static_cast<double>(y)},
              {static_cast<double>(attributes.width), static_cast<double>(attributes.height)}};
}

bool contains(const std::vector<Rect>& frames, const Rect& frame) {
  return std::find(frames.begin(), frames.end(), frame) != frames.end();
}

class FrontmostWindowFramesTest : public ::testing::TestWithParam<bool> {};

TEST_P(FrontmostWindowFramesTest, ListsOnlyTheFrontmostApplicationsWindowsWhereTheyAreNow) {
  XvfbServer server(800, 600);
  ASSERT_TRUE(server.ok());
  if (GetParam()) ASSERT_TRUE(server.startWindowManager());
  runtime::VirtualRunLoop loop;
  auto opened = X11Workspace::open(server.name(), plainIdentities());
  ASSERT_TRUE(opened.ok()) << opened.message();
  auto workspace = std::move(opened).value();

  TestClient editor(server.name(), {.windowClass = "Editor", .x = 20, .y = 30, .width = 300});
  TestClient other(server.name(), {.windowClass = "Other", .x = 400, .y = 300, .width = 200});
  ASSERT_NE(editor.window(), 0u);
  ASSERT_TRUE(waitUntil([&] {
    loop.runUntilIdle();
    return workspace->runningApplications().size() >= 2;
  }));
  ASSERT_TRUE(workspace->activate(editor.pid()));
  ASSERT_TRUE(waitUntil([&] {
    loop.runUntilIdle();
    const auto frames = workspace->frontmostApplicationWindowFrames();
    return frames.size() == 1 && contains(frames, rootFrame(server.name(), editor.window()));
  })) << "the editor's one window, not the other application's";

  // Moved by the window manager (or directly without one): the frame follows.
  Display* display = XOpenDisplay(server.name().c_str());
  XMoveWindow(display, editor.window(), 250, 200);
  XFlush(display);
  XCloseDisplay(display);
  EXPECT_TRUE(waitUntil([&] {
    loop.runUntilIdle();
    const auto frames = workspace->frontmostApplicationWindowFrames();
    const Rect now = rootFrame(server.name(), editor.window());
    return now.minX() >= 250 && frames.size() == 1 && contains(frames, now);
  }));
  workspace.reset();
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, FrontmostWindowFramesTest, ::testing::Values(false, true),
                         [](const auto& info) {
                           return info.param ? std::string("openbox") : std::string("bare");
                         });

}  // namespace
}  // namespace corvane::platform::x11::testing
