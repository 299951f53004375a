#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "menubar/counting_defaults.h"
#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_status_item.h"
#include "runtime/observers.h"

namespace corvane::menubar::testing {

// The application controller as the tray sees it: state set by the test, actions counted.
class FakeMenuBarController final : public MenuBarController {
 public:
  MenuBarPopoverInput input;
  model::MenuBarAccessState accessState = model::MenuBarAccessState::checking;
  std::vector<model::MenuBarAccessState> accessStateWrites;
  std::vector<std::string> calls;

  MenuBarPopoverInput menuBarPopoverInput() const override { return input; }
  bool isDemoModeOn() const override { return input.isDemoModeOn; }
  runtime::Subscription observeChanges(std::function<void()> observer) override {
    return observers_.add(std::move(observer));
  }
  // What the controller's change signal does: tell every observer.
  void announceChange() { observers_.notify(); }
  model::MenuBarAccessState menuBarAccessState() const override { return accessState; }
  void setMenuBarAccessState(model::MenuBarAccessState state) override {
    accessState = state;
    accessStateWrites.push_back(state);
  }

  void toggleDemoMode() override { calls.push_back("toggleDemoMode"); }
  void stopDemoMode() override { calls.push_back("stopDemoMode"); }
  void openProtectedShareWindow() override { calls.push_back("openProtectedShareWindow"); }
  void showProtectedShareLiveWindow() override { calls.push_back("showProtectedShareLiveWindow"); }
  void requestHideProtectedShareWindowLocally() override {
    calls.push_back("requestHideProtectedShareWindowLocally");
  }
  void requestScreenRecordingPermission() override {
    calls.push_back("requestScreenRecordingPermission");
  }
  void restartCorvane() override { calls.push_back("restartCorvane"); }
  void retrySourceContextTransition() override { calls.push_back("retrySourceContextTransition"); }

 private:
  runtime::Observers<> observers_;
};

// A tray icon whose tray, place and popover the test sets.
class FakeStatusItem final : public MenuBarStatusItem {
 public:
  bool visible = false;
  bool trayAvailable = true;
  bool iconInTray = true;
  std::optional<platform::Rect> iconGeometry = platform::Rect{{1800, 0}, {24, 24}};
  bool trayHidden = false;
  bool symbolsDrawable = true;
  std::string symbol;
  std::string toolTip;
  std::function<void()> activate;
  std::function<void()> didShow;
  std::function<void(std::optional<platform::Point>)> didClose;
  bool popoverShown = false;
  int popoverShows = 0;
  bool taskbarWindowShows = true;
  int taskbarWindowRequests = 0;
  bool hasContent = false;

  void setVisible(bool value) override { visible = value; }
  bool isVisible() const override { return visible; }
  bool isTrayAvailable() const override { return trayAvailable; }
  bool isIconInTray() const override { return iconInTray; }
  std::optional<platform::Rect> geometry() const override { return iconGeometry; }
  bool isTrayHidden() const override { return trayHidden; }
  bool setSymbol(const std::string& name) override {
    if (!symbolsDrawable) return false;
    symbol = name;
    return true;
  }
  void setToolTip(const std::string& text) override { toolTip = text; }
  void setActivationHandler(std::function<void()> handler) override {
    activate = std::move(handler);
  }
  std::function<void()> menuOpen, menuSettings, menuQuit;
  void setMenuActions(std::function<void()> open, std::function<void()> settings,
                      std::function<void()> quit) override {
    menuOpen = std::move(open);
    menuSettings = std::move(settings);
    menuQuit = std::move(quit);
  }
  void setPopoverContent(std::weak_ptr<MenuBarController>, MenuBarPopoverActions) override {
    hasContent = true;
  }
  void setPopoverHandlers(std::function<void()> shown,
                          std::function<void(std::optional<platform::Point>)> closed) override {
    didShow = std::move(shown);
    didClose = std::move(closed);
  }
  bool isPopoverShown() const override { return popoverShown; }
  void showPopover() override {
    popoverShown = true;
    ++popoverShows;
    if (didShow) didShow();
  }
  void closePopover() override { closeBy(std::nullopt); }
  // The popover closes; `press` is where a press outside it closed it.
  void closeBy(std::optional<platform::Point> press) {
    popoverShown = false;
    if (didClose) didClose(press);
  }
  bool showTaskbarWindow() override {
    ++taskbarWindowRequests;
    return taskbarWindowShows;
  }
};

}  // namespace corvane::menubar::testing
