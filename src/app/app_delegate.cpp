#include "app/app_delegate.h"

#include "app/corvane_controller.h"
#include "app/legacy_app_migration_advisor.h"
#include "model/preferences_store.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"

namespace corvane::app {

std::shared_ptr<AppDelegate> AppDelegate::make(AppDelegateServices services) {
  return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(services)));
}

AppDelegate::AppDelegate(AppDelegateServices services) : services_(std::move(services)) {
  runtime::assertMainActor();
  // Completed here, so the delegate and the controller share the same settings and centre.
  auto& controllerServices = services_.controller;
  controllerServices = completedServices(std::move(controllerServices));
  applicationWindowManager_ = std::make_shared<ApplicationWindowManager>(
      controllerServices.windowSystem, services_.setupContent, services_.settingsContent);
  if (!controllerServices.qaPreferencesSuiteName) prepareSettingsForLaunch();
  controller_ = CorvaneController::make(controllerServices);
}

// The one-time copy of the former brand's settings, then the review requirement: a former copy
// that runs, or one that needs attention while the review was never completed.
void AppDelegate::prepareSettingsForLaunch() {
  const auto& controllerServices = services_.controller;
  std::optional<std::string> legacyIdentifier;
  if (services_.decodeBase64) legacyIdentifier = services_.decodeBase64(kEncodedFormerIdentifier);
  if (controllerServices.defaultsStore) {
    auto defaults = model::PreferencesStore::applicationDefaults(controllerServices.defaultsStore);
    model::PreferencesStore::prepareForLaunch(*controllerServices.defaultsStore, *defaults,
                                              legacyIdentifier, model::PreferencesStore::suiteName,
                                              runtime::now());
  }
  auto& active = *controllerServices.settings;
  const LegacyAppMigrationAdvisor advisor(advisorServices(controllerServices));
  const auto status = advisor.status();
  const bool reviewed = model::PreferencesStore::hasCompletedBrandMigrationReview(active);
  if (status.isRunning || (status.needsAttention() && !reviewed)) {
    model::PreferencesStore::requireBrandMigrationReview(active, runtime::now());
  }
}

void AppDelegate::applicationDidFinishLaunching() {
  runtime::assertMainActor();
  if (services_.startCrashReporting) {
    services_.startCrashReporting(controller_->productionConfiguration());
  }
  std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
  migrationReviewObservation_ = services_.controller.notifications->addObserver(
      kMigrationReviewRequiredNotification, [weakSelf](const runtime::Notification&) {
        if (auto self = weakSelf.lock()) self->presentRequiredMigrationReview();
      });
  if (services_.makeStatusItem) {
    menuBarStatusItemController_ =
        services_.makeStatusItem(controller_, showSetupClosure(), showSettingsClosure());
  }
  // Read now, not when the controller was made: a review required since then opens setup too.
  if (!CorvaneController::storedSetupIsComplete(*services_.controller.settings)) {
    applicationWindowManager_->showSetup(controller_);
    services_.controller.settings->set(kSetupPresentationVersionKey, platform::Value(1));
  }
  controller_->completeStartupInitialization();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
  runtime::assertMainActor();
  if (!hasVisibleWindows) applicationWindowManager_->showSetup(controller_);
  return true;
}

void AppDelegate::applicationWillTerminate() {
  runtime::assertMainActor();
  migrationReviewObservation_.cancel();
  services_.controller.notifications->post(kWillTerminateNotification);
  // Settings are saved off the main thread: what the termination handlers stored is on disk
  // before the process goes.
  if (services_.controller.defaultsStore) services_.controller.defaultsStore->flush();
}

void AppDelegate::presentRequiredMigrationReview() {
  runtime::assertMainActor();
  applicationWindowManager_->showSetup(controller_);
}

std::function<void()> AppDelegate::showSetupClosure() {
  std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
  return [weakSelf] {
    if (auto self = weakSelf.lock()) self->applicationWindowManager_->showSetup(self->controller_);
  };
}

std::function<void()> AppDelegate::showSettingsClosure() {
  std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
  return [weakSelf] {
    if (auto self = weakSelf.lock()) {
      self->applicationWindowManager_->showSettings(self->controller_);
    }
  };
}

}  // namespace corvane::app
