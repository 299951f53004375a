// The session flow: opening the output window, starting and stopping a Protected Share session,
// keeping the source guard in step with it, and taking the session down at termination.
#include "app/corvane_controller.h"
#include "capture/protected_capture_filter.h"
#include "model/diagnostic_reporter.h"
#include "model/internal_feature_flags.h"
#include "model/preferences_store.h"
#include "runtime/main_actor.h"

namespace corvane::app {
namespace {

constexpr const char* kLegacyAppRunningMessage =
    "Quit the previous copy before starting Protected Share.";
constexpr const char* kSetupIncompleteMessage = "Complete Setup before starting Protected Share.";
constexpr const char* kCaptureRefusedMessage =
    "Screen capture is not allowed. Allow screen capture for Corvane, then start Protected Share "
    "again.";
constexpr const char* kStartingMessage = "Starting protected share window";
constexpr const char* kOutputBeginFailedMessage =
    "Protected Share could not create a live output on the selected display.";
constexpr const char* kStoppingMessage = "Stopping Protected Share";
constexpr const char* kProtectedAppFallbackName = "Protected app";

}  // namespace

void CorvaneController::openProtectedShareWindow() {
  runtime::assertMainActor();
  if (directShareTestState_->retainsOutput()) return;
  if (*isProtectedShareWindowHiddenLocally_) {
    showProtectedShareLiveWindow();
    return;
  }
  if (auto frontmost = services_.desktop.workspace->frontmostApplication()) {
    rememberSourceApplication(*frontmost);
  }
  if (protectedShareWindowManager_->directShareTestState().retainsOutput()) return;
  auto window = protectedShareWindowManager_->ensureWindow(shared_from_this());
  if (!protectedShareWindowManager_->isSessionWindow()) {
    protectedShareWindowManager_->configurePreview(*window);
    window->makeKeyAndOrderFront();
    services_.windowSystem->activateApplication(true);
  } else {
    (void)protectedShareWindowManager_->showLiveWindowLocally();
  }
}

void CorvaneController::toggleDemoMode() {
  runtime::assertMainActor();
  if (*isProtectedShareStopping_) return;
  if (*isDemoModeOn_) {
    stopDemoMode();
    return;
  }
  // The start task holds the controller: a pressed Start runs to its end.
  runtime::spawn(runToggledStart(shared_from_this()));
}

runtime::Task<void> CorvaneController::runToggledStart(std::shared_ptr<CorvaneController> self) {
  co_await self->startDemoMode();
}

runtime::Task<void> CorvaneController::startDemoMode() {
  runtime::assertMainActor();
  // 1: nothing while anything else is under way, nor once the application is quitting.
  if (hasTerminationBegun_ || *isScanning_ || *isProtectedShareStarting_ ||
      *isProtectedShareStopping_ || protectedShareStopTask_.valid() ||
      model::isActive(*protectedShareEngine_->phase) || directShareTestManager_.isBusy()) {
    co_return;
  }
  // 2, 3: the former brand's copy first, then setup.
  refreshLegacyAppMigrationStatus(true);
  if (legacyAppStatus_->isRunning) {
    lastScanError_.set(kLegacyAppRunningMessage);
    statusMessage_.set(kLegacyAppRunningMessage);
    record("demo_mode_blocked_legacy_app_running");
    co_return;
  }
  if (!*isInitialSetupComplete_) {
    statusMessage_.set(kSetupIncompleteMessage);
    record("demo_mode_blocked_incomplete_setup");
    co_return;
  }
  // 4: a new session generation.
  const std::uint64_t generation = ++demoModeGeneration_;
  ++sourceContextGeneration_;
  cancelTask(sourceContextTransitionTask_);
  // 5: the strict share guard means nothing without the start-up guard.
  if (!model::InternalFeatureFlags::startupSourceGuard(*services_.bundle) &&
      protectionOptions_->strictShareGuard) {
    auto options = *protectionOptions_;
    options.strictShareGuard = false;
    protectionOptions_.set(options);
    model::PreferencesStore::save(*services_.settings, *protectionOptions_,
                                  model::PreferencesStore::protectionOptionsKey);
    pushProtectedShareCaptureConfigurationIfRunning();
  }
  // 6: capture permission, asking once.
  auto& permissions = *services_.desktop.permissions;
  screenRecordingPermissionGranted_.set(permissions.screenCapturePreflight());
  if (!*screenRecordingPermissionGranted_) {
    screenRecordingPermissionGranted_.set(permissions.requestScreenCapture());
  }
  if (!*screenRecordingPermissionGranted_) {
    if (services_.settingsOpener) (void)services_.settingsOpener->openScreenCaptureSettings();
    const auto message = permissions.screenCaptureDenialReason().value_or(kCaptureRefusedMessage);
    lastScanError_.set(message);
    statusMessage_.set(message);
    record("protected_share_blocked_permission_preflight", {{"restartRequired", "true"}});
    co_return;
  }
  // 7 to 9: the session is on.
  isProtectedShareStarting_.set(true);
  isProtectedShareWindowHiddenLocally_.set(false);
  cancelTask(localPreviewPresentationWatchdogTask_);
  cancelTask(sourceGuardReleaseTask_);
  hasActivatedSourceForCurrentSession_ = false;
  liveFramePixelSize_.reset();
  failedPreviewRestores_ = 0;
  if (auto frontmost = services_.desktop.workspace->frontmostApplication()) {
    rememberSourceApplication(*frontmost);
  }
  // What the session is about to leave out, as users read it (applications that are installed);
  // the filter in force keeps it current.
  hiddenAppsCount_.set(enabledInstalledProtectedAppCount());
  isDemoModeOn_.set(true);
  // 10: the output window's session on the chosen display.
  if (!protectedShareWindowManager_->beginSession(shared_from_this(),
                                                  protectionOptions_->selectedDisplayID)) {
    sealWorkspaceAfterProtectedShareFailure(kOutputBeginFailedMessage,
                                            "protected_share_output_begin_failed");
    isProtectedShareStarting_.set(false);
    co_return;
  }
  // 11, 12.
  sourceRedactionOverlayManager_.hide();
  refreshSourceGuard();
  if (demoModeGeneration_ != generation || !*isDemoModeOn_ || !*isProtectedShareStarting_) {
    isProtectedShareStarting_.set(false);
    co_return;
  }
  // 13, 14: start the capture.
  statusMessage_.set(kStartingMessage);
  // The event counts every enabled exclusion, installed or not, as it always has.
  auto excludedIDs = enabledProtectedAppIDs();
  record("demo_mode_started", {{"hideDesktopIconsInProtectedShare",
                                model::diagnosticFlag(protectionOptions_->hideDesktopIcons)},
                               {"excludedApps", std::to_string(excludedIDs.size())}});
  if (auto owner = services_.desktop.workspace->desktopWindowOwner()) {
    desktopIconOwnerID_ = owner->bundleIdentifier;
  }
  // The engine outlives a stop that runs while this start is suspended.
  auto engine = protectedShareEngine_;
  co_await engine->start(std::move(excludedIDs), protectionOptions_->hideDesktopIcons, {},
                         protectionOptions_->selectedDisplayID);
  // 15: only the session this start began.
  if (demoModeGeneration_ == generation && *isDemoModeOn_) {
    if (lastSourceApplication_) {
      std::optional<std::string> name;
      if (isProtectedApplication(*lastSourceApplication_)) {
        name = lastSourceApplication_->localizedName.empty()
                   ? std::string(kProtectedAppFallbackName)
                   : lastSourceApplication_->localizedName;
      }
      engine->setForegroundProtectedApplication(name);
    }
    const auto phase = *engine->phase;
    if (*isDemoModeOn_ && (phase == model::ProtectedSharePhase::permissionRequired ||
                           phase == model::ProtectedSharePhase::failed)) {
      const auto message = engine->lastError->value_or(*engine->statusMessage);
      lastScanError_.set(message);
      sealWorkspaceAfterProtectedShareFailure(message, "protected_share_start_failed");
    }
  }
  // 16.
  isProtectedShareStarting_.set(false);
}

bool CorvaneController::isProtectedApplication(
    const platform::RunningApplication& application) const {
  // The engine's own rule: the id itself, or an id that extends it by "." (its helpers).
  return capture::shouldExcludeCaptureApplication(application.bundleIdentifier, "",
                                                  enabledProtectedAppIDs());
}

bool CorvaneController::isOwnApplication(const platform::RunningApplication& application) const {
  return services_.ownProcessIdentifier != 0 &&
         application.processIdentifier == services_.ownProcessIdentifier;
}

void CorvaneController::showProtectedShareLiveWindow() {
  runtime::assertMainActor();
  if (directShareTestState_->retainsOutput()) return;
  if (protectedShareWindowManager_->showLiveWindowLocally()) {
    completeLocalPreviewRestore("Protected Share preview is visible",
                                "protected_share_window_shown_locally");
  } else {
    statusMessage_.set("Protected Share preview could not be restored on an active display");
    record("protected_share_window_restore_failed");
  }
}

std::function<void()> CorvaneController::guardStopAction() {
  std::weak_ptr<CorvaneController> weakSelf = weak_from_this();
  return [weakSelf] {
    auto self = weakSelf.lock();
    if (self && !*self->isProtectedShareStopping_) self->stopDemoMode();
  };
}

void CorvaneController::showSourceGuard() {
  sourceGuardManager_.show(protectionOptions_->selectedDisplayID, selectedCaptureDisplayName(),
                           guardStopAction());
}

void CorvaneController::showSourceGuardAfterFailure() {
  showSourceGuard();
}

void CorvaneController::refreshSourceGuard() {
  runtime::assertMainActor();
  if (model::InternalFeatureFlags::startupSourceGuard(*services_.bundle) && *isDemoModeOn_ &&
      protectionOptions_->strictShareGuard && !protectedShareEngine_->renderedFrame->has_value()) {
    showSourceGuard();
  } else {
    sourceGuardManager_.hide();
  }
  refreshPresenterControlBar();
}

// What stop and the termination restore share: the session's windows and flags go.
void CorvaneController::resetSessionPresentation() {
  isProtectedShareWindowHiddenLocally_.set(false);
  cancelTask(localPreviewPresentationWatchdogTask_);
  hiddenAppsCount_.set(0);
  isDemoModeOn_.set(false);
  isProtectedShareStarting_.set(false);
  hasActivatedSourceForCurrentSession_ = false;
  liveFramePixelSize_.reset();
}

void CorvaneController::stopDemoMode() {
  runtime::assertMainActor();
  if (*isProtectedShareStopping_) return;
  if (!*isDemoModeOn_ && !*isProtectedShareStarting_ &&
      !model::isActive(*protectedShareEngine_->phase)) {
    return;
  }
  std::weak_ptr<CorvaneController> weakSelf = weak_from_this();
  if (!directShareTestManager_.prepareForProtectedSessionEnd([weakSelf] {
        if (auto self = weakSelf.lock()) self->stopDemoMode();
      })) {
    record("demo_mode_stop_deferred_direct_share");
    return;
  }
  cancelTask(sourceContextTransitionTask_);
  ++sourceContextGeneration_;
  cancelTask(sourceGuardReleaseTask_);
  ++demoModeGeneration_;
  isProtectedShareStopping_.set(true);
  protectedShareWindowManager_->endSession(true);
  sourceRedactionOverlayManager_.hide();
  sourceGuardManager_.hide();
  presenterControlBarManager_->hide();
  resetSessionPresentation();
  statusMessage_.set(kStoppingMessage);
  record("demo_mode_stopped");
  protectedShareStopTask_ = runtime::spawn(runStop(weak_from_this(), protectedShareEngine_));
}

runtime::Task<std::shared_ptr<CorvaneController>> CorvaneController::awaitEngineStop(
    std::weak_ptr<CorvaneController> weakSelf,
    std::shared_ptr<capture::ProtectedShareEngine> engine) {
  co_await engine->stop();
  auto self = weakSelf.lock();
  if (self) {
    self->protectedShareStopTask_ = {};
    self->isProtectedShareStopping_.set(false);
  }
  co_return self;
}

runtime::Task<void> CorvaneController::runStop(
    std::weak_ptr<CorvaneController> weakSelf,
    std::shared_ptr<capture::ProtectedShareEngine> engine) {
  auto self = co_await awaitEngineStop(std::move(weakSelf), std::move(engine));
  if (self && !*self->isDemoModeOn_) self->statusMessage_.set(kWorkspaceRestoredMessage);
}

void CorvaneController::restoreWorkspaceForTermination() {
  runtime::assertMainActor();
  hasTerminationBegun_ = true;
  cancelTask(sourceGuardReleaseTask_);
  directShareTestManager_.shutdownForTermination();
  sourceRedactionOverlayManager_.hide();
  sourceGuardManager_.hide();
  presenterControlBarManager_->hide();
  protectedShareWindowManager_->close();
  resetSessionPresentation();
  statusMessage_.set(kWorkspaceRestoredMessage);
  record("workspace_restored_for_termination");
}

std::shared_ptr<capture::ProtectedOutputSurface> CorvaneController::protectedOutputSurface() {
  return protectedShareEngine_->outputSurface();
}

void CorvaneController::togglePublishingPaused() {
  runtime::assertMainActor();
  protectedShareEngine_->setPublishingPaused(!*protectedShareEngine_->isPublishingPaused);
  refreshPresenterControlBar();
  activateSourceApplicationForInteraction(true);
}

void CorvaneController::handleKeyboardCommand(share_window::ProtectedShareKeyboardCommand command) {
  runtime::assertMainActor();
  using share_window::ProtectedShareKeyboardCommand;
  switch (command) {
    case ProtectedShareKeyboardCommand::togglePreviewVisibility:
      if (*isProtectedShareWindowHiddenLocally_) {
        showProtectedShareLiveWindow();
      } else {
        requestHideProtectedShareWindowLocally();
      }
      break;
    case ProtectedShareKeyboardCommand::togglePause:
      if (*isDemoModeOn_) togglePublishingPaused();
      break;
    case ProtectedShareKeyboardCommand::stop:
      stopDemoMode();
      break;
    case ProtectedShareKeyboardCommand::movePreview:
      moveProtectedSharePreviewToNextCorner();
      break;
    case ProtectedShareKeyboardCommand::fit:
      fitProtectedSharePreview();
      break;
    case ProtectedShareKeyboardCommand::actualSize:
      showProtectedSharePreviewAtActualSize();
      break;
  }
}

}  // namespace corvane::app
