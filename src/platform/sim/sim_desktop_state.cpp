#include "platform/sim/sim_desktop_state.h"

#include <algorithm>
#include <utility>

namespace corvane::platform::sim {

const Screen* SimDesktopState::display(std::uint32_t displayID) const {
  auto it = std::find_if(displays.begin(), displays.end(),
                         [&](const Screen& s) { return s.displayID == displayID; });
  return it == displays.end() ? nullptr : &*it;
}

const SimApplication* SimDesktopState::application(std::int32_t processIdentifier) const {
  auto it = std::find_if(applications.begin(), applications.end(), [&](const SimApplication& a) {
    return a.info.processIdentifier == processIdentifier;
  });
  return it == applications.end() ? nullptr : &*it;
}

SimApplication* SimDesktopState::application(std::int32_t processIdentifier) {
  const auto* found = std::as_const(*this).application(processIdentifier);
  return const_cast<SimApplication*>(found);
}

const SimDesktopWindow* SimDesktopState::window(std::uint32_t windowID) const {
  auto it = std::find_if(windows.begin(), windows.end(),
                         [&](const SimDesktopWindow& w) { return w.id == windowID; });
  return it == windows.end() ? nullptr : &*it;
}

bool SimDesktopState::isOnScreen(const SimDesktopWindow& window) const {
  const SimApplication* owner = application(window.ownerProcessID);
  if (owner == nullptr || owner->info.isHidden) return false;
  return window.desktop < 0 || window.desktop == activeDesktop;
}

}  // namespace corvane::platform::sim
