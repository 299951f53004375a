#pragma once

#include <functional>
#include <memory>

#include "menubar/menu_bar_controller.h"

namespace corvane::menubar {

// What the popover's buttons do. Each action reads the controller's state at the moment of the
// click, so a click on a control that has just become disabled does nothing. The controller is
// held weakly: once it is gone every action does nothing. Main actor only.
class MenuBarPopoverActions {
 public:
  MenuBarPopoverActions(std::weak_ptr<MenuBarController> controller,
                        std::function<void()> showSetup, std::function<void()> showSettings);

  // The primary control: setup while setup is incomplete; when idle, the Protected Share window
  // and then the start; when live, the stop.
  void primary() const;
  // The "Stop" of the desktop-recovery row and the "Restore" tile: nothing while a stop runs.
  void stop() const;
  void restore() const { stop(); }
  // The first tile: show the hidden preview, hide it, or open the window.
  void localVisibility() const;
  // The footer's "Open Preview" (nothing while it is disabled).
  void openPreview() const;
  void grantScreenRecording() const;
  void restart() const;
  void retrySpaceUpdate() const;
  void showSetup() const;
  void showSettings() const;

 private:
  std::weak_ptr<MenuBarController> controller_;
  std::function<void()> showSetup_;
  std::function<void()> showSettings_;
};

}  // namespace corvane::menubar
