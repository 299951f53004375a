#include "app/corvane_controller.h"
#include "model/preferences_store.h"
#include "runtime/main_actor.h"

namespace corvane::app {

using model::PreferencesStore;

namespace {

constexpr const char* kPreviousCopyStopped = "Previous copy stopped. Complete Setup to continue.";
constexpr const char* kPreviousCopyStillRunning = "Previous copy is still running";
constexpr const char* kPreviousCopyDidNotQuit =
    "The previous copy did not quit. Quit it from its tray icon or the system monitor, then "
    "check again.";

}  // namespace

void CorvaneController::refreshLegacyAppMigrationStatus(bool presentReviewIfNeeded) {
  runtime::assertMainActor();
  if (isQAPreferencesSuiteActive()) {
    legacyAppStatus_.set(LegacyAppMigrationStatus::clear());
    return;
  }
  const auto previous = *legacyAppStatus_;
  legacyAppStatus_.set(legacyAppMigrationAdvisor_->status());
  monitorLegacyAppStatusIfNeeded();

  auto& settings = *services_.settings;
  const auto status = *legacyAppStatus_;
  const bool reviewed = PreferencesStore::hasCompletedBrandMigrationReview(settings);
  if (status.isRunning || (status.needsAttention() && !reviewed)) {
    PreferencesStore::requireBrandMigrationReview(settings, runtime::now());
    isInitialSetupComplete_.set(false);
    if (presentReviewIfNeeded || (status.isRunning && !previous.isRunning)) {
      services_.notifications->post(kMigrationReviewRequiredNotification);
    }
  }
  if (!status.isRunning) legacyAppQuitError_.set(std::nullopt);
}

void CorvaneController::monitorLegacyAppStatusIfNeeded() {
  if (!legacyAppStatus_->isRunning || legacyAppStatusObservationTask_.valid()) return;
  // The monitor holds the controller strongly: it ends by itself once no copy runs.
  legacyAppStatusObservationTask_ = runtime::spawn(runLegacyAppStatusMonitor(shared_from_this()));
}

runtime::Task<void> CorvaneController::runLegacyAppStatusMonitor(
    std::shared_ptr<CorvaneController> self) {
  while (!(co_await runtime::isCancelled())) {
    co_await runtime::sleep(kLegacyAppMonitorInterval);  // a cancelled sleep counts as done
    if (co_await runtime::isCancelled()) break;
    self->refreshLegacyAppMigrationStatus(false);
    if (!self->legacyAppStatus_->isRunning) break;
  }
  self->legacyAppStatusObservationTask_ = {};
}

runtime::Task<void> CorvaneController::quitPreviousCopy() {
  runtime::assertMainActor();
  auto self = shared_from_this();  // held across the waits
  if (*isQuittingLegacyApp_) co_return;
  isQuittingLegacyApp_.set(true);
  legacyAppQuitError_.set(std::nullopt);
  const auto result = co_await LegacyAppMigrationAdvisor::quitPreviousCopy(
      legacyAppMigrationAdvisor_, kLegacyAppQuitPollAttempts, kLegacyAppQuitPollInterval);
  refreshLegacyAppMigrationStatus(false);
  if (result == LegacyAppQuitResult::timedOut) {
    legacyAppQuitError_.set(kPreviousCopyDidNotQuit);
    statusMessage_.set(kPreviousCopyStillRunning);
    record("legacy_app_quit_timed_out");
  } else {
    statusMessage_.set(kPreviousCopyStopped);
    record("legacy_app_quit_confirmed");
  }
  isQuittingLegacyApp_.set(false);
}

bool CorvaneController::completeInitialSetup() {
  runtime::assertMainActor();
  refreshLegacyAppMigrationStatus(true);
  if (legacyAppStatus_->isRunning) return false;
  auto& settings = *services_.settings;
  settings.set(kSetupCompletionVersionKey, platform::Value(1));
  PreferencesStore::completeBrandMigrationReview(settings, runtime::now());
  isInitialSetupComplete_.set(true);
  record("initial_setup_completed");
  return true;
}

}  // namespace corvane::app
