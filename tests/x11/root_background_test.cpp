// Where the desktop names no background picture, the share shows the root window's own
// background as the screen does (a colour `xsetroot -solid` set), never what the screen last
// showed where the root has none.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/program_path.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

class RootBackgroundTest : public CaptureOnServer {
 protected:
  // The root names no desktop background picture, and has `background` of its own (None: none).
  void setRootWithoutPicture(std::optional<std::uint32_t> background) {
    Display* connection = XOpenDisplay(display().c_str());
    ASSERT_NE(connection, nullptr);
    const Window root = DefaultRootWindow(connection);
    XDeleteProperty(connection, root, XInternAtom(connection, "_XROOTPMAP_ID", False));
    if (!background) {
      XSetWindowBackgroundPixmap(connection, root, None);
      XCloseDisplay(connection);
      return;
    }
    XCloseDisplay(connection);
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%06X", *background);
    ASSERT_EQ(std::system(("DISPLAY=" + display() + " xsetroot -solid '" + colour + "'").c_str()),
              0);
  }
  static std::uint32_t pixelAt(const PixelBuffer& frame, int x, int y) {
    return frame.pixel(x, y) & 0xFFFFFF;
  }
};

TEST_P(RootBackgroundTest, TheRootsOwnColourShowsWhereNoWindowIsAndBeneathALeftOutOne) {
  if (!findProgram("xsetroot", programSearchPath())) GTEST_SKIP() << "needs xsetroot";
  constexpr std::uint32_t kNavy = 0x1E2A4A;
  setRootWithoutPicture(kNavy);
  SecretOverPublicWindow scene(display(), "Public");
  ASSERT_TRUE(scene.ok());
  SampleRecorder recorder;
  auto running = stream(recorder, excluding({"Secret"}));
  ASSERT_TRUE(startStream(*running).ok());
  const auto frame = recorder.waitForFrame(0, [](const PixelBuffer& f) {
    return countPixels(f, kRed) > 0 && countPixels(f, kNavy) > 0;
  });
  ASSERT_TRUE(frame) << "the root's colour never showed";
  EXPECT_EQ(pixelAt(*frame, kWidth - 5, kHeight - 5), kNavy) << "where no window is";
  EXPECT_EQ(pixelAt(*frame, 480, 350), kNavy) << "beneath the left-out window";
  EXPECT_EQ(recorder.framesShowingAny({kBlue}), 0u);
  EXPECT_TRUE(stopStream(*running).ok());
}

// A root background the desktop does not name as its picture, tiled from the root's corner.
TEST_P(RootBackgroundTest, TheRootsOwnPixmapShowsTiledAsTheScreenShowsIt) {
  constexpr std::uint32_t kCorner = 0xC08040, kRest = 0x204060;
  {
    Display* connection = XOpenDisplay(display().c_str());
    ASSERT_NE(connection, nullptr);
    const Window root = DefaultRootWindow(connection);
    XDeleteProperty(connection, root, XInternAtom(connection, "_XROOTPMAP_ID", False));
    const Pixmap tile = XCreatePixmap(connection, root, 64, 64, DefaultDepth(connection, 0));
    GC gc = XCreateGC(connection, tile, 0, nullptr);
    XSetForeground(connection, gc, kRest);
    XFillRectangle(connection, tile, gc, 0, 0, 64, 64);
    XSetForeground(connection, gc, kCorner);
    XFillRectangle(connection, tile, gc, 0, 0, 32, 32);
    XFreeGC(connection, gc);
    XSetWindowBackgroundPixmap(connection, root, tile);
    XClearWindow(connection, root);
    XFreePixmap(connection, tile);
    XCloseDisplay(connection);
  }
  SecretOverPublicWindow scene(display(), "Public");
  ASSERT_TRUE(scene.ok());
  SampleRecorder recorder;
  auto running = stream(recorder, excluding({"Secret"}));
  ASSERT_TRUE(startStream(*running).ok());
  const auto frame = recorder.waitForFrame(0, [](const PixelBuffer& f) {
    return countPixels(f, kRed) > 0 && countPixels(f, kCorner) > 0;
  });
  ASSERT_TRUE(frame) << "the root's pixmap never showed";
  // A tile's top-left quarter is kCorner: where x % 64 and y % 64 are both below 32.
  for (auto [x, y, colour] : {std::tuple{720, 580, kCorner},
                              {760, 580, kRest},
                              {720, 560, kRest},
                              {450, 340, kCorner},
                              {490, 352, kRest}}) {
    EXPECT_EQ(pixelAt(*frame, x, y), colour) << x << "," << y;
  }
  EXPECT_EQ(recorder.framesShowingAny({kBlue}), 0u);
  EXPECT_TRUE(stopStream(*running).ok());
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
  SecretOverPublicWindow scene(display(), "Public");
  ASSERT_TRUE(scene.ok());
  SampleRecorder recorder;
  auto running = stream(recorder, excluding({"Secret"}));
  ASSERT_TRUE(startStream(*running).ok());
  const auto frame =
      recorder.waitForFrame(0, [](const PixelBuffer& f) { return countPixels(f, kRed) > 0; });
  ASSERT_TRUE(frame);
  EXPECT_EQ(recorder.framesShowingAny({kBlue}), 0u);
  EXPECT_TRUE(stopStream(*running).ok());
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, RootBackgroundTest,
                         ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
