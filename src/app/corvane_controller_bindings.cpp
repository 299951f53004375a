// The controller kept in step with its capture engine and with the desktop: the engine's
// published state, application and desktop changes, screen changes and termination.
#include "app/corvane_controller.h"
#include "model/diagnostic_reporter.h"
#include "model/internal_feature_flags.h"
#include "runtime/main_actor.h"

namespace corvane::app {
namespace {

constexpr const char* kProtectedAppFallbackName = "Protected app";
constexpr const char* kEngineStoppedMessage = "Protected Share stopped unexpectedly";

std::string nameOrFallback(const platform::RunningApplication& application) {
  return application.localizedName.empty() ? std::string(kProtectedAppFallbackName)
                                           : application.localizedName;
}

}  // namespace

void CorvaneController::bindEngineAndWorkspace() {
  bindProtectedShareEngine();
  bindApplicationActivation();
  bindScreenParameters();
  bindTerminationRestore();
}

// Observers that run at once see the engine's old value when they read it; those that run next
// turn see everything stored. Every observer holds the controller weakly.
void CorvaneController::bindProtectedShareEngine() {
  auto& engine = *protectedShareEngine_;
  std::weak_ptr<CorvaneController> weakSelf = weak_from_this();
  auto atOnce = [&](auto& property, auto reaction) {
    cancellables_.push_back(property.observeAtOnce([weakSelf, reaction](const auto& value) {
      if (auto self = weakSelf.lock()) reaction(*self, value);
    }));
  };
  auto nextTurn = [&](auto& property, auto reaction) {
    cancellables_.push_back(property.observeNextTurn([weakSelf, reaction](const auto& value) {
      runtime::assertMainActor();
      if (auto self = weakSelf.lock()) reaction(*self, value);
    }));
  };
  auto refreshStatusAndBar = [](CorvaneController& self, const auto&) {
    if (!*self.isDemoModeOn_) return;
    self.refreshProtectedWindowStatus();
    self.refreshPresenterControlBar();
  };
  auto refreshStatus = [](CorvaneController& self, const auto&) {
    if (*self.isDemoModeOn_) self.refreshProtectedWindowStatus();
  };

  atOnce(engine.statusMessage, [](CorvaneController& self, const std::string& text) {
    if (model::isActive(*self.protectedShareEngine_->phase)) self.statusMessage_.set(text);
  });
  nextTurn(engine.phase, [](CorvaneController& self, model::ProtectedSharePhase phase) {
    self.handleEnginePhase(phase);
  });
  atOnce(engine.renderedFrame,
         [](CorvaneController& self, const std::optional<model::ProtectedRenderedFrame>& frame) {
           self.handleRenderedFrame(frame);
         });
  nextTurn(engine.isPublishingPaused, refreshStatusAndBar);
  nextTurn(engine.isSourceContextTransitioning, refreshStatusAndBar);
  nextTurn(engine.isHoldingPreviousVerifiedFrame, refreshStatus);
  nextTurn(engine.isCaptureFilterTransitioning, refreshStatus);
  atOnce(engine.sourceContextRecoveryMessage, refreshStatusAndBar);
  // The count shown is the filter's in force, not the list's at the start.
  nextTurn(engine.protectedBundleIDsInForce,
           [](CorvaneController& self, const std::set<std::string>& ids) {
             if (!*self.isDemoModeOn_) return;
             self.hiddenAppsCount_.setIfChanged(self.installedCount(ids));
             self.refreshPresenterControlBar();
           });
  atOnce(engine.metrics, [](CorvaneController& self, const model::ProtectedShareMetrics& metrics) {
    const auto& accessory = self.protectedShareWindowManager_->accessoryView();
    if (accessory && metrics.outputWidth >= 1 && metrics.outputHeight >= 1) {
      accessory->setResolution(platform::Size{static_cast<double>(metrics.outputWidth),
                                              static_cast<double>(metrics.outputHeight)});
    }
  });
}

void CorvaneController::handleEnginePhase(model::ProtectedSharePhase phase) {
  switch (phase) {
    case model::ProtectedSharePhase::permissionRequired:
      directShareTestManager_.sealAcceptedTarget();
      protectedShareWindowManager_->reassertSessionWindow();
      refreshPresenterControlBar();
      break;
    case model::ProtectedSharePhase::failed: {
      const auto message = protectedShareEngine_->lastError->value_or(kEngineStoppedMessage);
      statusMessage_.set(message);
      directShareTestManager_.sealAcceptedTarget();
      refreshProtectedWindowStatus();
      if (*isDemoModeOn_) {
        sealWorkspaceAfterProtectedShareFailure(message, "protected_share_runtime_failed");
      }
      break;
    }
    default:
      if (*isDemoModeOn_) refreshPresenterControlBar();
      break;
  }
}

// Runs before the engine stores the frame. Every frame asks the window manager to carry it: the
// first of a session (or of a new host display) makes the output live, and a window that can no
// longer be shared ends the session (a window hidden locally is watched by the local preview's
// own recovery instead). The live-frame work runs again only when the size changes.
void CorvaneController::handleRenderedFrame(
    const std::optional<model::ProtectedRenderedFrame>& frame) {
  if (!frame || !*isDemoModeOn_) return;
  // A window hidden from this screen has its own watch, which restores it or ends the session.
  const bool watchedElsewhere =
      *isProtectedShareWindowHiddenLocally_ && liveFramePixelSize_ == frame->pixelSize;
  if (watchedElsewhere) return;
  if (!protectedShareWindowManager_->publishLiveFrame(frame->pixelSize)) {
    // Never live on a window that cannot be shared: hold the output and end the session.
    protectedShareEngine_->setPublishingPaused(true);
    runtime::spawn(stopAfterUnshareableFrame(weak_from_this()));
    return;
  }
  if (liveFramePixelSize_ == frame->pixelSize) return;
  liveFramePixelSize_ = frame->pixelSize;
  if (model::InternalFeatureFlags::startupSourceGuard(*services_.bundle) &&
      (isSourceGuardVisible() || !hasActivatedSourceForCurrentSession_)) {
    releaseSourceGuardForLiveSession();
  }
  refreshProtectedWindowStatus();
  refreshPresenterControlBar();
  if (shouldPauseForLaunchAutomation_) {
    shouldPauseForLaunchAutomation_ = false;
    runtime::spawn(pauseAfterFirstFrame(weak_from_this()));
  }
}

runtime::Task<void> CorvaneController::pauseAfterFirstFrame(
    std::weak_ptr<CorvaneController> weakSelf) {
  // A spawned task begins on the next turn, once the engine holds the frame.
  if (auto self = weakSelf.lock()) self->protectedShareEngine_->setPublishingPaused(true);
  co_return;
}

runtime::Task<void> CorvaneController::stopAfterUnshareableFrame(
    std::weak_ptr<CorvaneController> weakSelf) {
  auto self = weakSelf.lock();
  if (self && !*self->isProtectedShareStopping_) self->stopDemoMode();
  co_return;
}

void CorvaneController::refreshProtectedWindowStatus() {
  const auto& engine = *protectedShareEngine_;
  protectedShareWindowManager_->updateProtectionStatus(
      *engine.phase == model::ProtectedSharePhase::failed, *engine.isHoldingPreviousVerifiedFrame,
      *engine.isPublishingPaused, *engine.isSourceContextTransitioning,
      *engine.isCaptureFilterTransitioning, engine.sourceContextRecoveryMessage->has_value());
  const bool eligible = isDirectShareTestOutputEligible();
  protectedShareWindowManager_->setDirectShareTestOutputEligible(eligible);
  if (const auto& accessory = protectedShareWindowManager_->accessoryView()) {
    accessory->setDirectShareSessionReady(eligible);
    accessory->setDirectShareButtonHidden(true);
  }
}

void CorvaneController::releaseSourceGuardForLiveSession() {
  cancelTask(sourceGuardReleaseTask_);
  sourceGuardManager_.hide();
  activateSourceApplicationForInteraction(true);
  sourceGuardReleaseTask_ =
      runtime::spawn(runSourceGuardRecheck(weak_from_this(), demoModeGeneration_));
}

runtime::Task<void> CorvaneController::runSourceGuardRecheck(
    std::weak_ptr<CorvaneController> weakSelf, std::uint64_t generation) {
  co_await runtime::sleep(kSourceGuardRecheckDelay);
  if (co_await runtime::isCancelled()) co_return;
  auto self = weakSelf.lock();
  if (!self || self->demoModeGeneration_ != generation || !*self->isDemoModeOn_ ||
      !self->protectedShareEngine_->renderedFrame->has_value()) {
    co_return;
  }
  if (self->isSourceGuardVisible()) {
    self->sourceGuardManager_.hide();
    self->record("source_guard_release_recovered",
                 {{"sessionGeneration", std::to_string(generation)}});
  }
  self->activateSourceApplicationForInteraction(true);
  self->sourceGuardReleaseTask_ = {};
}

// ---- Desktop changes

void CorvaneController::bindApplicationActivation() {
  std::weak_ptr<CorvaneController> weakSelf = weak_from_this();
  // The workspace reports each change on a turn after it happened.
  cancellables_.push_back(
      services_.desktop.workspace->observe([weakSelf](const platform::WorkspaceEvent& event) {
        runtime::assertMainActor();
        if (auto self = weakSelf.lock()) self->handleWorkspaceEvent(event);
      }));
}

void CorvaneController::handleWorkspaceEvent(const platform::WorkspaceEvent& event) {
  using Kind = platform::WorkspaceEventKind;
  if (event.kind == Kind::activeDesktopChanged) {
    beginSourceSpaceTransition("space_changed");
    return;
  }
  if (!event.application) return;
  const auto& application = *event.application;
  switch (event.kind) {
    case Kind::applicationActivated:
      // Corvane coming forward may be the user returning from granting a permission.
      if (isOwnApplication(application)) refreshPermissionStates("application_activated", false);
      handleApplicationActivated(application);
      break;
    case Kind::applicationLaunched:
      handleApplicationLaunched(application);
      break;
    case Kind::applicationTerminated:
      handleApplicationTerminated(application);
      break;
    case Kind::applicationHidden:
      handleApplicationHidden(application);
      break;
    default:
      break;
  }
}

bool CorvaneController::isDesktopIconOwner(const platform::RunningApplication& application) {
  if (auto owner = services_.desktop.workspace->desktopWindowOwner()) {
    desktopIconOwnerID_ = owner->bundleIdentifier;
  }
  return desktopIconOwnerID_ && !application.bundleIdentifier.empty() &&
         application.bundleIdentifier == *desktopIconOwnerID_;
}

void CorvaneController::holdUntilFilterCovers(const platform::RunningApplication& application) {
  protectedShareEngine_->refreshCaptureFilterForApplicationChange(
      true, application.bundleIdentifier, application.processIdentifier);
}

// The file manager is not excluded as an application (its desktop windows are, by their type), so
// the filter can never list it: the hold waits for the filter to be applied again, not for it.
void CorvaneController::holdUntilFilterReapplied() {
  protectedShareEngine_->refreshCaptureFilterForApplicationChange(true, std::nullopt, std::nullopt);
}

void CorvaneController::refreshCaptureFilter() {
  protectedShareEngine_->refreshCaptureFilterForApplicationChange(false, std::nullopt,
                                                                  std::nullopt);
}

void CorvaneController::handleApplicationActivated(
    const platform::RunningApplication& application) {
  if (*isDemoModeOn_ && !isOwnApplication(application) &&
      isEligibleInteractionTarget(application)) {
    if (isProtectedApplication(application)) {
      protectedShareEngine_->setForegroundProtectedApplication(nameOrFallback(application));
      holdUntilFilterCovers(application);
    } else {
      protectedShareEngine_->setForegroundProtectedApplication(std::nullopt);
      if (protectionOptions_->hideDesktopIcons && isDesktopIconOwner(application)) {
        holdUntilFilterReapplied();
      }
    }
    refreshPresenterControlBar();
  }
  if (*isDemoModeOn_ && !protectedShareEngine_->renderedFrame->has_value()) {
    // Still preparing: the guard stays in front and the application is not remembered.
    if (isSourceGuardVisible()) {
      sourceGuardManager_.panel()->makeKeyAndOrderFront();
      services_.windowSystem->activateApplication(true);
    }
    refreshPresenterControlBar();
    return;
  }
  rememberSourceApplication(application);
}

void CorvaneController::handleApplicationLaunched(const platform::RunningApplication& application) {
  // This application's own windows come and go as a session starts and ends; it is never the
  // former copy, and reading every process on each of those would hold up the session's start.
  if (!isOwnApplication(application)) refreshLegacyAppMigrationStatus(false);
  if (legacyAppStatus_->isRunning) {
    if (*isDemoModeOn_ && !*isProtectedShareStopping_) stopDemoMode();
    return;
  }
  if (!*isDemoModeOn_) return;
  if (isProtectedApplication(application)) {
    holdUntilFilterCovers(application);
  } else if (protectionOptions_->hideDesktopIcons && isDesktopIconOwner(application)) {
    holdUntilFilterReapplied();
  } else {
    refreshCaptureFilter();
  }
}

void CorvaneController::handleApplicationTerminated(
    const platform::RunningApplication& application) {
  if (!isOwnApplication(application)) refreshLegacyAppMigrationStatus(false);
  if (*isDemoModeOn_ && protectionOptions_->hideDesktopIcons && isDesktopIconOwner(application)) {
    // The file manager relaunches: hold the output until the new filter covers its icons.
    protectedShareEngine_->handleFinderRelaunch();
    return;
  }
  refreshCaptureFilter();
}

// All of this application's windows were iconified during a session: bring them back without
// taking the focus from the presenter's application.
void CorvaneController::handleApplicationHidden(const platform::RunningApplication& application) {
  if (!isOwnApplication(application) || !*isDemoModeOn_) return;
  (void)services_.desktop.workspace->unhide(services_.ownProcessIdentifier);
  refreshPresenterControlBar();
  record("protected_share_application_visibility_restored");
}

void CorvaneController::beginSourceSpaceTransition(const std::string& reason) {
  runtime::assertMainActor();
  if (!*isDemoModeOn_ || !model::isActive(*protectedShareEngine_->phase)) return;
  const std::uint64_t generation = ++sourceContextGeneration_;
  cancelTask(sourceContextTransitionTask_);
  protectedShareEngine_->setSourceContextTransitioning(true);
  if (protectionOptions_->hideDesktopIcons) holdUntilFilterReapplied();
  refreshPresenterControlBar();
  record("source_space_transition_started", {{"contextGeneration", std::to_string(generation)},
                                             {"masking", "disabled"},
                                             {"reason", reason}});
  sourceContextTransitionTask_ =
      runtime::spawn(runSourceContextTransition(weak_from_this(), generation));
}

runtime::Task<void> CorvaneController::runSourceContextTransition(
    std::weak_ptr<CorvaneController> weakSelf, std::uint64_t generation) {
  co_await runtime::sleep(kSourceContextSettleDelay);
  if (co_await runtime::isCancelled()) co_return;
  auto self = weakSelf.lock();
  if (!self || !*self->isDemoModeOn_ || self->sourceContextGeneration_ != generation) co_return;
  self->protectedShareEngine_->setSourceContextTransitioning(false);
  self->sourceContextTransitionTask_ = {};
  self->refreshPresenterControlBar();
  self->record("source_space_transition_completed",
               {{"contextGeneration", std::to_string(generation)}, {"masking", "disabled"}});
}

// ---- Screens and termination

void CorvaneController::bindScreenParameters() {
  std::weak_ptr<CorvaneController> weakSelf = weak_from_this();
  cancellables_.push_back(services_.desktop.screens->observeChanges([weakSelf] {
    runtime::postToMain(weakSelf,
                        [](CorvaneController& self) { self.handleScreenParametersChanged(); });
  }));
}

void CorvaneController::handleScreenParametersChanged() {
  // The shared display may have changed size or place: the capture follows it now, not at the
  // next window that maps.
  refreshCaptureFilter();
  const bool wasHidden = *isProtectedShareWindowHiddenLocally_;
  const bool adapted = protectedShareWindowManager_->screenParametersDidChange();
  if (!wasHidden) return;
  if (adapted) {
    record("protected_share_hidden_window_adapted");
    return;
  }
  record("protected_share_hidden_window_adaptation_failed");
  if (!*isProtectedShareWindowHiddenLocally_) return;
  if (protectedShareWindowManager_->showLiveWindowLocally()) {
    completeLocalPreviewRestore("Preview restored after the display layout changed",
                                "protected_share_hidden_display_change_recovered");
  } else {
    statusMessage_.set(
        "Preview could not adapt to the new display layout; restore or stop Protected Share");
    record("protected_share_hidden_display_change_recovery_failed");
    startLocalPreviewPresentationWatchdog();
  }
}

void CorvaneController::bindTerminationRestore() {
  std::weak_ptr<CorvaneController> weakSelf = weak_from_this();
  // At once: the restore is done before the termination notification's post returns.
  cancellables_.push_back(services_.notifications->addObserver(
      kWillTerminateNotification, [weakSelf](const runtime::Notification&) {
        if (auto self = weakSelf.lock()) self->restoreWorkspaceForTermination();
      }));
}

}  // namespace corvane::app
