#include "share_window/protected_share_window_view_model.h"

#include <cmath>

namespace corvane::share_window {

using P = ProtectedSharePresentation;
using S = ProtectedShareWindowStatus;

bool ProtectedShareWindowViewModel::isSession() const {
  return input_.presentation == P::sessionWaiting || input_.presentation == P::live ||
         input_.presentation == P::liveHidden;
}

bool ProtectedShareWindowViewModel::isLiveVisible() const {
  return input_.presentation == P::live;
}

bool ProtectedShareWindowViewModel::drawsOutput() const {
  return input_.presentation == P::live || input_.presentation == P::liveHidden;
}

std::string ProtectedShareWindowViewModel::placeholderTitle() const {
  switch (input_.presentation) {
    case P::sessionWaiting:
      return "Waiting for the first filtered frame";
    case P::live:
    case P::liveHidden:
      return "";
    case P::none:
    case P::preview:
      break;
  }
  return "Protected Share is off";
}

std::string ProtectedShareWindowViewModel::placeholderDetail() const {
  switch (input_.presentation) {
    case P::sessionWaiting:
      return "Nothing is shown until Corvane has filtered the display.";
    case P::live:
    case P::liveHidden:
      return "";
    case P::none:
    case P::preview:
      break;
  }
  return "Start Protected Share, then share the window \xE2\x80\x9C" +
         std::string(kProtectedShareWindowTitle) + "\xE2\x80\x9D in your meeting app.";
}

std::string ProtectedShareWindowViewModel::statusTitle() const {
  switch (input_.accessory.status) {
    case S::off:
      return "Protected Share off";
    case S::waitingForFirstFrame:
      return "Waiting for the first filtered frame";
    case S::live:
      return "Live";
    case S::paused:
      return "Paused on the current frame";
    case S::holding:
      return "Holding the last safe frame";
    case S::checkingChanges:
      return "Applying the app filter; holding the current frame";
    case S::switchingDesktop:
      return "Switching desktop; holding the current frame";
    case S::recoveryNeeded:
      return "Waiting for the active desktop";
    case S::recordingMustRestart:
      return "The screen size changed: restart the recording of this window";
    case S::failed:
      return "Protected Share stopped";
  }
  return "";
}

std::string ProtectedShareWindowViewModel::statusSymbol() const {
  switch (input_.accessory.status) {
    case S::off:
      return "shield";
    case S::waitingForFirstFrame:
      return "rectangle.dashed.badge.record";
    case S::live:
      return "checkmark.shield.fill";
    case S::paused:
      return "pause.fill";
    case S::holding:
      return "lock.shield.fill";
    case S::checkingChanges:
      return "arrow.triangle.2.circlepath";
    case S::switchingDesktop:
      return "arrow.left.and.right.circle.fill";
    case S::recoveryNeeded:
    case S::recordingMustRestart:
      return "exclamationmark.triangle.fill";
    case S::failed:
      return "xmark.circle.fill";
  }
  return "";
}

StatusColor ProtectedShareWindowViewModel::statusColor() const {
  switch (input_.accessory.status) {
    case S::off:
      return StatusColor::secondary;
    case S::waitingForFirstFrame:
    case S::live:
      return StatusColor::privacyGreen;
    case S::paused:
    case S::holding:
    case S::checkingChanges:
    case S::switchingDesktop:
    case S::recoveryNeeded:
    case S::recordingMustRestart:
      return StatusColor::warningAmber;
    case S::failed:
      return StatusColor::criticalRed;
  }
  return StatusColor::secondary;
}

std::string ProtectedShareWindowViewModel::resolutionText() const {
  auto size = input_.accessory.resolution;
  if (!size.isPositive()) size = input_.viewport.pixelSize;
  if (!size.isPositive()) return "";
  return std::to_string(static_cast<long long>(std::lround(size.width))) + " \xC3\x97 " +
         std::to_string(static_cast<long long>(std::lround(size.height)));
}

ButtonModel ProtectedShareWindowViewModel::fitButton() const {
  return {"Fit",
          "arrow.down.right.and.arrow.up.left",
          isLiveVisible(),
          isSession(),
          input_.viewport.sizingMode == ProtectedShareSizingMode::fit,
          "Fit Preview (Ctrl+9)"};
}

ButtonModel ProtectedShareWindowViewModel::actualSizeButton() const {
  return {"100%",
          "arrow.up.left.and.arrow.down.right",
          isLiveVisible(),
          isSession(),
          input_.viewport.sizingMode == ProtectedShareSizingMode::actual,
          "Actual Size (100%) (Ctrl+0)"};
}

ButtonModel ProtectedShareWindowViewModel::moveButton() const {
  return {"Move",          "arrow.up.and.down.and.arrow.left.and.right",
          isLiveVisible(), isSession(),
          false,           "Move Preview (Ctrl+Alt+M)"};
}

ButtonModel ProtectedShareWindowViewModel::pauseButton() const {
  const auto status = input_.accessory.status;
  const bool paused = status == S::paused;
  // Pausing means nothing while the output is held for a desktop switch or has failed.
  const bool enabled = drawsOutput() && status != S::failed && status != S::switchingDesktop &&
                       status != S::recoveryNeeded;
  return {paused ? "Resume" : "Pause",
          paused ? "play.fill" : "pause.fill",
          enabled,
          isSession(),
          false,
          paused ? "Resume protected output (Ctrl+Alt+Space)"
                 : "Pause on the current frame (Ctrl+Alt+Space)"};
}

ButtonModel ProtectedShareWindowViewModel::hideButton() const {
  const bool enabled = isLiveVisible() && input_.accessory.status != S::failed &&
                       !input_.directShareTestState.retainsOutput();
  return {"Hide on This Screen", "eye.slash", enabled,
          isSession(),           false,       "Hide Preview (Ctrl+Alt+P)"};
}

ButtonModel ProtectedShareWindowViewModel::primaryButton() const {
  if (isSession()) return {"Stop", "stop.fill", true, true, false, "Stop (Ctrl+Alt+S)"};
  return {"Start Protected Share",
          "play.fill",
          !input_.directShareTestState.retainsOutput(),
          true,
          false,
          "Start Protected Share"};
}

StatusColor ProtectedShareWindowViewModel::primaryTint() const {
  return isSession() ? StatusColor::criticalRed : StatusColor::privacyGreen;
}

}  // namespace corvane::share_window
