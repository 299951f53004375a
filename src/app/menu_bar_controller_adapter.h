#pragma once

#include <memory>

#include "menubar/menu_bar_controller.h"

namespace corvane::app {

class CorvaneController;

// The controller as the tray icon and its popover see it: each call goes to the controller's own
// state and actions. Main actor only.
class MenuBarControllerAdapter final : public menubar::MenuBarController {
 public:
  explicit MenuBarControllerAdapter(std::shared_ptr<CorvaneController> controller);

  menubar::MenuBarPopoverInput menuBarPopoverInput() const override;
  bool isDemoModeOn() const override;
  runtime::Subscription observeChanges(std::function<void()> observer) override;
  model::MenuBarAccessState menuBarAccessState() const override;
  void setMenuBarAccessState(model::MenuBarAccessState state) override;

  void toggleDemoMode() override;
  void stopDemoMode() override;
  void openProtectedShareWindow() override;
  void showProtectedShareLiveWindow() override;
  void requestHideProtectedShareWindowLocally() override;
  void requestScreenRecordingPermission() override;
  void restartCorvane() override;
  void retrySourceContextTransition() override;

 private:
  std::shared_ptr<CorvaneController> controller_;
};

}  // namespace corvane::app
