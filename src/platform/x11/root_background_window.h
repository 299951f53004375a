#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>

namespace corvane::platform::x11 {

// The root window's own background as the screen paints it where no window is (the colour
// `xsetroot -solid` sets, or a pattern a program gave the root without naming it as the desktop's
// picture): X11 lets no client read it, so a window of ours that takes its background from the
// root (ParentRelative) is painted with it. The window lies past the screen's right edge, so it
// never shows, and is redirected, so it keeps whole contents all the same. It holds nothing but
// what this process fills it with and the root's background: where the root has none, the
// `fallback` colour.
class RootBackgroundWindow {
 public:
  // Nothing is made on a screen too wide to place the window past its edge: paint() then gives
  // None.
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
  // Frees what was made, as far as it was.
  void release();

  Display* display_;
  Window window_ = None;
  Pixmap pixmap_ = None;  // the window's, named
  Picture picture_ = None;
};

}  // namespace corvane::platform::x11
