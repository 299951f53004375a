#pragma once

// What taskbars, switchers and launchers show of a window: its title and its icon, here an icon of
// one colour that is easy to find wherever they draw it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/x11/xlib.h"

namespace corvane::testing {

// Names the window and gives it an icon of one colour, as an application does.
inline bool nameWithIcon(const std::string& displayName, unsigned long window,
                         const std::string& title, std::uint32_t rgb) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) return false;
  constexpr long kSide = 48;
  std::vector<long> icon{kSide, kSide};
  icon.resize(2 + kSide * kSide, static_cast<long>(0xFF000000u | rgb));
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(icon.data()),
                  static_cast<int>(icon.size()));
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                  XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  XSync(display, False);
  XCloseDisplay(display);
  return true;
}

// Whether a pixel is of the icon's colour: panels and switchers draw icons scaled, shaded or
// highlighted, a few steps off the colour they were given.
inline bool nearIconColour(unsigned long pixel, std::uint32_t rgb) {
  auto channel = [](unsigned long value, int shift) { return int((value >> shift) & 0xFF); };
  for (int shift : {16, 8, 0}) {
    if (std::abs(channel(pixel, shift) - channel(rgb, shift)) > 40) return false;
  }
  return true;
}

}  // namespace corvane::testing
