#include "menubar/menu_bar_popover_actions.h"

#include "menubar/menu_bar_popover_view_model.h"
#include "runtime/main_actor.h"

namespace corvane::menubar {

MenuBarPopoverActions::MenuBarPopoverActions(std::weak_ptr<MenuBarController> controller,
                                             std::function<void()> showSetup,
                                             std::function<void()> showSettings)
    : controller_(std::move(controller)),
      showSetup_(std::move(showSetup)),
      showSettings_(std::move(showSettings)) {}

void MenuBarPopoverActions::primary() const {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  switch (MenuBarPopoverViewModel(controller->menuBarPopoverInput()).primaryClick()) {
    case PrimaryClick::nothing:
      return;
    case PrimaryClick::showSetup:
      showSetup();
      return;
    case PrimaryClick::openWindowThenToggle:
      controller->openProtectedShareWindow();
      controller->toggleDemoMode();
      return;
    case PrimaryClick::toggle:
      controller->toggleDemoMode();
      return;
  }
}

void MenuBarPopoverActions::stop() const {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller || controller->menuBarPopoverInput().isProtectedShareStopping) return;
  controller->stopDemoMode();
}

void MenuBarPopoverActions::localVisibility() const {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  const MenuBarPopoverViewModel model(controller->menuBarPopoverInput());
  if (!model.localVisibilityActionIsEnabled()) return;
  switch (model.localVisibilityAction()) {
    case LocalVisibilityAction::showLiveWindow:
      controller->showProtectedShareLiveWindow();
      return;
    case LocalVisibilityAction::requestHideLocally:
      controller->requestHideProtectedShareWindowLocally();
      return;
    case LocalVisibilityAction::openWindow:
      controller->openProtectedShareWindow();
      return;
  }
}

void MenuBarPopoverActions::openPreview() const {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  if (!MenuBarPopoverViewModel(controller->menuBarPopoverInput()).isFooterPreviewItemEnabled()) {
    return;
  }
  controller->openProtectedShareWindow();
}

void MenuBarPopoverActions::grantScreenRecording() const {
  runtime::assertMainActor();
  if (auto controller = controller_.lock()) controller->requestScreenRecordingPermission();
}

void MenuBarPopoverActions::restart() const {
  runtime::assertMainActor();
  if (auto controller = controller_.lock()) controller->restartCorvane();
}

void MenuBarPopoverActions::retrySpaceUpdate() const {
  runtime::assertMainActor();
  if (auto controller = controller_.lock()) controller->retrySourceContextTransition();
}

void MenuBarPopoverActions::showSetup() const {
  runtime::assertMainActor();
  if (showSetup_) showSetup_();
}

void MenuBarPopoverActions::showSettings() const {
  runtime::assertMainActor();
  if (showSettings_) showSettings_();
}

}  // namespace corvane::menubar
