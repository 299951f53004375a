#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/defaults_store.h"
#include "windows/onboarding_view_model.h"
#include "windows/setup_window_controller.h"

namespace corvane::windows {

// The setup window's behaviour: its two stored flags (in the active settings suite, written at
// once and only here), the migration-review flag it copies each time it is shown, and what each
// of its buttons does. The Qt view draws viewModel() and calls these actions. Main actor only;
// the controller is held weakly and, once gone, the actions do nothing.
class SetupChecklist {
 public:
  static constexpr const char* reviewedExcludedAppsKey = "onboardingReviewedExcludedApps";
  static constexpr const char* confirmedShareTargetKey = "onboardingConfirmedShareTarget";
  static constexpr const char* migrationReviewRequiredKey = "brandMigrationReviewRequired";

  SetupChecklist(std::weak_ptr<SetupWindowController> controller,
                 std::shared_ptr<platform::DefaultsSuite> defaults,
                 std::function<void()> showSettings, std::function<void()> close);

  // The controller's state now, with the window's flags.
  OnboardingViewModel viewModel() const;
  std::shared_ptr<SetupWindowController> controller() const { return controller_.lock(); }

  bool hasReviewedExcludedApps() const;
  bool hasConfirmedShareTarget() const;
  // The share-target checkbox.
  void setHasConfirmedShareTarget(bool confirmed);
  bool migrationReviewRequired() const { return migrationReviewRequired_; }

  // Each time the window is shown: re-reads the former copy and the stored review flag.
  void onAppear();
  // The footer's primary button: leads to the first unmet step, else starts, restarts or opens
  // Protected Share.
  void startOrRecoverProtectedShare();
  // The footer's secondary button: completes setup when it can, then closes; a refused
  // completion leaves the window open.
  void finishSetupOrClose();
  // The button of a checklist row.
  void performStepAction(OnboardingStep step);
  // A button of the migration notice. Quitting runs as a task of its own that nobody keeps.
  void performMigrationNoticeAction(MigrationNoticeButton button);

 private:
  void reviewExcludedApps(SetupWindowController& controller);

  std::weak_ptr<SetupWindowController> controller_;
  std::shared_ptr<platform::DefaultsSuite> defaults_;
  std::function<void()> showSettings_;
  std::function<void()> close_;
  bool migrationReviewRequired_ = false;
  // What the screen-recording button found when it had nothing to open.
  std::optional<std::string> screenRecordingHint_;
};

}  // namespace corvane::windows
