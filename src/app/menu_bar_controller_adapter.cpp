#include "app/menu_bar_controller_adapter.h"

#include "app/corvane_controller.h"
#include "app/menu_bar_popover_state.h"

namespace corvane::app {

MenuBarControllerAdapter::MenuBarControllerAdapter(std::shared_ptr<CorvaneController> controller)
    : controller_(std::move(controller)) {}

menubar::MenuBarPopoverInput MenuBarControllerAdapter::menuBarPopoverInput() const {
  return app::menuBarPopoverInput(*controller_);
}

bool MenuBarControllerAdapter::isDemoModeOn() const {
  return controller_->isDemoModeOn();
}

runtime::Subscription MenuBarControllerAdapter::observeChanges(std::function<void()> observer) {
  return controller_->observeChanges(std::move(observer));
}

model::MenuBarAccessState MenuBarControllerAdapter::menuBarAccessState() const {
  return controller_->menuBarAccessState();
}

void MenuBarControllerAdapter::setMenuBarAccessState(model::MenuBarAccessState state) {
  controller_->setMenuBarAccessState(state);
}

void MenuBarControllerAdapter::toggleDemoMode() {
  controller_->toggleDemoMode();
}

void MenuBarControllerAdapter::stopDemoMode() {
  controller_->stopDemoMode();
}

void MenuBarControllerAdapter::openProtectedShareWindow() {
  controller_->openProtectedShareWindow();
}

void MenuBarControllerAdapter::showProtectedShareLiveWindow() {
  controller_->showProtectedShareLiveWindow();
}

void MenuBarControllerAdapter::requestHideProtectedShareWindowLocally() {
  controller_->requestHideProtectedShareWindowLocally();
}

void MenuBarControllerAdapter::requestScreenRecordingPermission() {
  controller_->requestScreenRecordingPermission();
}

void MenuBarControllerAdapter::restartCorvane() {
  controller_->restartCorvane();
}

void MenuBarControllerAdapter::retrySourceContextTransition() {
  controller_->retrySourceContextTransition();
}

}  // namespace corvane::app
