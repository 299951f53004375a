#pragma once

#include <functional>

#include "menubar/menu_bar_popover_input.h"
#include "model/menu_bar_access_state.h"
#include "runtime/subscription.h"

namespace corvane::menubar {

// What the tray icon, its visibility watch and its popover need of the application controller.
// The controller implements it; the tray code calls it on the main actor only.
class MenuBarController {
 public:
  virtual ~MenuBarController() = default;

  // ---- State -----------------------------------------------------------------------------------
  // What the popover shows, read afresh.
  virtual MenuBarPopoverInput menuBarPopoverInput() const = 0;
  virtual bool isDemoModeOn() const = 0;
  // Runs `observer` on the turn after any change of the controller's published state.
  virtual runtime::Subscription observeChanges(std::function<void()> observer) = 0;
  // Whether the tray icon is usable; the watch writes it.
  virtual model::MenuBarAccessState menuBarAccessState() const = 0;
  virtual void setMenuBarAccessState(model::MenuBarAccessState state) = 0;

  // ---- Actions the popover calls ---------------------------------------------------------------
  // Starts a session when none runs, stops the running one otherwise.
  virtual void toggleDemoMode() = 0;
  virtual void stopDemoMode() = 0;
  virtual void openProtectedShareWindow() = 0;
  virtual void showProtectedShareLiveWindow() = 0;
  virtual void requestHideProtectedShareWindowLocally() = 0;
  virtual void requestScreenRecordingPermission() = 0;
  virtual void restartCorvane() = 0;
  virtual void retrySourceContextTransition() = 0;
};

}  // namespace corvane::menubar
