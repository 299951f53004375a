// The launch automation on the controller: a scripted run opens the output window, starts a
// session and drives it through the controller's own operations.
#include "app/corvane_controller.h"
#include "app/launch_automation.h"

namespace corvane::app {
namespace {

// The controller as the automation's target, held strongly for the rest of the run.
class ControllerAutomationTarget final : public LaunchAutomationTarget {
 public:
  ControllerAutomationTarget(std::shared_ptr<CorvaneController> controller,
                             std::function<void(bool)> setPause)
      : controller_(std::move(controller)), setPause_(std::move(setPause)) {}

  void setPauseAfterFirstFrame(bool pause) override { setPause_(pause); }
  void openProtectedShareWindow() override { controller_->openProtectedShareWindow(); }
  runtime::Task<void> startDemoMode() override { return controller_->startDemoMode(); }
  void beginSourceSpaceTransition(const std::string& reason) override {
    controller_->beginSourceSpaceTransition(reason);
  }
  void resumePublishing() override {
    controller_->protectedShareEngine()->setPublishingPaused(false);
  }
  bool isProtectedShareStopping() const override { return controller_->isProtectedShareStopping(); }
  void stopDemoMode() override { controller_->stopDemoMode(); }
  bool hasTerminationBegun() const override { return controller_->hasTerminationBegun(); }

 private:
  std::shared_ptr<CorvaneController> controller_;
  std::function<void(bool)> setPause_;
};

}  // namespace

runtime::Task<void> CorvaneController::runLaunchAutomation(
    std::weak_ptr<CorvaneController> weakSelf, std::set<std::string> arguments) {
  auto plan = LaunchAutomationPlan::from(arguments);
  if (!plan) co_return;
  auto lockTarget = [weakSelf]() -> std::shared_ptr<LaunchAutomationTarget> {
    auto self = weakSelf.lock();
    if (!self) return nullptr;
    CorvaneController* controller = self.get();
    return std::make_shared<ControllerAutomationTarget>(std::move(self), [controller](bool pause) {
      controller->shouldPauseForLaunchAutomation_ = pause;
    });
  };
  co_await runLaunchAutomationPlan(std::move(lockTarget), *plan);
}

}  // namespace corvane::app
