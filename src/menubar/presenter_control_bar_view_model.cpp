#include "menubar/presenter_control_bar_view_model.h"

#include "menubar/presenter_control_bar_state.h"

namespace corvane::menubar {

using model::Palette;

PresenterControlBarViewInput PresenterControlBarViewInput::from(
    const PresenterControlBarState& state) {
  PresenterControlBarViewInput input;
  input.mode = state.mode.value();
  input.isCollapsed = state.isCollapsed.value();
  input.isPreviewHidden = state.isPreviewHidden.value();
  input.isPreviewActualSize = state.isPreviewActualSize.value();
  input.hasPreviewVisibilityAction = static_cast<bool>(state.previewVisibilityAction);
  input.hasFitPreviewAction = static_cast<bool>(state.fitPreviewAction);
  input.hasActualSizePreviewAction = static_cast<bool>(state.actualSizePreviewAction);
  input.hasMovePreviewAction = static_cast<bool>(state.movePreviewAction);
  return input;
}

std::string PresenterControlBarViewModel::statusSymbol() const {
  if (input_.mode.isPreparing()) return "rectangle.dashed.badge.record";
  if (input_.mode.isSourceSealed()) return "lock.shield.fill";
  const auto& live = *input_.mode.live();
  if (live.isSpaceRecoveryRequired) return "exclamationmark.triangle.fill";
  if (live.isSwitchingSpace) return "arrow.left.and.right.circle.fill";
  return "checkmark.shield.fill";
}

model::Color PresenterControlBarViewModel::statusTint() const {
  if (input_.mode.isPreparing()) return Palette::privacyGreen();
  if (input_.mode.isSourceSealed()) return Palette::warningAmber();
  // A live tint follows the desktop switch alone.
  return input_.mode.live()->isSwitchingSpace ? Palette::warningAmber() : Palette::privacyGreen();
}

PresenterControlBarControl PresenterControlBarViewModel::primaryControl() const {
  if (input_.mode.isPreparing()) return {true, "xmark", "Cancel", "Cancel"};
  if (input_.mode.isSourceSealed()) return {true, "arrow.counterclockwise", "Stop", "Stop"};
  return {true, "stop.fill", "Stop", "Stop"};
}

PresenterControlBarTextStyle PresenterControlBarViewModel::subtitleStyle() const {
  const auto* live = input_.mode.live();
  if (live != nullptr && (live->isHoldingExcludedApp || live->isSwitchingSpace)) {
    return PresenterControlBarTextStyle::warningAmber;
  }
  return PresenterControlBarTextStyle::secondary;
}

bool PresenterControlBarViewModel::showsPreviewControls() const {
  return input_.mode.live() != nullptr && !input_.isPreviewHidden;
}

PresenterControlBarControl PresenterControlBarViewModel::previewSizeMenu() const {
  const bool shown =
      showsPreviewControls() && input_.hasFitPreviewAction && input_.hasActualSizePreviewAction;
  if (input_.isPreviewActualSize) return {shown, "", "100%", "Preview size, actual size"};
  return {shown, "", "Fit", "Preview size, fit"};
}

std::vector<PresenterControlBarMenuItem> PresenterControlBarViewModel::previewSizeMenuItems()
    const {
  // No check marks: the current choice shows only in the menu's label.
  return {{"Fit Preview", "viewfinder"}, {"Actual Size (100%)", "1.magnifyingglass"}};
}

PresenterControlBarControl PresenterControlBarViewModel::movePreviewControl() const {
  return {showsPreviewControls() && input_.hasMovePreviewAction,
          "arrow.up.and.down.and.arrow.left.and.right", "", "Move Preview"};
}

PresenterControlBarControl PresenterControlBarViewModel::previewVisibilityControl() const {
  const bool shown = input_.mode.live() != nullptr && input_.hasPreviewVisibilityAction;
  if (input_.isPreviewHidden) return {shown, "eye", "", "Show Preview"};
  return {shown, "eye.slash", "", "Hide Preview"};
}

PresenterControlBarControl PresenterControlBarViewModel::secondaryControl() const {
  // Drawn whether or not its action is set.
  const auto* live = input_.mode.live();
  if (live == nullptr) return {};
  if (live->isSpaceRecoveryRequired) {
    return {true, "arrow.clockwise", "", "Retry active desktop update"};
  }
  if (live->isSwitchingSpace) return {};
  if (live->isPaused) return {true, "play.fill", "", "Resume protected output"};
  return {true, "pause.fill", "", "Pause on the current frame"};
}

PresenterControlBarControl PresenterControlBarViewModel::collapseControl() const {
  return {true, "arrow.down.right.and.arrow.up.left", "", "Collapse controls"};
}

std::string PresenterControlBarViewModel::statusWord() const {
  if (input_.mode.isPreparing()) return "Preparing";
  if (input_.mode.isSourceSealed()) return "Attention";
  const auto& live = *input_.mode.live();
  if (live.isSpaceRecoveryRequired) return "Retry update";
  if (live.isSwitchingSpace) return "Switching";
  if (live.isPaused) return "Paused";
  if (live.isHoldingExcludedApp) return "Excluded";
  return "Live";
}

PresenterControlBarControl PresenterControlBarViewModel::expandControl() const {
  return {true, "arrow.up.left.and.arrow.down.right", "", "Expand controls"};
}

PresenterControlBarControl PresenterControlBarViewModel::compactStopControl() const {
  auto control = primaryControl();
  control.title.clear();  // symbol only
  return control;
}

}  // namespace corvane::menubar
