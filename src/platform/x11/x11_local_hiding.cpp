#include "platform/x11/x11_window_states.h"

namespace corvane::platform::x11 {

// The keeper makes every request, in the order asked: the main actor never waits here, for the
// server or the window manager. Hiding again re-applies what hides the window (the toolkit may
// have written its hints anew meanwhile) without keeping it twice.
void X11WindowStateHints::setShownLocally(std::uint32_t windowNumber, bool shown) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  if (shown) {
    if (hidden_.erase(window) == 0) return;
    keeper_->show(window);
    return;
  }
  hidden_.insert(window);
  if (!keeper_) keeper_ = std::make_unique<HiddenWindowKeeper>(DisplayString(display_));
  keeper_->hide(window);
}

}  // namespace corvane::platform::x11
