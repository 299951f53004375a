#pragma once

// Looks at a private X server's screen as the capture sees it: the pixels of an area, the
// top-level windows in stacking order and what shows of each, and an application's window found
// by its WM_CLASS instance name.

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "platform/window_areas.h"
#include "support/x11/xvfb_server.h"

namespace corvane::testing::real_application {

// While it lives, X errors are ignored instead of ending the process: windows of applications
// starting and stopping go away between one request and the next, and a request about a window
// gone is of no consequence here. One at a time, on the thread that starts the X work.
class IgnoringXErrors {
 public:
  IgnoringXErrors() : previous_(XSetErrorHandler([](Display*, XErrorEvent*) { return 0; })) {}
  ~IgnoringXErrors() { XSetErrorHandler(previous_); }
  IgnoringXErrors(const IgnoringXErrors&) = delete;
  IgnoringXErrors& operator=(const IgnoringXErrors&) = delete;

 private:
  XErrorHandler previous_;
};

// The pixels of `area` (root pixels), opaque BGRA; null when the server refuses.
inline std::shared_ptr<platform::PixelBuffer> grabArea(Display* display,
                                                       const platform::Rect& area) {
  const int width = static_cast<int>(area.width()), height = static_cast<int>(area.height());
  XImage* image = XGetImage(display, DefaultRootWindow(display), static_cast<int>(area.minX()),
                            static_cast<int>(area.minY()), static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return nullptr;
  auto buffer = std::make_shared<platform::PixelBuffer>(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      buffer->setPixel(x, y, 0xFF000000u | (XGetPixel(image, x, y) & 0xFFFFFFu));
  }
  XDestroyImage(image);
  return buffer;
}

// Grabs `area` until `sameGrabs` grabs a little apart in a row hold the same pixels: the
// application has drawn.
inline std::shared_ptr<platform::PixelBuffer> grabSettled(Display* display,
                                                          const platform::Rect& area,
                                                          int sameGrabs = 2) {
  auto last = grabArea(display, area);
  int same = 1;
  for (int attempt = 0; last && attempt < 40; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    auto next = grabArea(display, area);
    if (!next) return nullptr;
    same = std::memcmp(next->data(), last->data(), next->byteCount()) == 0 ? same + 1 : 1;
    last = std::move(next);
    if (same >= sameGrabs) return last;
  }
  return last;
}

// A window's rectangle in root pixels, its border left out.
inline platform::Rect rootRect(Display* display, Window window) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, window, &attributes);
  int x = 0, y = 0;
  Window child = None;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  return {{double(x), double(y)}, {double(attributes.width), double(attributes.height)}};
}

// The top-level windows that show, bottom to top, as root rectangles (what a window manager's
// frames and the other top-level windows cover).
inline std::vector<platform::WindowPlacement> topLevelWindows(Display* display) {
  Window root = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<platform::WindowPlacement> shown;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
    return shown;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
    if (attributes.map_state != IsViewable || attributes.c_class != InputOutput) continue;
    shown.push_back({{{double(attributes.x + attributes.border_width),
                       double(attributes.y + attributes.border_width)},
                      {double(attributes.width), double(attributes.height)}},
                     attributes.depth != 32});
  }
  if (children) XFree(children);
  return shown;
}

// What shows of each top-level window within `area`, as the capture hands it over with a frame.
inline platform::WindowAreas windowAreasWithin(
    const std::vector<platform::WindowPlacement>& windows, const platform::Rect& area) {
  std::vector<platform::WindowPlacement> moved;
  for (auto window : windows) {
    window.bounds.origin.x -= area.minX();
    window.bounds.origin.y -= area.minY();
    moved.push_back(window);
  }
  const int width = static_cast<int>(area.width()), height = static_cast<int>(area.height());
  return platform::visibleWindowAreas(moved, width, height, width, height);
}

inline std::optional<std::string> instanceName(Display* display, Window window) {
  XClassHint hint{};
  if (!XGetClassHint(display, window, &hint)) return std::nullopt;
  std::string name = hint.res_name ? hint.res_name : "";
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return name;
}

inline std::optional<std::string> windowTitle(Display* display, Window window) {
  char* name = nullptr;
  if (!XFetchName(display, window, &name) || name == nullptr) return std::nullopt;
  std::string title = name;
  XFree(name);
  return title;
}

// The first window under `from` (itself included) that `wanted` accepts.
template <class Wanted>
std::optional<Window> findWindow(Display* display, Window from, const Wanted& wanted) {
  if (wanted(from)) return from;
  Window root = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, from, &root, &parent, &children, &count)) return std::nullopt;
  std::optional<Window> found;
  for (unsigned int i = 0; i < count && !found; ++i)
    found = findWindow(display, children[i], wanted);
  if (children) XFree(children);
  return found;
}

// The window whose WM_CLASS instance is `name`, anywhere under `from`.
inline std::optional<Window> findByInstance(Display* display, Window from,
                                            const std::string& name) {
  return findWindow(display, from,
                    [&](Window window) { return instanceName(display, window) == name; });
}

// The window titled `title`, anywhere under `from`.
inline std::optional<Window> findByTitle(Display* display, Window from, const std::string& title) {
  return findWindow(display, from,
                    [&](Window window) { return windowTitle(display, window) == title; });
}

}  // namespace corvane::testing::real_application
