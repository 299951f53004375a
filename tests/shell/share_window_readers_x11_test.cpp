// The built application in a session, read as recorders read the "Corvane Protected Share"
// window (XGetImage of that window, every 10 ms) while a private window lies over it: another
// client holding the server for seconds only holds the share back, and another client killing
// every connection of Corvane's but the one of its windows ends the session with a message; the
// private window is never read through the share window, at the moment of the kill, when yet
// another program redirects every window right then, or after.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "shell/running_corvane.h"
#include "support/x11/test_client.h"
#include "support/x11/x_clients.h"
#include "ui_x11/tray_host.h"

#include <X11/extensions/Xcomposite.h>

namespace corvane::shell {
namespace {

using corvane::testing::TestClient;
using corvane::testing::waitUntil;
using testing::CorvaneHome;

constexpr std::uint32_t kPublicColour = 0x20C040;
constexpr std::uint32_t kPrivateColour = 0xE02020;
constexpr std::uint32_t kLaterColour = 0x2040C0;

int ignoreErrors(Display*, XErrorEvent*) {
  return 0;
}

// The pixels of `rgb` another client reads in that area of `drawable` now.
long countPixels(Display* display, Drawable drawable, int x, int y, int width, int height,
                 std::uint32_t rgb) {
  XImage* image = XGetImage(display, drawable, x, y, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return -1;
  long count = 0;
  for (int row = 0; row < image->height; ++row) {
    for (int column = 0; column < image->width; ++column) {
      count += (XGetPixel(image, column, row) & 0xFFFFFF) == rgb;
    }
  }
  XDestroyImage(image);
  return count;
}

// The pixels of `rgb` another client reads in `window` now; -1 when it cannot be read (unmapped).
long readPixels(Display* display, Window window, std::uint32_t rgb) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) {
    return -1;
  }
  return countPixels(display, window, 0, 0, attributes.width, attributes.height, rgb);
}

TEST(ShareWindowReadersOnX11, AGrabHoldsTheShareBackAndKilledConnectionsEndItClosed) {
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  pid_t trayer = ui::testing::startTrayHost(server);
  XSetErrorHandler(&ignoreErrors);
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  TestClient notes(server.name(), {.windowClass = "Notes",
                                   .colour = kPublicColour,
                                   .x = 60,
                                   .y = 90,
                                   .width = 500,
                                   .height = 350});
  TestClient vault(server.name(), {.windowClass = "Vault", .colour = kPrivateColour});
  CorvaneHome home(server.name());
  home.seedSetupDoneWithPrivateApplication("org.corvane.test.Vault", "Vault");
  pid_t corvane = home.launch({"--qa-start-protected-share"});
  ASSERT_TRUE(home.waitForEvent("protected_share_first_frame_published", 30.0));
  Window share = 0;
  ASSERT_TRUE(waitUntil([&] {
    share = testing::viewableWindowNamed(server.name(), "Corvane Protected Share");
    return share != 0;
  }));
  // A window of the private application over the share window, on top of everything.
  int shareX = 0, shareY = 0;
  Window child = None;
  XTranslateCoordinates(display, share, DefaultRootWindow(display), 0, 0, &shareX, &shareY, &child);
  const Window popup = vault.command("popup 400x300+" + std::to_string(shareX + 40) + "+" +
                                     std::to_string(shareY + 40) + " E02020");
  ASSERT_NE(popup, 0u);
  ASSERT_TRUE(waitUntil([&] { return readPixels(display, share, kPublicColour) > 1000; }));

  std::atomic<bool> reading{true};
  std::atomic<long> mostPrivate{0}, reads{0};
  std::thread reader([&] {
    Display* recorder = XOpenDisplay(server.name().c_str());
    while (reading.load()) {
      const long count = readPixels(recorder, share, kPrivateColour);
      if (count >= 0) ++reads;
      mostPrivate = std::max(mostPrivate.load(), count);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    XCloseDisplay(recorder);
  });

  // Six seconds held by another client, as long as a drag: the share goes on afterwards.
  XGrabServer(display);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::seconds(6));
  XUngrabServer(display);
  XSync(display, False);
  TestClient later(server.name(), {.windowClass = "Later",
                                   .colour = kLaterColour,
                                   .x = 200,
                                   .y = 200,
                                   .width = 300,
                                   .height = 200});
  EXPECT_TRUE(waitUntil([&] { return readPixels(display, share, kLaterColour) > 1000; }));
  auto events = home.events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "protected_share_stream_stopped_with_error"),
            0);

  // Every connection but the one that made the share window, killed at once (again, should one
  // just being opened have escaped): the window is read right then, before Corvane can know, and
  // while the session ends.
  const XID windows = corvane::testing::connectionOwning(display, share);
  long privateAtTheKill = 0;
  bool privateOnScreen = false;
  auto killAllButTheWindows = [&] {
    XGrabServer(display);
    // The private window over the share window on the screen, whatever raised that meanwhile.
    XRaiseWindow(display, popup);
    XSync(display, False);
    privateOnScreen =
        privateOnScreen || countPixels(display, DefaultRootWindow(display), shareX + 40,
                                       shareY + 40, 400, 300, kPrivateColour) > 0;
    for (XID base : corvane::testing::connectionsOf(display, corvane)) {
      if (base != windows) corvane::testing::killConnection(display, base);
    }
    privateAtTheKill = std::max(privateAtTheKill, readPixels(display, share, kPrivateColour));
    // Another program redirects every window now (a compositor starting, a recorder): a window
    // left without a redirect of its own gets new contents copied from the screen.
    XCompositeRedirectSubwindows(display, DefaultRootWindow(display), CompositeRedirectAutomatic);
    privateAtTheKill = std::max(privateAtTheKill, readPixels(display, share, kPrivateColour));
    XCompositeUnredirectSubwindows(display, DefaultRootWindow(display), CompositeRedirectAutomatic);
    XUngrabServer(display);
    XSync(display, False);
  };
  bool ended = false;
  for (int kill = 0; kill < 40 && !ended; ++kill) {
    killAllButTheWindows();
    ended = home.waitForEvent("protected_share_stream_stopped_with_error", 0.5);
  }
  EXPECT_TRUE(ended);
  EXPECT_TRUE(privateOnScreen) << "the private window was never over the share window";
  EXPECT_EQ(privateAtTheKill, 0);
  // The ended session's window, which says so, is read for a while longer (unless it is gone).
  const long readsAtTheEnd = reads.load();
  EXPECT_TRUE(waitUntil([&] {
    return reads.load() > readsAtTheEnd + 30 || readPixels(display, share, kPublicColour) < 0;
  }));
  reading = false;
  reader.join();
  EXPECT_GT(reads.load(), 20);
  EXPECT_EQ(mostPrivate.load(), 0);
  EXPECT_EQ(home.exitStatus(corvane, 0.0), std::nullopt) << "Corvane ended";

  kill(corvane, SIGTERM);
  EXPECT_EQ(home.exitStatus(corvane, 10.0), 0);
  XCloseDisplay(display);
  corvane::testing::endProcess(trayer);
}

}  // namespace
}  // namespace corvane::shell
