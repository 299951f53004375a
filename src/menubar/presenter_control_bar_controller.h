#pragma once

#include <functional>
#include <memory>

#include "menubar/presenter_control_bar_state.h"

namespace corvane::menubar {

// The session actions the presenter control bar's controls stand for. The application controller
// implements them and decides, on each bar refresh, which of them the bar offers; the bar itself
// only calls the actions it was given. Main actor only.
class PresenterControlBarController {
 public:
  virtual ~PresenterControlBarController() = default;

  // Show/Hide Preview: brings the hidden live preview back, or asks to hide it on this screen.
  virtual void showProtectedShareLiveWindow() = 0;
  virtual void requestHideProtectedShareWindowLocally() = 0;
  // The size menu and Move Preview.
  virtual void fitProtectedSharePreview() = 0;
  virtual void showProtectedSharePreviewAtActualSize() = 0;
  virtual void moveProtectedSharePreviewToNextCorner() = 0;
  // The secondary control: pause or resume publishing, or retry a failed desktop update.
  virtual void togglePublishingPaused() = 0;
  virtual void retrySourceContextTransition() = 0;
  // Stop, or Cancel while preparing.
  virtual void stopDemoMode() = 0;
};

// An action that calls `method` on the controller while it exists and does nothing once it is
// gone.
inline PresenterControlBarAction barAction(std::weak_ptr<PresenterControlBarController> controller,
                                           void (PresenterControlBarController::*method)()) {
  return [controller = std::move(controller), method] {
    if (auto strong = controller.lock()) (strong.get()->*method)();
  };
}

}  // namespace corvane::menubar
