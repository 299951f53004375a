#pragma once

// Include after every Qt header: Xlib's macros clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace corvane::ui::testing {

// A test's own connection to the X server: the window manager's lists, and synthetic input.
class XProbe {
 public:
  explicit XProbe(const std::string& name) : display_(XOpenDisplay(name.c_str())) {}
  ~XProbe() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  XProbe(const XProbe&) = delete;
  XProbe& operator=(const XProbe&) = delete;

  Window activeWindow() {
    auto windows = windowList("_NET_ACTIVE_WINDOW");
    return windows.empty() ? None : windows.front();
  }
  // Position in the window manager's stacking order, bottom first; -1 when not listed.
  int stackingIndex(Window window) {
    const auto windows = windowList("_NET_CLIENT_LIST_STACKING");
    auto it = std::find(windows.begin(), windows.end(), window);
    return it == windows.end() ? -1 : static_cast<int>(it - windows.begin());
  }
  // The window's WM_NAME; empty when it has none.
  std::string windowName(Window window) {
    char* name = nullptr;
    std::string result;
    if (XFetchName(display_, window, &name) != 0 && name != nullptr) {
      result = name;
      XFree(name);
    }
    return result;
  }
  void moveMouse(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XFlush(display_);
  }
  void button(bool down) {
    XTestFakeButtonEvent(display_, 1, down ? True : False, CurrentTime);
    XFlush(display_);
  }
  void pressKey(KeySym key) {
    const KeyCode code = XKeysymToKeycode(display_, key);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XFlush(display_);
  }

 private:
  std::vector<Window> windowList(const char* property) {
    std::vector<Window> result;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, DefaultRootWindow(display_),
                           XInternAtom(display_, property, False), 0, 4096, False, XA_WINDOW, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
      const auto* windows = reinterpret_cast<const unsigned long*>(data);
      result.assign(windows, windows + count);
      XFree(data);
    }
    return result;
  }

  Display* display_;
};

}  // namespace corvane::ui::testing
