#include "platform/x11/x11_window_states.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {
namespace {

void setWindowType(Display* display, Atom windowType, Window window, Atom type) {
  XChangeProperty(display, window, windowType, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&type), 1);
}

// Fully transparent for a compositing manager, or fully opaque. Opaque is said outright rather
// than by taking the property away: marco keeps the value it copied to the window's frame.
void setTransparent(Display* display, Atom opacityAtom, Window window, bool transparent) {
  const unsigned long opacity = transparent ? 0 : 0xFFFFFFFFul;
  XChangeProperty(display, window, opacityAtom, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&opacity), 1);
}

// Asks the window manager to lower the window within its layer: as the application (a configure
// request) and as a pager would (_NET_RESTACK_WINDOW), for managers that honour only one of them.
void askToLower(Display* display, Atom restackWindow, Window window) {
  XLowerWindow(display, window);
  XEvent restack{};
  restack.xclient.type = ClientMessage;
  restack.xclient.window = window;
  restack.xclient.message_type = restackWindow;
  restack.xclient.format = 32;
  restack.xclient.data.l[0] = 2;  // from a pager
  restack.xclient.data.l[1] = None;
  restack.xclient.data.l[2] = Below;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &restack);
}

}  // namespace

// Only requests that need no answer: the main actor never waits here, for the server or the
// window manager. Hiding again re-applies the hints (the toolkit may have written the window type
// anew meanwhile) without keeping the window twice. Shown again, the window is a normal one
// before anything raises it, whatever the keeper made of it.
void X11WindowStateHints::setShownLocally(std::uint32_t windowNumber, bool shown) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  if (shown) {
    if (hidden_.erase(window) == 0) return;
    setWindowType(display_, atoms_->netWmWindowType, window, atom(HintAtom::typeNormal));
    setTransparent(display_, atom(HintAtom::opacity), window, false);
    XFlush(display_);
    keeper_->release(window);
    return;
  }
  setTransparent(display_, atom(HintAtom::opacity), window, true);
  askToLower(display_, atom(HintAtom::restackWindow), window);
  XFlush(display_);
  hidden_.insert(window);
  if (!keeper_) keeper_ = std::make_unique<HiddenWindowKeeper>(DisplayString(display_));
  keeper_->keep(window);
}

}  // namespace corvane::platform::x11
