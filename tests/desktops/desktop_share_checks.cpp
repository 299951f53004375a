#include "desktops/desktop_share_checks.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/x11/x_properties.h"
#include "support/x11/test_client.h"
#include "support/x11/window_icon.h"
#include "x11/capture_fixture.h"

namespace corvane::testing {
namespace {

using platform::PixelBuffer;
namespace capture = platform::x11::testing;

constexpr std::uint32_t kIconColour = 0xE01CA0;
constexpr std::uint32_t kWallpaper = 0x1E6E46;
constexpr std::uint32_t kDesktopColour = 0x3060A0;
constexpr const char* kPrivateTitle = "SecretColour - private figures";

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  int right() const { return x + width; }
  int bottom() const { return y + height; }
  std::size_t area() const { return std::size_t(width) * std::size_t(height); }
};

template <class Test>
std::size_t countIn(const PixelBuffer& image, const Box& box, Test test) {
  std::size_t count = 0;
  for (int y = std::max(0, box.y); y < std::min(image.height(), box.bottom()); ++y) {
    for (int x = std::max(0, box.x); x < std::min(image.width(), box.right()); ++x) {
      count += test(image.pixel(x, y) & 0xFFFFFF);
    }
  }
  return count;
}

auto is(std::uint32_t rgb) {
  return [rgb](std::uint32_t pixel) { return pixel == (rgb & 0xFFFFFF); };
}
auto isNot(std::uint32_t rgb) {
  return [rgb](std::uint32_t pixel) { return pixel != (rgb & 0xFFFFFF); };
}
bool isIcon(std::uint32_t pixel) {
  return nearIconColour(pixel, kIconColour);
}

Box whole(const PixelBuffer& image) {
  return {0, 0, image.width(), image.height()};
}

// The screen as the compositing window manager shows it now.
PixelBuffer screenOf(const std::string& displayName) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) return PixelBuffer(0, 0);
  const int width = DisplayWidth(display, DefaultScreen(display));
  const int height = DisplayHeight(display, DefaultScreen(display));
  PixelBuffer screen(width, height);
  if (XImage* image =
          XGetImage(display, DefaultRootWindow(display), 0, 0, width, height, AllPlanes, ZPixmap)) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) screen.setPixel(x, y, 0xFF000000u | XGetPixel(image, x, y));
    }
    XDestroyImage(image);
  }
  XCloseDisplay(display);
  return screen;
}

bool runToEnd(const std::vector<std::string>& command,
              const std::vector<std::string>& environment) {
  const pid_t pid = spawnQuietly(command, environment);
  int status = -1;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Where the window manager keeps `client` on the root: its frame's whole window, and the part of
// it that shows (the client with the frame's extents around it).
struct Framed {
  Box frame;
  Box shown;
};

Framed framedOf(const std::string& displayName, Window client) {
  Display* display = XOpenDisplay(displayName.c_str());
  Framed framed;
  if (display == nullptr) return framed;
  auto rootBox = [&](Window window) {
    XWindowAttributes attributes{};
    Window child = None;
    Box box;
    if (XGetWindowAttributes(display, window, &attributes) != 0) {
      XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &box.x, &box.y,
                            &child);
      box.width = attributes.width;
      box.height = attributes.height;
    }
    return box;
  };
  framed.frame = rootBox(platform::x11::topLevelWindow(display, client));
  framed.shown = rootBox(client);
  const auto extents = platform::x11::cardinalProperty(
      display, client, XInternAtom(display, "_NET_FRAME_EXTENTS", False), XA_CARDINAL);
  if (extents.size() == 4) {
    framed.shown = {framed.shown.x - int(extents[0]), framed.shown.y - int(extents[2]),
                    framed.shown.width + int(extents[0] + extents[1]),
                    framed.shown.height + int(extents[2] + extents[3])};
  }
  XCloseDisplay(display);
  return framed;
}

int workAreaBottom(const std::string& displayName) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) return 0;
  const auto area =
      platform::x11::cardinalProperty(display, DefaultRootWindow(display),
                                      XInternAtom(display, "_NET_WORKAREA", False), XA_CARDINAL);
  XCloseDisplay(display);
  return area.size() >= 4 ? int(area[1] + area[3]) : 0;
}

PixelBuffer frameOf(platform::x11::X11ScreenCapture& capture,
                    const platform::ContentFilter& filter) {
  auto frame = capture::captureImageNow(capture, filter);
  EXPECT_TRUE(frame.ok()) << (frame.ok() ? "" : frame.message());
  return frame.ok() ? PixelBuffer(**frame) : PixelBuffer(0, 0);
}

}  // namespace

