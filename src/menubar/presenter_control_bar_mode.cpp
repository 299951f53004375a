#include "menubar/presenter_control_bar_mode.h"

namespace corvane::menubar {

std::string PresenterControlBarMode::title() const {
  if (isPreparing()) return "Preparing Protected Share";
  if (isSourceSealed()) return "Protected Share interrupted";
  const auto& mode = *live();
  if (mode.isSpaceRecoveryRequired) return "Desktop update needs attention";
  if (mode.isSwitchingSpace) return "Switching desktop";
  if (mode.isPaused) return "Protected Share paused";
  if (mode.isHoldingExcludedApp) return mode.interactionTarget + " excluded";
  return "Protected Share live";
}

std::string PresenterControlBarMode::subtitle() const {
  if (isPreparing()) return "Connecting the filtered display";
  if (isSourceSealed()) return "Protected output unavailable";
  const auto& mode = *live();
  if (mode.isSpaceRecoveryRequired || mode.isSwitchingSpace) return "Last protected frame held";
  if (mode.isHoldingExcludedApp) return mode.interactionTarget + " excluded from Protected Share";
  return "Filtered display live";
}

std::string PresenterControlBarMode::statusSummary() const {
  if (isPreparing()) return "Filtered capture is connecting";
  if (isSourceSealed()) return "Stop and restart the session";
  const auto& mode = *live();
  if (mode.isSpaceRecoveryRequired) return "Retry the desktop update or stop sharing";
  if (mode.isSwitchingSpace) return "Updating the active desktop";
  // One plural for every count, 0 and 1 included.
  return std::to_string(mode.excludedAppCount) + " apps excluded";
}

}  // namespace corvane::menubar
