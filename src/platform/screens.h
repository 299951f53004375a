#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "runtime/subscription.h"

namespace corvane::platform {

// One monitor. frame and visibleFrame are in desktop points (top-left origin); visibleFrame
// leaves out panels and docks (the work area).
struct Screen {
  std::uint32_t displayID = 0;
  std::string name;
  Rect frame;
  Rect visibleFrame;
  double backingScaleFactor = 1.0;
  bool isMain = false;

  bool operator==(const Screen&) const = default;
};

class Screens {
 public:
  virtual ~Screens() = default;
  virtual std::vector<Screen> screens() const = 0;
  std::optional<Screen> mainScreen() const;
  std::optional<Screen> screen(std::uint32_t displayID) const;
  // Called on the main actor after monitors are added, removed, moved or resized.
  virtual runtime::Subscription observeChanges(std::function<void()> observer) = 0;
};

inline std::optional<Screen> Screens::mainScreen() const {
  auto all = screens();
  for (const auto& s : all) {
    if (s.isMain) return s;
  }
  if (!all.empty()) return all.front();
  return std::nullopt;
}

inline std::optional<Screen> Screens::screen(std::uint32_t displayID) const {
  for (const auto& s : screens()) {
    if (s.displayID == displayID) return s;
  }
  return std::nullopt;
}

}  // namespace corvane::platform