void expectPlasmaDesktopFollowsTheSetting(const XvfbServer& server, const DesktopSession& desktop) {
  const auto environment = desktop.environment();
  auto run = [&](std::vector<std::string> command) { return runToEnd(command, environment); };
  // A file on the desktop (its icon at the top left) and a wallpaper of one colour.
  std::filesystem::create_directories(desktop.home() / "Desktop");
  std::ofstream(desktop.home() / "Desktop" / "notes.txt") << "notes\n";
  const Box icons{0, 0, 150, 150};
  // (Once the shell has loaded its desktop: until then the script finds none.)
  ASSERT_TRUE(waitUntil(
      [&] {
        return run({"gdbus", "call", "--session", "--dest", "org.kde.plasmashell", "--object-path",
                    "/PlasmaShell", "--method", "org.kde.PlasmaShell.evaluateScript",
                    "var d = desktops()[0]; d.wallpaperPlugin = 'org.kde.color';"
                    "d.currentConfigGroup = ['Wallpaper', 'org.kde.color', 'General'];"
                    "d.writeConfig('Color', '#1e6e46');"});
      },
      10.0))
      << "plasmashell took no script";
  // A private window, whose icon the panel's task manager shows.
  TestClient vault(server.name(), {.windowClass = "Vault",
                                   .colour = capture::kBlue,
                                   .x = 700,
                                   .y = 150,
                                   .width = 500,
                                   .height = 300});
  ASSERT_NE(vault.window(), 0u);
  ASSERT_TRUE(nameWithIcon(server.name(), vault.window(), kPrivateTitle, kIconColour));
  const Box panel{0, workAreaBottom(server.name()), 1920, 1080 - workAreaBottom(server.name())};
  ASSERT_GT(panel.height, 0) << "the panel holds no room";
  ASSERT_TRUE(waitUntil([&] {
    const auto screen = screenOf(server.name());
    return countIn(screen, whole(screen), is(kWallpaper)) > whole(screen).area() / 2 &&
           countIn(screen, icons, isNot(kWallpaper)) > 100 && countIn(screen, panel, isIcon) > 100;
  })) << "no wallpaper, desktop icon or task of the private window on the screen";

  platform::x11::X11ScreenCapture capture(server.name(), capture::plainIdentities());
  auto filter = capture::excluding({"Vault"});
  auto expectPrivateLeftOut = [](const PixelBuffer& frame) {
    EXPECT_EQ(countIn(frame, whole(frame), isIcon), 0u) << "the private window's icon";
    EXPECT_EQ(countIn(frame, whole(frame), is(capture::kBlue)), 0u) << "the private window";
  };
  {
    SCOPED_TRACE("desktop icons shown");
    const PixelBuffer frame = frameOf(capture, filter);
    EXPECT_GT(countIn(frame, whole(frame), is(kWallpaper)), whole(frame).area() * 9 / 10);
    EXPECT_GT(countIn(frame, icons, isNot(kWallpaper)), 100u) << "the desktop's icon";
    EXPECT_EQ(countIn(frame, panel, is(kWallpaper)), panel.area()) << "the panel is shared";
    expectPrivateLeftOut(frame);
  }

  // The panel's tooltip for the private window's task: its title and its icon.
  {
    SCOPED_TRACE("the panel's tooltip");
    // Where the panel shows the task (it repaints when the capture starts).
    long taskX = -1;
    ASSERT_TRUE(waitUntil([&] {
      const auto screen = screenOf(server.name());
      long count = 0, sumX = 0;
      for (int y = panel.y; y < panel.bottom(); ++y) {
        for (int x = 0; x < panel.width; ++x) {
          if (isIcon(screen.pixel(x, y) & 0xFFFFFF)) ++count, sumX += x;
        }
      }
      taskX = count > 100 ? sumX / count : -1;
      return taskX >= 0;
    })) << "the panel shows no task for the private window";
    ASSERT_TRUE(run({"xdotool", "mousemove", std::to_string(taskX),
                     std::to_string(panel.y + panel.height / 2)}));
    const Box abovePanel{0, panel.y - 300, 1920, 300};
    ASSERT_TRUE(waitUntil([&] {
      return countIn(screenOf(server.name()), abovePanel, isIcon) > 200;
    })) << "no tooltip";
    const PixelBuffer frame = frameOf(capture, filter);
    EXPECT_EQ(countIn(frame, abovePanel, is(kWallpaper)), abovePanel.area());
    expectPrivateLeftOut(frame);
    ASSERT_TRUE(run({"xdotool", "mousemove", "960", "700"}));
  }

  // KRunner (what Alt+Space starts through the bus) listing the private window.
  {
    SCOPED_TRACE("KRunner");
    const Box top{400, 0, 1120, 150};
    ASSERT_TRUE(run({"gdbus", "call", "--session", "--dest", "org.kde.krunner", "--object-path",
                     "/App", "--method", "org.kde.krunner.App.query", "SecretColour"}));
    ASSERT_TRUE(waitUntil([&] { return countIn(screenOf(server.name()), top, isIcon) > 50; }))
        << "KRunner does not list the private window";
    const PixelBuffer frame = frameOf(capture, filter);
    EXPECT_EQ(countIn(frame, top, is(kWallpaper)), top.area());
    expectPrivateLeftOut(frame);
    ASSERT_TRUE(run({"xdotool", "key", "Escape"}));
    ASSERT_TRUE(waitUntil([&] { return countIn(screenOf(server.name()), top, isIcon) == 0; }));
  }

  // The desktop's own menu follows the desktop, shown and then left out with it.
  {
    SCOPED_TRACE("the desktop's menu");
    const Box menu{1310, 510, 300, 200};
    ASSERT_TRUE(run({"xdotool", "mousemove", "1300", "500", "click", "3"}));
    ASSERT_TRUE(waitUntil([&] {
      return countIn(screenOf(server.name()), menu, isNot(kWallpaper)) > menu.area() / 2;
    })) << "no menu on the desktop";
    const PixelBuffer shown = frameOf(capture, filter);
    EXPECT_GT(countIn(shown, menu, isNot(kWallpaper)), menu.area() / 2) << "the menu is left out";
    filter.excludeDesktopWindows = true;
    const PixelBuffer hidden = frameOf(capture, filter);
    EXPECT_EQ(countIn(hidden, whole(hidden), is(kWallpaper)), 0u) << "the desktop is shared";
    // plasmashell names no background picture: the root window's own background shows instead,
    // one colour under the menu and the icons alike.
    const std::uint32_t root = hidden.pixel(menu.x, menu.y) & 0xFFFFFF;
    EXPECT_EQ(countIn(hidden, menu, is(root)), menu.area());
    EXPECT_EQ(countIn(hidden, icons, is(root)), icons.area());
    EXPECT_FALSE(isIcon(root));
    expectPrivateLeftOut(hidden);
    ASSERT_TRUE(run({"xdotool", "key", "Escape"}));
  }
}

