#pragma once

// A private X.Org server with its dummy video driver: unlike Xvfb its screen changes size through
// RandR (setScreenSize below), as a real one does when a monitor or a dock is unplugged. It runs on
// a display number it picks itself, with a configuration of its own in a temporary folder, no input
// devices of the machine and no virtual terminal. Header-only, like XvfbServer, whose name() and
// ok() it shares so a desktop session runs on either.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temporary_folder.h"
#include "support/x11/xvfb_server.h"

namespace corvane::testing {

struct ScreenSize {
  int width = 0;
  int height = 0;
  std::string modeName() const { return std::to_string(width) + "x" + std::to_string(height); }
};

// Sets the screen of `display` to `size` as `xrandr --output <the connected one> --mode WxH --fb
// WxH` does: the output's mode and the root window's size under one grab, in the order that keeps
// the output inside the root throughout. Empty, or why it could not.
inline std::string setScreenSize(Display* display, ScreenSize size) {
  const Window root = DefaultRootWindow(display);
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
  if (resources == nullptr) return "the server has no RandR screen resources";
  RROutput output = None;
  RRCrtc crtc = None;
  RRMode mode = None;
  for (int index = 0; index < resources->noutput && output == None; ++index) {
    XRROutputInfo* info = XRRGetOutputInfo(display, resources, resources->outputs[index]);
    if (info == nullptr) continue;
    if (info->connection == RR_Connected && info->crtc != None) {
      for (int m = 0; m < info->nmode; ++m) {
        for (int r = 0; r < resources->nmode; ++r) {
          const XRRModeInfo& candidate = resources->modes[r];
          if (candidate.id == info->modes[m] && int(candidate.width) == size.width &&
              int(candidate.height) == size.height) {
            mode = candidate.id;
          }
        }
      }
      output = resources->outputs[index];
      crtc = info->crtc;
    }
    XRRFreeOutputInfo(info);
  }
  std::string failure;
  if (output == None) failure = "no output is connected";
  if (failure.empty() && mode == None) failure = "the output has no mode " + size.modeName();
  if (failure.empty()) {
    const int screen = DefaultScreen(display);
    const bool shrinks =
        size.width < DisplayWidth(display, screen) || size.height < DisplayHeight(display, screen);
    // The same 96 dots an inch at every size.
    const int widthMillimetres = int(size.width * 25.4 / 96);
    const int heightMillimetres = int(size.height * 25.4 / 96);
    auto setMode = [&] {
      return XRRSetCrtcConfig(display, resources, crtc, CurrentTime, 0, 0, mode, RR_Rotate_0,
                              &output, 1) == RRSetConfigSuccess;
    };
    XGrabServer(display);
    bool set = !shrinks || setMode();
    if (set) {
      XRRSetScreenSize(display, root, size.width, size.height, widthMillimetres, heightMillimetres);
    }
    set = set && (shrinks || setMode());
    XUngrabServer(display);
    XSync(display, False);
    if (!set) failure = "the server refused the mode " + size.modeName();
    Window ignored = None;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(display, root, &ignored, &x, &y, &width, &height, &border, &depth);
    if (failure.empty() && (int(width) != size.width || int(height) != size.height)) {
      failure = "the screen stayed " + ScreenSize{int(width), int(height)}.modeName();
    }
  }
  XRRFreeScreenResources(resources);
  return failure;
}

inline std::string setScreenSize(const std::string& displayName, ScreenSize size) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) return "cannot connect to " + displayName;
  const std::string outcome = setScreenSize(display, size);
  XCloseDisplay(display);
  return outcome;
}

