#include "platform/x11/root_background_window.h"

#include "platform/x11/window_model.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

RootBackgroundWindow::RootBackgroundWindow(Display* display, Visual* visual, int depth,
                                           XRenderPictFormat* format, std::uint32_t fallback)
    : display_(display) {
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  if (format == nullptr || depth != DefaultDepth(display, screen)) return;
  ErrorTrap trap(display);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = ParentRelative;
  attributes.override_redirect = True;
  window_ = XCreateWindow(display, root, 0, 0, DisplayWidth(display, screen),
                          DisplayHeight(display, screen), 0, depth, InputOutput, visual,
                          CWBackPixmap | CWOverrideRedirect, &attributes);
  // Off the screen before it is ever mapped: only one client may redirect a window this way.
  XCompositeRedirectWindow(display, window_, CompositeRedirectManual);
  XserverRegion noInput = XFixesCreateRegion(display, nullptr, 0);
  XFixesSetWindowShapeRegion(display, window_, ShapeInput, 0, 0, noInput);
  XFixesDestroyRegion(display, noInput);
  if (!trap.sync()) {
    XDestroyWindow(display, window_);
    window_ = None;
    trap.sync();
    return;
  }
  XMapWindow(display, window_);
  XLowerWindow(display, window_);
  // Its pixmap may start as a copy of what the screen shows there: filled over at once, before
  // anything reads it, it holds only the fill and the root's background.
  GC gc = XCreateGC(display, window_, 0, nullptr);
  XSetForeground(display, gc, fallback & 0xFFFFFF);
  XFillRectangle(display, window_, gc, 0, 0, DisplayWidth(display, screen),
                 DisplayHeight(display, screen));
  XFreeGC(display, gc);
  picture_ = XRenderCreatePicture(display, window_, format, 0, nullptr);
  if (!trap.sync()) {
    if (picture_ != None) XRenderFreePicture(display, picture_);
    XDestroyWindow(display, window_);
    window_ = None;
    picture_ = None;
    trap.sync();
  }
}

RootBackgroundWindow::~RootBackgroundWindow() {
  if (window_ == None) return;
  ErrorTrap trap(display_);
  XRenderFreePicture(display_, picture_);
  XDestroyWindow(display_, window_);
  trap.sync();
}

Picture RootBackgroundWindow::paint(int x, int y, int width, int height) {
  if (picture_ != None) XClearArea(display_, window_, x, y, width, height, False);
  return picture_;
}

void RootBackgroundWindow::abandon() {
  window_ = None;
  picture_ = None;
}

}  // namespace corvane::platform::x11