void expectFrameBordersShowWhatLiesBeneath(const XvfbServer& server) {
  TestClient desktopWindow(server.name(), {.windowClass = "DesktopStandIn",
                                           .colour = kDesktopColour,
                                           .width = 1920,
                                           .height = 1080,
                                           .desktop = true});
  TestClient vault(server.name(), {.windowClass = "Vault",
                                   .colour = capture::kBlue,
                                   .x = 300,
                                   .y = 200,
                                   .width = 500,
                                   .height = 400});
  ASSERT_TRUE(waitUntil([&] { return capture::rootRect(server.name(), vault.window()).viewable; }));
  // A public window above it, its frame's left border over the private window.
  const Framed underneath = framedOf(server.name(), vault.window());
  TestClient editor(server.name(), {.windowClass = "Editor",
                                    .colour = capture::kRed,
                                    .x = underneath.shown.right() - 200,
                                    .y = underneath.shown.y + 100,
                                    .width = 600,
                                    .height = 400});
  Framed framed;
  ASSERT_TRUE(waitUntil([&] {
    framed = framedOf(server.name(), editor.window());
    return capture::rootRect(server.name(), editor.window()).viewable &&
           framed.shown.x > framed.frame.x && framed.shown.x < underneath.shown.right() &&
           framed.frame.x > underneath.shown.x;
  })) << "the frame's left border is not over the private window";

  platform::x11::X11ScreenCapture capture(server.name(), capture::plainIdentities());
  const PixelBuffer frame = frameOf(capture, capture::excluding({"Vault"}));
  // Every pixel of the frame's window outside what shows of it: its borders on every side.
  std::size_t border = 0, beneath = 0;
  for (int y = framed.frame.y; y < framed.frame.bottom(); ++y) {
    for (int x = framed.frame.x; x < framed.frame.right(); ++x) {
      const bool shown = x >= framed.shown.x && x < framed.shown.right() && y >= framed.shown.y &&
                         y < framed.shown.bottom();
      if (shown || x < 0 || y < 0 || x >= frame.width() || y >= frame.height()) continue;
      ++border;
      beneath += (frame.pixel(x, y) & 0xFFFFFF) == kDesktopColour;
    }
  }
  EXPECT_GT(border, 4000u) << "muffin's frame has no invisible border";
  EXPECT_EQ(beneath, border) << "the frame's border hides the desktop beneath it";
  EXPECT_EQ(countIn(frame, whole(frame), is(capture::kBlue)), 0u) << "the private window";
  EXPECT_GT(countIn(frame, framed.shown, is(capture::kRed)), 600u * 400u * 9 / 10);
}

}  // namespace corvane::testing