class XorgDummyServer {
 public:
  // A screen of `sizes.front()` that can later be set to any of `sizes`.
  explicit XorgDummyServer(std::vector<ScreenSize> sizes) {
    if (!isInstalled() || sizes.empty()) return;
    std::ofstream(folder_ / "xorg.conf") << configuration(sizes);
    // As root the server takes a configuration by its full path; -sharevts and -novtswitch keep
    // it off the virtual terminals a container does not have.
    name_ = startOnFreeDisplay(
        {program(), "-displayfd", "3", "-config", (folder_ / "xorg.conf").string(), "-logfile",
         (folder_ / "xorg.log").string(), "-noreset", "-nolisten", "tcp", "-ac", "-sharevts",
         "-novtswitch"},
        pid_, (folder_ / "errors.txt").string());
  }
  ~XorgDummyServer() { endProcess(pid_); }
  XorgDummyServer(const XorgDummyServer&) = delete;
  XorgDummyServer& operator=(const XorgDummyServer&) = delete;

  // The server and its dummy driver are there (scripts/install-deps installs them).
  static bool isInstalled() {
    return !program().empty() &&
           std::filesystem::exists("/usr/lib/xorg/modules/drivers/dummy_drv.so");
  }

  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }
  pid_t pid() const { return pid_; }
  // What the server said on its way up (for a failure's message).
  std::string log() const { return fileText(folder_ / "errors.txt"); }

 private:
  static std::string program() {
    if (std::filesystem::exists("/usr/lib/xorg/Xorg")) return "/usr/lib/xorg/Xorg";
    return std::system("command -v Xorg >/dev/null 2>&1") == 0 ? "Xorg" : "";
  }

  static std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // A mode of `size` at 60 Hz with the blanking of the television modes (1920×1080 is theirs
  // exactly): the dummy driver shows nothing, the mode only has to fit the monitor's ranges below.
  static std::string modeline(ScreenSize size) {
    const int horizontalTotal = size.width + 280;
    const int verticalTotal = size.height + 45;
    const double megahertz = horizontalTotal * double(verticalTotal) * 60.0 / 1e6;
    std::ostringstream line;
    line << "  Modeline \"" << size.modeName() << "\" " << megahertz << " " << size.width << " "
         << size.width + 88 << " " << size.width + 132 << " " << horizontalTotal << " "
         << size.height << " " << size.height + 4 << " " << size.height + 9 << " " << verticalTotal
         << " +hsync +vsync\n";
    return line.str();
  }

  static std::string configuration(const std::vector<ScreenSize>& sizes) {
    int widest = 0, tallest = 0;
    std::string modelines, modes;
    for (const auto& size : sizes) {
      widest = std::max(widest, size.width);
      tallest = std::max(tallest, size.height);
      modelines += modeline(size);
      modes += " \"" + size.modeName() + "\"";
    }
    // Room for the largest screen twice over, in kilobytes.
    const long videoRam = long(widest) * tallest * 4 * 2 / 1024;
    std::ostringstream text;
    text << "Section \"ServerFlags\"\n"
            "  Option \"AutoAddDevices\" \"false\"\n"
            "  Option \"AutoEnableDevices\" \"false\"\n"
            "  Option \"DontVTSwitch\" \"true\"\n"
            "EndSection\n"
            "Section \"Device\"\n"
            "  Identifier \"dummy\"\n"
            "  Driver \"dummy\"\n"
         << "  VideoRam " << videoRam << "\n"
         << "EndSection\n"
            "Section \"Monitor\"\n"
            "  Identifier \"monitor\"\n"
            "  HorizSync 5.0 - 1000.0\n"
            "  VertRefresh 5.0 - 200.0\n"
         << modelines
         << "EndSection\n"
            "Section \"Screen\"\n"
            "  Identifier \"screen\"\n"
            "  Device \"dummy\"\n"
            "  Monitor \"monitor\"\n"
            "  DefaultDepth 24\n"
            "  SubSection \"Display\"\n"
            "    Depth 24\n"
         << "    Virtual " << widest << " " << tallest << "\n"
         << "    Modes" << modes << "\n"
         << "  EndSubSection\n"
            "EndSection\n";
    return text.str();
  }

  TemporaryFolder folder_{"corvane-xorg"};
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace corvane::testing
