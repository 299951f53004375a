#pragma once

#include <memory>

#include "share_window/keyboard_command.h"

namespace corvane::capture {
class ProtectedOutputSurface;
}

namespace corvane::share_window {

// What the output window needs from the application controller. The controller implements it;
// the window holds it weakly and only calls it on the main actor.
class ProtectedShareWindowController {
 public:
  virtual ~ProtectedShareWindowController() = default;

  // The surface the window draws: the capture engine's output.
  virtual std::shared_ptr<capture::ProtectedOutputSurface> protectedOutputSurface() = 0;

  // One of the six window shortcuts or the matching button.
  virtual void handleKeyboardCommand(ProtectedShareKeyboardCommand command) = 0;
  // Starts a session when none runs, stops the running one otherwise (the preview's button).
  virtual void toggleDemoMode() = 0;
  virtual void stopDemoMode() = 0;
  virtual void togglePublishingPaused() = 0;
  // Hides the live preview on this screen after the user confirms that sharing has started.
  virtual void requestHideProtectedShareWindowLocally() = 0;
  virtual void showProtectedShareLiveWindow() = 0;
};

}  // namespace corvane::share_window
