#pragma once

#include <array>

#include "model/enum_coding.h"

namespace corvane::model {

// Whether the tray icon is usable: still being checked, available, or replaced by an ordinary
// taskbar window, because a tray keeps it out of sight (dockFallback) or because the desktop has
// no system tray at all (noSystemTray). Written by the tray watch into the controller and read by
// the setup checklist.
enum class MenuBarAccessState { checking, available, dockFallback, noSystemTray };

template <>
struct EnumCases<MenuBarAccessState> {
  static constexpr std::array cases{
      EnumCase<MenuBarAccessState>{MenuBarAccessState::checking, "checking"},
      EnumCase<MenuBarAccessState>{MenuBarAccessState::available, "available"},
      EnumCase<MenuBarAccessState>{MenuBarAccessState::dockFallback, "dockFallback"},
      EnumCase<MenuBarAccessState>{MenuBarAccessState::noSystemTray, "noSystemTray"},
  };
};

}  // namespace corvane::model
