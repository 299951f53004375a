// Where the desktop names no background picture, the share shows the root window's own
// background as the screen does (a colour `xsetroot -solid` set), never what the screen last
// showed where the root has none.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "platform/program_path.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

class RootBackgroundTest : public CaptureOnServer {
 protected:
  // The root names no picture as the desktop's background (the fixture named one).
  void forgetDesktopPicture() {
    Display* connection = XOpenDisplay(display().c_str());
    ASSERT_NE(connection, nullptr);
    XDeleteProperty(connection, DefaultRootWindow(connection),
                    XInternAtom(connection, "_XROOTPMAP_ID", False));
    XCloseDisplay(connection);
  }
  // The root's background a tile of 64 × 64 whose top-left quarter is `corner`, the rest `rest`.
  void setRootTile(std::uint32_t corner, std::uint32_t rest) {
    Display* connection = XOpenDisplay(display().c_str());
    ASSERT_NE(connection, nullptr);
    const Window root = DefaultRootWindow(connection);
    const Pixmap tile = XCreatePixmap(connection, root, 64, 64, DefaultDepth(connection, 0));
    GC gc = XCreateGC(connection, tile, 0, nullptr);
    XSetForeground(connection, gc, rest);
    XFillRectangle(connection, tile, gc, 0, 0, 64, 64);
    XSetForeground(connection, gc, corner);
    XFillRectangle(connection, tile, gc, 0, 0, 32, 32);
    XFreeGC(connection, gc);
    XSetWindowBackgroundPixmap(connection, root, tile);
    XClearWindow(connection, root);
    XFreePixmap(connection, tile);
    XCloseDisplay(connection);
  }
  // The first frame of the secret window over a public one (left out) that shows the public one
  // and satisfies `shows`; no frame up to then may show the secret window.
  SharedPixelBuffer shareShowing(const std::function<bool(const PixelBuffer&)>& shows) {
    SecretOverPublicWindow scene(display(), "Public");
    EXPECT_TRUE(scene.ok());
    SampleRecorder recorder;
    auto running = stream(recorder, excluding({"Secret"}));
    EXPECT_TRUE(startStream(*running).ok());
    auto frame = recorder.waitForFrame(
        0, [&](const PixelBuffer& f) { return countPixels(f, kRed) > 0 && shows(f); });
    EXPECT_EQ(recorder.framesShowingAny({kBlue}), 0u);
    EXPECT_TRUE(stopStream(*running).ok());
    return frame;
  }
  static std::uint32_t pixelAt(const PixelBuffer& frame, int x, int y) {
    return frame.pixel(x, y) & 0xFFFFFF;
  }
};

TEST_P(RootBackgroundTest, TheRootsOwnColourShowsWhereNoWindowIsAndBeneathALeftOutOne) {
  if (!findProgram("xsetroot", programSearchPath())) GTEST_SKIP() << "needs xsetroot";
  constexpr std::uint32_t kNavy = 0x1E2A4A;
  forgetDesktopPicture();
  ASSERT_EQ(std::system(("DISPLAY=" + display() + " xsetroot -solid '#1E2A4A'").c_str()), 0);
  const auto frame = shareShowing([](const PixelBuffer& f) { return countPixels(f, kNavy) > 0; });
  ASSERT_TRUE(frame) << "the root's colour never showed";
  EXPECT_EQ(pixelAt(*frame, kWidth - 5, kHeight - 5), kNavy) << "where no window is";
  EXPECT_EQ(pixelAt(*frame, 480, 350), kNavy) << "beneath the left-out window";
}

// A root background the desktop does not name as its picture, tiled from the root's corner.
TEST_P(RootBackgroundTest, TheRootsOwnPixmapShowsTiledAsTheScreenShowsIt) {
  constexpr std::uint32_t kCorner = 0xC08040, kRest = 0x204060;
  forgetDesktopPicture();
  setRootTile(kCorner, kRest);
  const auto frame = shareShowing([](const PixelBuffer& f) { return countPixels(f, kCorner) > 0; });
  ASSERT_TRUE(frame) << "the root's pixmap never showed";
  // Where x % 64 and y % 64 are both below 32, a tile's top-left quarter.
  for (auto [x, y, colour] : {std::tuple{720, 580, kCorner},
                              {760, 580, kRest},
                              {720, 560, kRest},
                              {450, 340, kCorner},
                              {490, 352, kRest}}) {
    EXPECT_EQ(pixelAt(*frame, x, y), colour) << x << "," << y;
  }
}

// A server whose root has no background leaves on the screen whatever was last there: the share
// never shows it, even in the first frame, composed while a private window lies over the root.
TEST_P(RootBackgroundTest, WhereTheRootHasNoBackgroundTheScreensPixelsNeverShow) {
  capture_.reset();
  server_ = std::make_unique<XvfbServer>(kWidth, kHeight,
                                         std::vector<std::string>{"-background", "none"});
  ASSERT_TRUE(server_->ok());
  if (GetParam()) ASSERT_TRUE(server_->startWindowManager());
  capture_ = std::make_unique<X11ScreenCapture>(display(), plainIdentities());
  EXPECT_TRUE(shareShowing([](const PixelBuffer&) { return true; }));
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, RootBackgroundTest,
                         ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
