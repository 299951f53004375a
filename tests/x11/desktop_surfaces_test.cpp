// The desktop's own surfaces draw every window's title and icon: a taskbar, a window list, the
// window manager's window switcher. With real panels and openbox's switcher on the screen, the
// private window's icon (a solid colour of its own) shows on the real display and never in a
// frame of the share.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/x11/xlib.h"
#include "support/x11/window_icon.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

constexpr std::uint32_t kIconColour = 0xE01CA0;
constexpr int kWidth = 800, kHeight = 600;

// openbox with Alt+Tab going through the windows in its switcher, as its stock configuration has.
constexpr const char* kSwitcherConfiguration =
    "<keyboard><keybind key=\"A-Tab\"><action name=\"NextWindow\"><dialog>list</dialog>"
    "</action></keybind></keyboard>";

bool nearIconColour(unsigned long pixel) {
  return corvane::testing::nearIconColour(pixel, kIconColour);
}

std::size_t iconPixels(const PixelBuffer& frame) {
  std::size_t count = 0;
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) count += nearIconColour(frame.pixel(x, y));
  }
  return count;
}

// Pixels of the icon's colour on the real display.
std::size_t iconPixelsOnScreen(const std::string& displayName) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) return 0;
  XImage* image =
      XGetImage(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
  std::size_t count = 0;
  for (int y = 0; image != nullptr && y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) count += nearIconColour(XGetPixel(image, x, y));
  }
  if (image != nullptr) XDestroyImage(image);
  XCloseDisplay(display);
  return count;
}

struct Surface {
  const char* name;
  // The program that draws the windows' icons; empty for openbox's own switcher.
  std::vector<std::string> program;
};

void PrintTo(const Surface& surface, std::ostream* out) {
  *out << surface.name;
}

class DesktopSurfacesTest : public ::testing::TestWithParam<Surface> {
 protected:
  void TearDown() override {
    if (panel_ > 0) corvane::testing::endProcess(panel_);
  }
  pid_t panel_ = -1;
};

TEST_P(DesktopSurfacesTest, APrivateWindowsIconShowsOnTheDisplayAndNeverInTheShare) {
  const Surface& surface = GetParam();
  XvfbServer server(kWidth, kHeight);
  ASSERT_TRUE(server.ok());
  ASSERT_TRUE(server.startWindowManager(kSwitcherConfiguration));
  setRootBackground(server.name(), kGreen);
  TestClient editor(
      server.name(),
      {.windowClass = "Editor", .colour = kRed, .x = 40, .y = 60, .width = 300, .height = 200});
  TestClient vault(
      server.name(),
      {.windowClass = "Vault", .colour = kBlue, .x = 420, .y = 60, .width = 300, .height = 200});
  ASSERT_NE(vault.window(), 0u);
  ASSERT_TRUE(corvane::testing::nameWithIcon(server.name(), vault.window(),
                                             "Vault - private figures", kIconColour));
  // The window's own frame draws the icon in its title bar too (and goes with the window).
  ASSERT_TRUE(waitUntil([&] { return rootRect(server.name(), vault.window()).viewable; }));
  std::size_t inFrame = 0;
  waitUntil([&] { return (inFrame = iconPixelsOnScreen(server.name())) > 0; });
  if (!surface.program.empty()) {
    panel_ = corvane::testing::spawnProgram(
        surface.program, {"DISPLAY=" + server.name(), "HOME=" + server.home().string(),
                          "XDG_CONFIG_HOME=" + (server.home() / ".config").string()});
  } else {
    // Alt held, Tab pressed: the switcher stays up, listing every window, until Alt goes.
    panel_ = corvane::testing::spawnProgram(
        {"xdotool", "keydown", "alt", "key", "Tab", "sleep", "600"}, {"DISPLAY=" + server.name()});
  }
  ASSERT_TRUE(waitUntil([&] { return iconPixelsOnScreen(server.name()) > inFrame + 150; }))
      << surface.name << " never drew the private window's icon";

  X11ScreenCapture capture(server.name(), plainIdentities());
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  auto stream = capture.makeStream(excluding({"Vault"}), {}, recorder.output(), queue);
  ASSERT_TRUE(startStream(*stream).ok());
  ASSERT_TRUE(recorder.waitForMoreFrames(3));
  stream->updateConfiguration({}, [](runtime::Status) {});  // a whole new frame
  ASSERT_TRUE(recorder.waitForMoreFrames(2));
  EXPECT_GT(iconPixelsOnScreen(server.name()), inFrame + 150) << "the icon is still on screen";
  std::size_t framesWithTheIcon = 0;
  for (const auto& frame : recorder.framesSince(0)) framesWithTheIcon += iconPixels(*frame) > 0;
  EXPECT_EQ(framesWithTheIcon, 0u) << "of " << recorder.frameCount() << " frames";
  EXPECT_EQ(recorder.framesShowingAny({kBlue}), 0u) << "the private window itself";
  EXPECT_GT(countPixels(*recorder.latest(), kRed), 0u) << "the public window shows";
  EXPECT_TRUE(stopStream(*stream).ok());
}

INSTANTIATE_TEST_SUITE_P(PanelsAndSwitcher, DesktopSurfacesTest,
                         ::testing::Values(Surface{"tint2", {"tint2"}},
                                           Surface{"lxpanel", {"lxpanel", "--profile", "default"}},
                                           Surface{"openbox's switcher", {}}),
                         [](const auto& info) {
                           std::string name;
                           for (char c : std::string(info.param.name)) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name.push_back(c);
                           }
                           return name;
                         });

}  // namespace
}  // namespace corvane::platform::x11::testing
