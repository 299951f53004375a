#include "app/application_window_manager.h"

#include "runtime/main_actor.h"

namespace corvane::app {

ApplicationWindowManager::ApplicationWindowManager(
    std::shared_ptr<platform::WindowSystem> windowSystem, SetupWindowContentFactory setupContent,
    SettingsWindowContentFactory settingsContent)
    : windowSystem_(std::move(windowSystem)),
      setupContent_(std::move(setupContent)),
      settingsContent_(std::move(settingsContent)) {}

void ApplicationWindowManager::showSetup(const std::shared_ptr<CorvaneController>& controller) {
  runtime::assertMainActor();
  if (!setupWindow_) setupWindow_ = makeSetupWindow(controller);
  bringForward(*setupWindow_);
}

void ApplicationWindowManager::showSettings(const std::shared_ptr<CorvaneController>& controller) {
  runtime::assertMainActor();
  if (!settingsWindow_) settingsWindow_ = makeSettingsWindow(controller);
  bringForward(*settingsWindow_);
}

bool ApplicationWindowManager::hasVisibleWindow() const {
  return (setupWindow_ && setupWindow_->isVisible()) ||
         (settingsWindow_ && settingsWindow_->isVisible());
}

// A titled window centred on the main screen, listed among the application's windows, at the
// normal level, brought to the current desktop whenever it is shown; the window system orders a
// closed window out and keeps it.
std::shared_ptr<platform::TopLevelWindow> ApplicationWindowManager::makeWindow(
    const std::string& title, platform::Size size, platform::Size minimumSize) const {
  platform::Rect frame{{0, 0}, size};
  auto window = windowSystem_->makeWindow(frame, platform::WindowStyle::titled);
  window->setTitle(title);
  window->setMinSize(minimumSize);
  window->setCollectionBehavior(platform::CollectionBehavior::managed |
                                platform::CollectionBehavior::participatesInCycle |
                                platform::CollectionBehavior::moveToActiveSpace);
  window->setListedInWindowsMenu(true);
  window->setLevel(platform::WindowLevel::normal);
  if (auto screen = windowSystem_->mainScreen()) {
    const auto& area =
        screen->visibleFrame.size.isPositive() ? screen->visibleFrame : screen->frame;
    frame.origin = {area.origin.x + (area.size.width - size.width) / 2,
                    area.origin.y + (area.size.height - size.height) / 2};
  }
  window->setFrame(frame);
  return window;
}

std::shared_ptr<platform::TopLevelWindow> ApplicationWindowManager::makeSetupWindow(
    const std::shared_ptr<CorvaneController>& controller) {
  auto window = makeWindow(kSetupTitle, kSetupSize, kSetupMinimumSize);
  if (setupContent_) {
    std::weak_ptr<ApplicationWindowManager> weakSelf = weak_from_this();
    std::weak_ptr<CorvaneController> weakController = controller;
    std::weak_ptr<platform::TopLevelWindow> weakWindow = window;
    auto showSettings = [weakSelf, weakController] {
      auto self = weakSelf.lock();
      auto owner = weakController.lock();
      if (self && owner) self->showSettings(owner);
    };
    auto close = [weakWindow] {
      if (auto closing = weakWindow.lock()) closing->orderOut();
    };
    window->setContentView(setupContent_(controller, showSettings, close));
  }
  return window;
}

std::shared_ptr<platform::TopLevelWindow> ApplicationWindowManager::makeSettingsWindow(
    const std::shared_ptr<CorvaneController>& controller) {
  auto window = makeWindow(kSettingsTitle, kSettingsSize, kSettingsMinimumSize);
  if (settingsContent_) window->setContentView(settingsContent_(controller));
  return window;
}

void ApplicationWindowManager::bringForward(platform::TopLevelWindow& window) {
  window.makeKeyAndOrderFront();
  windowSystem_->activateApplication(true);
}

}  // namespace corvane::app
