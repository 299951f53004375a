#pragma once

namespace corvane::model {

// What the menu-bar watch found out about the tray item, recorded for QA runs.
struct MenuBarStatusItemState {
  bool created = false;
  bool visible = false;
  bool buttonAttached = false;
  bool windowVisible = false;
  bool onscreen = false;
  bool unobscured = false;

  // All six hold.
  bool isReady() const {
    return created && visible && buttonAttached && windowVisible && onscreen && unobscured;
  }

  bool operator==(const MenuBarStatusItemState&) const = default;
};

}  // namespace corvane::model
