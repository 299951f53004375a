#include "menubar/menu_bar_status_item_controller.h"

#include <algorithm>

#include "runtime/main_actor.h"

namespace corvane::menubar {

using model::MenuBarAccessState;
using model::MenuBarStatusItemState;
using model::PreferencesStore;

namespace {

bool containsRect(const platform::Rect& outer, const platform::Rect& inner) {
  return inner.minX() >= outer.minX() && inner.minY() >= outer.minY() &&
         inner.maxX() <= outer.maxX() && inner.maxY() <= outer.maxY();
}

}  // namespace

MenuBarStatusItemController::MenuBarStatusItemController(
    std::shared_ptr<MenuBarController> controller, std::shared_ptr<MenuBarStatusItem> statusItem,
    std::shared_ptr<const platform::WindowSystem> windowSystem,
    model::PreferencesSource preferences, std::function<void()> showSetup)
    : controller_(std::move(controller)),
      showSetup_(std::move(showSetup)),
      statusItem_(std::move(statusItem)),
      windowSystem_(std::move(windowSystem)),
      preferences_(std::move(preferences)),
      qaMode_(PreferencesStore::qaPreferencesSuiteName(preferences_).has_value()) {
  statusItem_->setVisible(true);
}

MenuBarStatusItemController::~MenuBarStatusItemController() {
  visibilityMonitorTask_.cancel();
}

void MenuBarStatusItemController::start(std::function<void()> showSettings,
                                        std::function<void()> quit) {
  configureButton();
  configurePopover(showSetup_, showSettings);
  configureMenu(std::move(showSettings), std::move(quit));
  observeController();
  verifyInstallationAndRunQA();
}

bool MenuBarStatusItemController::hasArgument(const char* flag) const {
  const auto& arguments = preferences_.arguments;
  return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

void MenuBarStatusItemController::configureButton() {
  runtime::assertMainActor();
  // Configured even without a tray: a tray that starts later embeds this same icon.
  if (!statusItem_->isTrayAvailable()) record(currentInstallationState());
  std::weak_ptr<MenuBarStatusItemController> weakSelf = weak_from_this();
  statusItem_->setToolTip(toolTip);
  statusItem_->setActivationHandler([weakSelf] {
    if (auto self = weakSelf.lock()) self->togglePopover();
  });
  updateButtonImage(controller_->isDemoModeOn());
}

void MenuBarStatusItemController::configurePopover(std::function<void()> showSetup,
                                                   std::function<void()> showSettings) {
  runtime::assertMainActor();
  std::weak_ptr<MenuBarStatusItemController> weakSelf = weak_from_this();
  statusItem_->setPopoverContent(
      controller_,
      MenuBarPopoverActions(controller_, std::move(showSetup), std::move(showSettings)));
  statusItem_->setPopoverHandlers(
      [weakSelf] {
        if (auto self = weakSelf.lock()) self->popoverDidShow();
      },
      [weakSelf](std::optional<platform::Point> closingPress) {
        if (auto self = weakSelf.lock()) self->popoverDidClose(closingPress);
      });
}

void MenuBarStatusItemController::configureMenu(std::function<void()> showSettings,
                                                std::function<void()> quit) {
  runtime::assertMainActor();
  std::weak_ptr<MenuBarStatusItemController> weakSelf = weak_from_this();
  statusItem_->setMenuActions(
      [weakSelf] {
        if (auto self = weakSelf.lock()) self->open();
      },
      std::move(showSettings), std::move(quit));
}

void MenuBarStatusItemController::open() {
  runtime::assertMainActor();
  if (didActivateDockFallback_) {
    statusItem_->showTaskbarWindow();
  } else if (!statusItem_->isPopoverShown()) {
    statusItem_->showPopover();
  }
}

void MenuBarStatusItemController::observeController() {
  runtime::assertMainActor();
  std::weak_ptr<MenuBarStatusItemController> weakSelf = weak_from_this();
  cancellables_.push_back(controller_->observeChanges([weakSelf] {
    if (auto self = weakSelf.lock()) self->updateButtonImage(self->controller_->isDemoModeOn());
  }));
  updateButtonImage(controller_->isDemoModeOn());
}

void MenuBarStatusItemController::updateButtonImage(bool isActive) {
  // Duplicates are dropped: the change signal fires for every published change.
  if (shownActiveIcon_ == isActive) return;
  if (statusItem_->setSymbol(isActive ? activeSymbol : inactiveSymbol)) shownActiveIcon_ = isActive;
}

void MenuBarStatusItemController::togglePopover() {
  runtime::assertMainActor();
  if (statusItem_->isPopoverShown()) {
    statusItem_->closePopover();
    return;
  }
  const auto closedAt = std::exchange(closedByPressAt_, std::nullopt);
  if (closedAt && runtime::uptime() - *closedAt <= closingClickInterval) return;
  statusItem_->showPopover();
}

void MenuBarStatusItemController::popoverDidShow() {
  runtime::assertMainActor();
  closedByPressAt_.reset();
  if (!isQAMode()) return;
  auto defaults = PreferencesStore::activeDefaults(preferences_);
  if (!defaults->boolValue(popoverShownKey)) defaults->set(popoverShownKey, platform::Value(true));
}

void MenuBarStatusItemController::popoverDidClose(std::optional<platform::Point> closingPress) {
  runtime::assertMainActor();
  closedByPressAt_.reset();
  if (!closingPress) return;
  // A press elsewhere cannot also activate the icon; without a known place it may have.
  const auto icon = statusItem_->geometry();
  if (icon && !icon->contains(*closingPress)) return;
  closedByPressAt_ = runtime::uptime();
}

MenuBarStatusItemState MenuBarStatusItemController::currentInstallationState() const {
  MenuBarStatusItemState state;
  state.created = true;
  state.visible = statusItem_->isVisible();
  if (!statusItem_->isTrayAvailable()) return state;
  state.buttonAttached = true;
  state.windowVisible = statusItem_->isIconInTray();
  // A StatusNotifierItem's host never says where the icon is: it counts as on screen.
  if (const auto geometry = statusItem_->geometry()) {
    if (!geometry->isEmpty() && windowSystem_) {
      const auto screens = windowSystem_->screens();
      state.onscreen = std::any_of(screens.begin(), screens.end(), [&](const platform::Screen& s) {
        return containsRect(s.frame, *geometry);
      });
    }
  } else {
    state.onscreen = true;
  }
  // No screen here has a region that hides part of the top edge, so an icon on a screen is seen.
  state.unobscured = state.onscreen;
  if (isQAMode() && hasArgument(forceObscuredFlag)) state.unobscured = false;
  return state;
}

void MenuBarStatusItemController::record(const MenuBarStatusItemState& state) {
  // Written only when it changed: the watch measures every second for as long as the app runs.
  if (lastRecordedState_ == state) return;
  lastRecordedState_ = state;
  PreferencesStore::recordMenuBarStatusItem(preferences_, state);
}

void MenuBarStatusItemController::setAccessState(MenuBarAccessState state) {
  if (controller_->menuBarAccessState() != state) controller_->setMenuBarAccessState(state);
}

void MenuBarStatusItemController::verifyInstallationAndRunQA() {
  runtime::assertMainActor();
  visibilityMonitorTask_.cancel();
  visibilityMonitorTask_ = runtime::spawn(runVisibilityWatch(weak_from_this()));
}

runtime::Task<void> MenuBarStatusItemController::runVisibilityWatch(
    std::weak_ptr<MenuBarStatusItemController> weakSelf) {
  bool hasBeenReady = false;
  int failures = 0;
  while (!(co_await runtime::isCancelled())) {
    std::optional<double> interval;
    if (auto self = weakSelf.lock()) {
      interval = self->watchPass(hasBeenReady, failures);
    }
    if (!interval) co_return;
    co_await runtime::sleep(*interval);
  }
}

std::optional<double> MenuBarStatusItemController::watchPass(bool& hasBeenReady, int& failures) {
  auto state = currentInstallationState();
  // No tray host at launch: no icon will show, so waiting would only delay the fall-back. A tray
  // that goes away later (a panel restarting) gets the usual few failed passes to come back.
  if (!hasBeenReady && !statusItem_->isTrayAvailable()) {
    record(state);
    activateDockFallback(MenuBarAccessState::noSystemTray);
    return std::nullopt;
  }
  if (hasBeenReady && isQAMode() && hasArgument(forceObscuredAfterReadyFlag)) {
    state.unobscured = false;
  }
  record(state);

  const bool placed = state.created && state.visible && state.buttonAttached &&
                      state.windowVisible && state.onscreen;
  if (placed) {
    runQAPopoverProbe();
    if (state.unobscured) {
      setAccessState(MenuBarAccessState::available);
      hasBeenReady = true;
      failures = 0;
      return intervalAfterReady;
    }
  }
  if (statusItem_->isTrayHidden()) {
    setAccessState(MenuBarAccessState::available);
    failures = 0;
    return hasBeenReady ? intervalAfterReady : intervalBeforeReady;
  }
  const int limit = hasBeenReady ? failuresAfterReadyLimit : failuresBeforeReadyLimit;
  if (failures >= limit - 1) {
    activateDockFallback();
    return std::nullopt;
  }
  ++failures;
  return hasBeenReady ? intervalAfterReady : intervalBeforeReady;
}

void MenuBarStatusItemController::runQAPopoverProbe() {
  if (didRunQAPopoverProbe_ || !isQAMode() || !hasArgument(openPopoverFlag)) return;
  if (!statusItem_->isTrayAvailable()) return;
  didRunQAPopoverProbe_ = true;
  togglePopover();
}

void MenuBarStatusItemController::activateDockFallback(MenuBarAccessState state) {
  runtime::assertMainActor();
  if (didActivateDockFallback_) return;
  didActivateDockFallback_ = true;
  const bool shown = statusItem_->showTaskbarWindow();
  if (isQAMode()) {
    auto defaults = PreferencesStore::activeDefaults(preferences_);
    const auto stored = defaults->object(dockFallbackActiveKey);
    if (!stored || defaults->boolValue(dockFallbackActiveKey) != shown) {
      defaults->set(dockFallbackActiveKey, platform::Value(shown));
    }
  }
  setAccessState(state);
  if (showSetup_) showSetup_();
}

}  // namespace corvane::menubar
