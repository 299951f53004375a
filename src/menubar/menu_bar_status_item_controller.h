#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_status_item.h"
#include "model/menu_bar_status_item_state.h"
#include "model/preferences_store.h"
#include "platform/window_system.h"
#include "runtime/subscription.h"
#include "runtime/task.h"

namespace corvane::menubar {

// Owns the tray icon and its popover: the icon follows whether a session runs, a click opens or
// closes the popover, its context menu opens Corvane, its settings or quits, and a watch keeps
// checking that the icon really is in a tray. When the desktop has no tray at all the watch
// switches at once to an ordinary taskbar window and opens the setup window; when a tray keeps
// the icon out of sight it does so after the failures below. Its verdict is the controller's
// menuBarAccessState. In QA runs (a QA settings suite is active)
// it records its milestones in that suite and honours three QA flags. Main actor only.
class MenuBarStatusItemController
    : public std::enable_shared_from_this<MenuBarStatusItemController> {
 public:
  static constexpr const char* toolTip = "Corvane";
  static constexpr const char* activeSymbol = "rectangle.stack.fill";
  static constexpr const char* inactiveSymbol = "rectangle.stack.badge.minus";

  // The watch: passes 0.05 s apart until the icon is first ready, then 1 s apart. The fall-back
  // runs on the 100th consecutive failed pass before the icon was ever ready, or on the 3rd after.
  static constexpr double intervalBeforeReady = 0.05;
  static constexpr double intervalAfterReady = 1.0;
  static constexpr int failuresBeforeReadyLimit = 100;
  static constexpr int failuresAfterReadyLimit = 3;
  // A click on the icon that closed the popover also activates the icon: an activation this soon
  // after a press at the icon closed the popover belongs to that click and is dropped.
  static constexpr double closingClickInterval = 0.4;

  static constexpr const char* openPopoverFlag = "--qa-open-menu-bar-popover";
  static constexpr const char* forceObscuredFlag = "--qa-force-menu-bar-obscured";
  static constexpr const char* forceObscuredAfterReadyFlag =
      "--qa-force-menu-bar-obscured-after-ready";
  static constexpr const char* popoverShownKey = "menuBarPopoverShown";
  static constexpr const char* dockFallbackActiveKey = "menuBarDockFallbackActive";

  // Stores the collaborators; the status item is shown and configured by the calls below.
  // `windowSystem` answers where the screens are; `preferences` says whether this is a QA run.
  MenuBarStatusItemController(std::shared_ptr<MenuBarController> controller,
                              std::shared_ptr<MenuBarStatusItem> statusItem,
                              std::shared_ptr<const platform::WindowSystem> windowSystem,
                              model::PreferencesSource preferences,
                              std::function<void()> showSetup);
  ~MenuBarStatusItemController();
  MenuBarStatusItemController(const MenuBarStatusItemController&) = delete;
  MenuBarStatusItemController& operator=(const MenuBarStatusItemController&) = delete;

  // The launch sequence, in this order (start() runs all five).
  void configureButton();
  void configurePopover(std::function<void()> showSetup, std::function<void()> showSettings);
  void configureMenu(std::function<void()> showSettings, std::function<void()> quit);
  void observeController();
  void verifyInstallationAndRunQA();
  // `quit` runs the application's ordinary termination.
  void start(std::function<void()> showSettings, std::function<void()> quit = nullptr);

  // The context menu's "Open Corvane": the popover, or the taskbar window once it stands in.
  void open();

  // The icon's primary click: closes the popover when it is shown, else opens it (unless this
  // very click just closed it).
  void togglePopover();
  void popoverDidShow();
  void popoverDidClose(std::optional<platform::Point> closingPress);

  // One measurement of the icon.
  model::MenuBarStatusItemState currentInstallationState() const;
  // Switches to the taskbar window once and opens the setup window; `state` says why.
  void activateDockFallback(
      model::MenuBarAccessState state = model::MenuBarAccessState::dockFallback);

  bool didActivateDockFallback() const { return didActivateDockFallback_; }
  bool didRunQAPopoverProbe() const { return didRunQAPopoverProbe_; }
  bool isWatchRunning() const {
    return visibilityMonitorTask_.valid() && !visibilityMonitorTask_.isDone();
  }

 private:
  bool isQAMode() const { return qaMode_; }
  bool hasArgument(const char* flag) const;
  void updateButtonImage(bool isActive);
  void record(const model::MenuBarStatusItemState& state);
  void setAccessState(model::MenuBarAccessState state);
  // One pass of the watch; the seconds to sleep, or none once the fall-back has run.
  std::optional<double> watchPass(bool& hasBeenReady, int& failures);
  void runQAPopoverProbe();
  static runtime::Task<void> runVisibilityWatch(std::weak_ptr<MenuBarStatusItemController> self);

  std::shared_ptr<MenuBarController> controller_;
  std::function<void()> showSetup_;
  std::shared_ptr<MenuBarStatusItem> statusItem_;
  std::shared_ptr<const platform::WindowSystem> windowSystem_;
  model::PreferencesSource preferences_;
  bool qaMode_ = false;

  std::vector<runtime::Subscription> cancellables_;
  std::optional<bool> shownActiveIcon_;
  bool didRunQAPopoverProbe_ = false;
  bool didActivateDockFallback_ = false;
  runtime::TaskHandle<void> visibilityMonitorTask_;
  std::optional<model::MenuBarStatusItemState> lastRecordedState_;
  // When and where a press outside the popover last closed it.
  std::optional<runtime::Uptime> closedByPressAt_;
};

}  // namespace corvane::menubar
