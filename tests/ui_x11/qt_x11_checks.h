#pragma once

// Include after every Qt header: Xlib's macros clash with Qt's names.
#include <QtGui/qwindowdefs.h>

#include <optional>
#include <string>
#include <vector>

#include "main/qt_x11_display.h"
#include "platform/x11/x11_window_states.h"

namespace corvane::ui::testing {

// What the X server holds for a Qt window, read on Qt's own connection.
inline bool isX11Session() {
  return wiring::qtX11Display() != nullptr;
}
inline bool isViewableOnX11(WId window) {
  Display* display = wiring::qtX11Display();
  return display != nullptr && platform::x11::isViewable(display, static_cast<Window>(window));
}
inline std::vector<std::string> netWmStatesOnX11(WId window) {
  Display* display = wiring::qtX11Display();
  if (display == nullptr) return {};
  return platform::x11::netWmStateNames(display, static_cast<Window>(window));
}
inline std::optional<unsigned long> desktopOnX11(WId window) {
  Display* display = wiring::qtX11Display();
  if (display == nullptr) return std::nullopt;
  return platform::x11::windowDesktop(display, static_cast<Window>(window));
}

}  // namespace corvane::ui::testing
