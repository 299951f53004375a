// A window with alpha shows what lies beneath it blended with its own pixels once, however often
// it repaints: each frame composed where it changed draws the desktop beneath it again before
// blending the window over it.
#include <gtest/gtest.h>

#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// An override-redirect window of 32-bit ARGB, filled with half-transparent red, repainted the
// same on request.
class TranslucentWindow {
 public:
  TranslucentWindow(const std::string& displayName, int x, int y, int width, int height)
      : display_(XOpenDisplay(displayName.c_str())), width_(width), height_(height) {
    if (display_ == nullptr) return;
    XVisualInfo info{};
    if (!XMatchVisualInfo(display_, DefaultScreen(display_), 32, TrueColor, &info)) return;
    const Window root = DefaultRootWindow(display_);
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display_, root, info.visual, AllocNone);
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;
    attributes.override_redirect = True;
    window_ =
        XCreateWindow(display_, root, x, y, width, height, 0, 32, InputOutput, info.visual,
                      CWColormap | CWBorderPixel | CWBackPixmap | CWOverrideRedirect, &attributes);
    XClassHint hint{const_cast<char*>("glass"), const_cast<char*>("Glass")};
    XSetClassHint(display_, window_, &hint);
    picture_ = XRenderCreatePicture(display_, window_,
                                    XRenderFindVisualFormat(display_, info.visual), 0, nullptr);
    XMapWindow(display_, window_);
    XSync(display_, False);
  }
  ~TranslucentWindow() {
    if (display_ == nullptr) return;
    if (picture_ != None) XRenderFreePicture(display_, picture_);
    if (window_ != None) XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
  TranslucentWindow(const TranslucentWindow&) = delete;
  TranslucentWindow& operator=(const TranslucentWindow&) = delete;

  bool ok() const { return picture_ != None; }
  void paint() {
    const XRenderColor halfRed{0x8000, 0, 0, 0x8000};  // premultiplied
    XRenderFillRectangle(display_, PictOpSrc, picture_, &halfRed, 0, 0, width_, height_);
    XSync(display_, False);
  }

 private:
  Display* display_;
  Window window_ = None;
  Picture picture_ = None;
  int width_, height_;
};

class TranslucentWindowTest : public CaptureOnServer {
 protected:
  void SetUp() override {
    CaptureOnServer::SetUp();
    // The window is this process's: the capture is told another process is its own, so that
    // the window is not left out as the capture's own.
    capture_ = std::make_unique<X11ScreenCapture>(display(), plainIdentities(), 1);
  }
};

TEST_P(TranslucentWindowTest, RepaintingBlendsItOverTheDesktopOnceEachFrame) {
  TranslucentWindow glass(display(), 100, 100, 200, 150);
  ASSERT_TRUE(glass.ok()) << "the server offers no 32-bit visual";
  SampleRecorder recorder;
  auto running = stream(recorder, excluding({}));
  ASSERT_TRUE(startStream(*running).ok());
  auto blended = [](const PixelBuffer& frame) {
    const std::uint32_t pixel = frame.pixel(200, 175) & 0xFFFFFF;
    return pixel != kGreen && (pixel >> 16) > 0x40;
  };
  // The capture clears a new pixmap of a window with alpha and asks it to paint again: it paints
  // until its pixels show.
  SharedPixelBuffer first;
  for (int attempt = 0; attempt < 100 && !first; ++attempt) {
    glass.paint();
    first = recorder.waitForFrame(0, blended, 0.1);
  }
  ASSERT_TRUE(first) << "the window never showed over the desktop";
  const std::uint32_t once = first->pixel(200, 175) & 0xFFFFFF;
  // Half red over green, whatever rounding the server does.
  EXPECT_NEAR(static_cast<int>(once >> 16), 0x80, 2);
  EXPECT_NEAR(static_cast<int>((once >> 8) & 0xFF), 0x7F, 2);
  for (int repaint = 0; repaint < 6; ++repaint) {
    glass.paint();
    ASSERT_TRUE(recorder.waitForMoreFrames(1)) << "no frame after repaint " << repaint;
  }
  const auto last = recorder.latest();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->pixel(200, 175) & 0xFFFFFF, once) << "the window was blended over itself";
  EXPECT_EQ(last->pixel(20, 20) & 0xFFFFFF, kGreen) << "beside it";
  EXPECT_TRUE(stopStream(*running).ok());
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, TranslucentWindowTest,
                         ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
