// The presenter's side of a running session: the presenter control bar, hiding the live preview
// on this screen and bringing it back (with the watch over a hidden preview), the retry actions,
// and handing input back to the application the presenter shares from.
#include "app/corvane_controller.h"
#include "model/diagnostic_reporter.h"
#include "runtime/main_actor.h"

namespace corvane::app {
namespace {

constexpr const char* kPreviewRestoreAbandonedMessage =
    "Protected Share stopped because its hidden preview could not be restored";

}  // namespace

std::weak_ptr<menubar::PresenterControlBarController> CorvaneController::barController() {
  return std::static_pointer_cast<menubar::PresenterControlBarController>(shared_from_this());
}

// ---- The presenter control bar

bool CorvaneController::isLiveSessionForBar() const {
  const auto phase = *protectedShareEngine_->phase;
  return *isDemoModeOn_ && protectedShareEngine_->renderedFrame->has_value() &&
         (phase == model::ProtectedSharePhase::sharing ||
          phase == model::ProtectedSharePhase::analyzing);
}

void CorvaneController::refreshPresenterControlBar() {
  runtime::assertMainActor();
  using menubar::PresenterControlBarController;
  using menubar::PresenterControlBarMode;
  if (!*isDemoModeOn_) {
    presenterControlBarManager_->hide();
    return;
  }
  const auto displayID = protectionOptions_->selectedDisplayID;
  const auto controller = barController();
  menubar::PresenterControlBarContent content;
  content.action = menubar::barAction(controller, &PresenterControlBarController::stopDemoMode);
  if (!isLiveSessionForBar()) {
    if (!isSourceGuardVisible()) {
      presenterControlBarManager_->hide();
      return;
    }
    presenterControlBarManager_->show(displayID,
                                      isProtectedSharePreparing()
                                          ? PresenterControlBarMode::preparing()
                                          : PresenterControlBarMode::sourceSealed(),
                                      std::move(content));
    return;
  }
  const auto& engine = *protectedShareEngine_;
  PresenterControlBarMode::ProtectedShareLive live;
  live.excludedAppCount = *hiddenAppsCount_;
  live.isPaused = *engine.isPublishingPaused;
  live.isHoldingExcludedApp = engine.foregroundProtectedApplicationName->has_value();
  live.isSwitchingSpace = *engine.isSourceContextTransitioning;
  live.isSpaceRecoveryRequired = engine.sourceContextRecoveryMessage->has_value();
  // While an excluded application is in front the bar names it.
  live.interactionTarget =
      engine.foregroundProtectedApplicationName->value_or(*interactionTargetName_);

  const bool hidden = *isProtectedShareWindowHiddenLocally_;
  if (hidden ? !directShareTestState_->retainsOutput() : canHideProtectedShareWindowLocally()) {
    content.previewVisibilityAction = menubar::barAction(
        controller, hidden
                        ? &PresenterControlBarController::showProtectedShareLiveWindow
                        : &PresenterControlBarController::requestHideProtectedShareWindowLocally);
  }
  content.isPreviewHidden = hidden;
  content.controlAreas = protectedShareWindowManager_->controlAreas();
  content.isPreviewActualSize = protectedShareWindowManager_->viewportState().sizingMode ==
                                share_window::ProtectedShareSizingMode::actual;
  content.fitPreviewAction =
      menubar::barAction(controller, &PresenterControlBarController::fitProtectedSharePreview);
  content.actualSizePreviewAction = menubar::barAction(
      controller, &PresenterControlBarController::showProtectedSharePreviewAtActualSize);
  content.movePreviewAction = menubar::barAction(
      controller, &PresenterControlBarController::moveProtectedSharePreviewToNextCorner);
  if (live.isSpaceRecoveryRequired) {
    content.secondaryAction = menubar::barAction(
        controller, &PresenterControlBarController::retrySourceContextTransition);
  } else if (!live.isSwitchingSpace) {
    content.secondaryAction =
        menubar::barAction(controller, &PresenterControlBarController::togglePublishingPaused);
  }
  presenterControlBarManager_->show(displayID, PresenterControlBarMode::protectedShareLive(live),
                                    std::move(content));
}

void CorvaneController::fitProtectedSharePreview() {
  protectedShareWindowManager_->fitLiveWindow();
  refreshPresenterControlBar();
}

void CorvaneController::showProtectedSharePreviewAtActualSize() {
  protectedShareWindowManager_->showLiveWindowAtActualSize();
  refreshPresenterControlBar();
}

void CorvaneController::moveProtectedSharePreviewToNextCorner() {
  protectedShareWindowManager_->moveLivePreviewToNextCorner();
}

// ---- Hiding the preview on this screen

bool CorvaneController::canChangePreviewVisibility() const {
  return isProtectedShareHealthy() && !*isProtectedShareWindowHiddenLocally_ &&
         !directShareTestState_->retainsOutput();
}

void CorvaneController::requestHideProtectedShareWindowLocally() {
  runtime::assertMainActor();
  if (!canChangePreviewVisibility()) return;
  const auto& window = protectedShareWindowManager_->window();
  if (!window || window->windowNumber() == 0) {
    statusMessage_.set("Protected Share preview is not ready to hide");
    return;
  }
  platform::Alert alert;
  alert.style = platform::AlertStyle::informational;
  alert.message = "Hide the preview on this screen?";
  alert.informativeText =
      "First start sharing \u201CCorvane Protected Share\u201D in your meeting or recording app. "
      "Linux does not tell Corvane which app is capturing this window, so confirm the receiving "
      "preview after hiding.";
  alert.buttons = {"Keep Preview Visible", "I Started Sharing"};
  const auto answer =
      services_.dialogs ? services_.dialogs->runModalAlert(alert) : std::optional<std::size_t>{};
  if (answer != std::size_t{1}) {
    statusMessage_.set("Protected Share preview remains visible");
    return;
  }
  if (!canHideProtectedShareWindowLocally()) return;
  record("protected_share_window_hide_confirmed");
  hideProtectedShareWindowLocally();
}

void CorvaneController::hideProtectedShareWindowLocally() {
  runtime::assertMainActor();
  if (!canChangePreviewVisibility()) return;
  if (!protectedShareWindowManager_->hideLiveWindowLocally()) return;
  isProtectedShareWindowHiddenLocally_.set(true);
  statusMessage_.set("Protected Share preview is hidden on this screen");
  record("protected_share_window_hidden_locally");
  failedPreviewRestores_ = 0;
  startLocalPreviewPresentationWatchdog();
  refreshPresenterControlBar();
  activateSourceApplicationForInteraction(true);
}

void CorvaneController::completeLocalPreviewRestore(const std::string& message,
                                                    const std::string& event) {
  cancelTask(localPreviewPresentationWatchdogTask_);
  failedPreviewRestores_ = 0;
  isProtectedShareWindowHiddenLocally_.set(false);
  statusMessage_.set(message);
  record(event);
  refreshPresenterControlBar();
}

// ---- The watch over a hidden preview

void CorvaneController::startLocalPreviewPresentationWatchdog(double firstPassDelay) {
  cancelTask(localPreviewPresentationWatchdogTask_);
  auto surface = protectedShareEngine_->outputSurface();
  const auto& window = protectedShareWindowManager_->window();
  if (!window || window->windowNumber() == 0) {
    statusMessage_.set("Protected Share stopped because its preview source disappeared");
    record("protected_share_hidden_capture_source_missing");
    if (!*isProtectedShareStopping_) stopDemoMode();
    return;
  }
  localPreviewPresentationWatchdogTask_ = runtime::spawn(runPresentationWatchdog(
      weak_from_this(), demoModeGeneration_, window->windowNumber(), surface, firstPassDelay));
}

runtime::Task<void> CorvaneController::runPresentationWatchdog(
    std::weak_ptr<CorvaneController> weakSelf, std::uint64_t generation, std::uint32_t windowNumber,
    std::shared_ptr<capture::ProtectedOutputSurface> surface, double firstPassDelay) {
  auto isCurrent = [&](CorvaneController& self) {
    return self.demoModeGeneration_ == generation && *self.isDemoModeOn_ &&
           *self.isProtectedShareWindowHiddenLocally_;
  };
  if (firstPassDelay > 0) co_await runtime::sleep(firstPassDelay);
  while (true) {
    if (co_await runtime::isCancelled()) co_return;
    {
      auto self = weakSelf.lock();
      if (!self || !isCurrent(*self)) co_return;
    }
    const auto probe = surface->requestPresentationProbe();
    if (!probe) break;
    co_await runtime::sleep(kPresentationWatchdogInterval);
    if (co_await runtime::isCancelled()) co_return;
    const auto presentedAt = surface->presentationStats().lastPresentedAt;
    if (!presentedAt || *presentedAt < *probe) break;
    auto self = weakSelf.lock();
    if (!self || !isCurrent(*self)) co_return;
    const auto& window = self->protectedShareWindowManager_->window();
    if (!window || window->windowNumber() != windowNumber) {
      self->statusMessage_.set("Protected Share stopped because its window source changed");
      self->record("protected_share_hidden_window_source_changed");
      if (!*self->isProtectedShareStopping_) self->stopDemoMode();
      co_return;
    }
  }
  if (auto self = weakSelf.lock()) self->restoreHiddenPreviewAfterPresentationStopped();
}

// The hidden preview stopped being presented: show it again. A restore that fails is tried again
// after the watch interval, and after kMaximumFailedPreviewRestores failures in a row the session
// stops rather than share a window nobody can see is working.
void CorvaneController::restoreHiddenPreviewAfterPresentationStopped() {
  if (!*isProtectedShareWindowHiddenLocally_) return;
  if (protectedShareWindowManager_->showLiveWindowLocally()) {
    completeLocalPreviewRestore("Preview restored because hidden presentation stopped",
                                "protected_share_hidden_presentation_recovered");
    return;
  }
  ++failedPreviewRestores_;
  record("protected_share_hidden_presentation_recovery_failed");
  if (failedPreviewRestores_ >= kMaximumFailedPreviewRestores) {
    statusMessage_.set(kPreviewRestoreAbandonedMessage);
    record("protected_share_hidden_presentation_recovery_abandoned",
           {{"attempts", std::to_string(failedPreviewRestores_)}});
    if (!*isProtectedShareStopping_) stopDemoMode();
    return;
  }
  statusMessage_.set("Hidden preview stopped presenting; restore or stop Protected Share");
  startLocalPreviewPresentationWatchdog(kPresentationWatchdogInterval);
}

// ---- Retries

void CorvaneController::retrySourceContextTransition() {
  runtime::assertMainActor();
  if (*isDemoModeOn_ && model::isActive(*protectedShareEngine_->phase) &&
      protectedShareEngine_->sourceContextRecoveryMessage->has_value()) {
    beginSourceSpaceTransition("manual_retry");
  }
}

void CorvaneController::retryProtectedShare() {
  runtime::assertMainActor();
  // A retry while a start is under way would stop the engine under it.
  if (*isProtectedShareStopping_ || *isProtectedShareStarting_) return;
  isProtectedShareStopping_.set(true);
  protectedShareStopTask_ = runtime::spawn(runRetry(weak_from_this(), protectedShareEngine_));
}

runtime::Task<void> CorvaneController::runRetry(
    std::weak_ptr<CorvaneController> weakSelf,
    std::shared_ptr<capture::ProtectedShareEngine> engine) {
  auto self = co_await awaitEngineStop(std::move(weakSelf), std::move(engine));
  if (self) co_await self->startDemoMode();
}

// ---- The application input goes back to

bool CorvaneController::isEligibleInteractionTarget(
    const platform::RunningApplication& application) const {
  if (application.isTerminated || application.isHidden || !application.hasOrdinaryWindows ||
      application.bundleIdentifier.empty() || isOwnApplication(application)) {
    return false;
  }
  const auto ownID = services_.bundle->bundleIdentifier();
  return !ownID || application.bundleIdentifier != *ownID;
}

void CorvaneController::rememberSourceApplication(const platform::RunningApplication& application) {
  runtime::assertMainActor();
  if (!isEligibleInteractionTarget(application)) return;
  lastSourceApplication_ = application;
  interactionTargetName_.set(application.localizedName.empty() ? kDefaultInteractionTargetName
                                                               : application.localizedName);
}

void CorvaneController::activateSourceApplicationForInteraction(bool force) {
  if (!force && hasActivatedSourceForCurrentSession_) return;
  auto& workspace = *services_.desktop.workspace;
  // The remembered application as it is now: hidden, or gone when no longer running.
  if (lastSourceApplication_) {
    auto remembered = *lastSourceApplication_;
    remembered.isTerminated = true;
    for (const auto& running : workspace.runningApplications()) {
      if (running.processIdentifier == remembered.processIdentifier &&
          running.bundleIdentifier == remembered.bundleIdentifier) {
        remembered = running;
      }
    }
    lastSourceApplication_ = remembered;
  }
  if (lastSourceApplication_ && isEligibleInteractionTarget(*lastSourceApplication_)) {
    (void)workspace.activate(lastSourceApplication_->processIdentifier);
    if (!lastSourceApplication_->localizedName.empty()) {
      interactionTargetName_.set(lastSourceApplication_->localizedName);
    }
    hasActivatedSourceForCurrentSession_ = true;
    record("protected_share_input_target_activated",
           {{"bundleID", lastSourceApplication_->bundleIdentifier}});
    return;
  }
  std::vector<platform::RunningApplication> candidates;
  if (auto frontmost = workspace.frontmostApplication()) candidates.push_back(*frontmost);
  for (const auto& running : workspace.runningApplications()) {
    if (running.isActive) candidates.push_back(running);
  }
  for (const auto& candidate : candidates) {
    if (!isEligibleInteractionTarget(candidate)) continue;
    lastSourceApplication_ = candidate;
    interactionTargetName_.set(candidate.localizedName.empty() ? kDefaultInteractionTargetName
                                                               : candidate.localizedName);
    (void)workspace.activate(candidate.processIdentifier);
    hasActivatedSourceForCurrentSession_ = true;
    record("protected_share_input_target_activated",
           {{"bundleID", candidate.bundleIdentifier}, {"fallback", "true"}});
    return;
  }
  interactionTargetName_.set(kDefaultInteractionTargetName);
}

}  // namespace corvane::app
