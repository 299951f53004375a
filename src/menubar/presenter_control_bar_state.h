#pragma once

#include <functional>

#include "menubar/presenter_control_bar_mode.h"
#include "runtime/published.h"

namespace corvane::menubar {

// One of the bar's actions; empty when the bar offers nothing there.
using PresenterControlBarAction = std::function<void()>;

// What the bar shows and the actions its controls call. The manager creates one for its whole
// life and fills it on every show; the view observes the published fields and reads an action
// when its control is pressed. Main actor only.
class PresenterControlBarState {
 public:
  runtime::Published<PresenterControlBarMode> mode{PresenterControlBarMode::preparing()};
  // The compact bar instead of the full one.
  runtime::Published<bool> isCollapsed{false};
  // The local preview window is hidden (the Show/Hide Preview control's label).
  runtime::Published<bool> isPreviewHidden{false};
  // The preview is at actual size rather than fitted (the size menu's label).
  runtime::Published<bool> isPreviewActualSize{false};

  PresenterControlBarAction previewVisibilityAction;
  PresenterControlBarAction fitPreviewAction;
  PresenterControlBarAction actualSizePreviewAction;
  PresenterControlBarAction movePreviewAction;
  // Pause or resume, or retry the desktop update.
  PresenterControlBarAction secondaryAction;
  // A slot the controller always leaves empty; no control calls it.
  PresenterControlBarAction reviewAction;
  // Stop (or cancel) the session.
  PresenterControlBarAction primaryAction;
  PresenterControlBarAction collapseAction;
  // Move the bar to the next screen corner.
  PresenterControlBarAction repositionAction;
};

// Calls the action when it is set; an empty slot makes the press do nothing.
inline void perform(const PresenterControlBarAction& action) {
  if (action) action();
}

}  // namespace corvane::menubar
