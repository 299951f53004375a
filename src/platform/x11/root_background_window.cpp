#include "platform/x11/root_background_window.h"

#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

namespace {

// Where the window lies, past the root's right edge: the screen's width times the largest power of
// two that keeps it within X's coordinates. A background tile repeats from the root's corner, so
// the window shows at each of its pixels what the root shows at the same pixel, for every tile
// whose width divides that offset: a tile of the screen's width, and one of any power of two up
// to the multiple.
int offScreenX(int rootWidth) {
  constexpr int kLargestCoordinate = 32767;
  int multiple = 1;
  while (rootWidth * (2 * multiple + 1) <= kLargestCoordinate) multiple *= 2;
  return rootWidth * multiple;
}

}  // namespace

RootBackgroundWindow::RootBackgroundWindow(Display* display, Visual* visual, int depth,
                                           XRenderPictFormat* format, std::uint32_t fallback)
    : display_(display) {
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
  if (format == nullptr || depth != DefaultDepth(display, screen) || 2 * width > 32767) return;
  ErrorTrap trap(display);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = ParentRelative;
  attributes.override_redirect = True;
  window_ = XCreateWindow(display, root, offScreenX(width), 0, width, height, 0, depth, InputOutput,
                          visual, CWBackPixmap | CWOverrideRedirect, &attributes);
  // Redirected, it keeps whole contents of its own though no part of it is on the screen.
  XCompositeRedirectWindow(display, window_, CompositeRedirectAutomatic);
  XMapWindow(display, window_);
  // Its pixmap starts with whatever memory it was given: filled over at once, whole (drawing into
  // the window is clipped where the server keeps none of it), before anything reads it, it holds
  // only the fill and the root's background.
  pixmap_ = XCompositeNameWindowPixmap(display, window_);
  GC gc = XCreateGC(display, pixmap_, 0, nullptr);
  XSetForeground(display, gc, fallback & 0xFFFFFF);
  XFillRectangle(display, pixmap_, gc, 0, 0, width, height);
  XFreeGC(display, gc);
  picture_ = XRenderCreatePicture(display, pixmap_, format, 0, nullptr);
  if (!trap.sync()) {
    release();
    trap.sync();
  }
}

void RootBackgroundWindow::release() {
  if (picture_ != None) XRenderFreePicture(display_, picture_);
  if (pixmap_ != None) XFreePixmap(display_, pixmap_);
  if (window_ != None) XDestroyWindow(display_, window_);
  abandon();
}

RootBackgroundWindow::~RootBackgroundWindow() {
  if (window_ == None) return;
  ErrorTrap trap(display_);
  release();
  trap.sync();
}

Picture RootBackgroundWindow::paint(int x, int y, int width, int height) {
  if (picture_ != None) XClearArea(display_, window_, x, y, width, height, False);
  return picture_;
}

void RootBackgroundWindow::abandon() {
  window_ = None;
  pixmap_ = None;
  picture_ = None;
}

}  // namespace corvane::platform::x11
