#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>

namespace corvane::platform::x11 {

// The root window's own background as the screen paints it where no window is (the colour
// `xsetroot -solid` sets, or the pixmap a program gave the root without naming it as the desktop
// background): X11 lets no client read it, so a window of ours that takes its background from the
// root (ParentRelative) is painted with it. The window is redirected to a pixmap of its own, so it
// never shows on the screen, lies beneath every other window and takes no input. It holds nothing
// but what this process fills it with and the root's background: where the root has none, the
// `fallback` colour.
class RootBackgroundWindow {
 public:
  // Nothing is made where the window cannot be kept off the screen (another client redirects the
  // root's windows itself, as a compositing manager does): picture() then stays None.
  RootBackgroundWindow(Display* display, Visual* visual, int depth, XRenderPictFormat* format,
                       std::uint32_t fallback);
  ~RootBackgroundWindow();
  RootBackgroundWindow(const RootBackgroundWindow&) = delete;
  RootBackgroundWindow& operator=(const RootBackgroundWindow&) = delete;

  // Paints the root's background again within that rectangle of the root (it may have changed
  // since) and gives the picture to draw it from; None when there is none.
  Picture paint(int x, int y, int width, int height);
  // Forgets the server resources without asking the server (after the connection was lost).
  void abandon();

 private:
  Display* display_;
  Window window_ = None;
  Picture picture_ = None;
};

}  // namespace corvane::platform::x11
