#include <utility>

#include "capture/capture_start_checks.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

using model::ProtectedSharePhase;

namespace {

bool canStartFrom(ProtectedSharePhase phase) {
  return phase == ProtectedSharePhase::idle || phase == ProtectedSharePhase::permissionRequired ||
         phase == ProtectedSharePhase::failed;
}

}  // namespace

void LegacySourceProtectionEngine::configure(LegacySourceProtectionConfiguration configuration) {
  runtime::assertMainActor();
  protectedAppBundleIDs_ = std::move(configuration.protectedAppBundleIDs);
  selectedDisplayID_ = configuration.selectedDisplayID;
  enabledKinds_ = std::move(configuration.enabledKinds);
  alwaysHideWords_ = std::move(configuration.alwaysHideWords);
  neverHideWords_ = std::move(configuration.neverHideWords);
  maskAllRecognizedText_ = configuration.maskAllRecognizedText;
  sourceOverlayWindowIDs_ = std::move(configuration.sourceOverlayWindowIDs);
}

runtime::Task<void> LegacySourceProtectionEngine::start() {
  runtime::assertMainActor();
  return runStart(shared_from_this());
}

runtime::Task<void> LegacySourceProtectionEngine::stop() {
  runtime::assertMainActor();
  return runStop(shared_from_this());
}

void LegacySourceProtectionEngine::cancelRunTasks() {
  firstFrameWatchdogTask_.cancel();
  livenessWatchdogTask_.cancel();
  stopScreenshotFallback();
}

runtime::Task<void> LegacySourceProtectionEngine::runStart(
    std::shared_ptr<LegacySourceProtectionEngine> self) {
  auto& engine = *self;
  if (!canStartFrom(engine.phase.value())) co_return;
  const auto lifecycle = ++engine.lifecycleGeneration_;
  engine.cancelRunTasks();

  // Without a text recognizer no frame could ever be verified: refuse at once, not after the
  // first-frame watchdog.
  if (!engine.sourceFrameMaskingEngine_.analyzer) {
    engine.enterFailedState(kTextRecognitionUnavailableMessage);
    engine.record("protected_share_start_failed", {{"reason", "text_recognition_unavailable"}});
    co_return;
  }

  if (const auto refusal =
          capture::screenCaptureRefusal(engine.services_.desktop.permissions.get())) {
    const std::string& message = *refusal;
    engine.lastError.set(message);
    engine.statusMessage.set(message);
    engine.phase.set(ProtectedSharePhase::permissionRequired);
    engine.record("protected_share_permission_required");
    co_return;
  }

  // A fresh run: nothing of the previous one stays visible, owed or counted.
  engine.renderedFrame.set(std::nullopt);
  engine.lastError.set(std::nullopt);
  engine.detectedItems.setIfChanged({});
  engine.metrics.set(model::ProtectedShareMetrics::empty());
  engine.receivedSampleCount.setIfChanged(0);
  engine.isPublishingPaused.setIfChanged(false);
  engine.isSourceContextTransitioning.setIfChanged(false);
  engine.isCaptureFilterTransitioning.setIfChanged(false);
  engine.isHoldingPreviousVerifiedFrame.setIfChanged(false);
  engine.sourceContextRecoveryMessage.setIfChanged(std::nullopt);
  engine.cleanFramesRequiredBeforePublish_ = 0;
  engine.minimumAcceptedFrameTimestamp_.reset();
  engine.verifiedSourceOverlayRevision_.reset();
  engine.hasReportedSourceMaskCaptureMismatch_ = false;
  engine.captureFilterUnconfirmedSince_.reset();
  engine.sourceOverlayRedactions_.clear();
  engine.liveHealthMonitoringStartedAt_.reset();
  engine.presenterSeenSince_.reset();
  engine.lastSampleTime_.reset();
  engine.lastPublishedFrameTime_.reset();
  engine.captureStall_.reset();
  engine.firstFrameWatchdogExtensionCount_ = 0;
  engine.capturedFrameCount_ = 0;
  engine.outputFrameCount_ = 0;
  engine.lastRateCapturedFrameCount_ = 0;
  engine.lastRateOutputFrameCount_ = 0;
  engine.lastRateVerifiedFrameCount_ = 0;
  engine.lastMetricsPublishTime_ = runtime::uptime();
  engine.phase.set(ProtectedSharePhase::starting);
  engine.statusMessage.set(kStartingStatus);
  engine.record("protected_share_start_requested",
                {{"excludedApps", std::to_string(engine.protectedAppBundleIDs_.size())}});

  auto supervisor = engine.supervisor_;
  auto contentTask = supervisor->fetchContent();
  const auto content = co_await std::move(contentTask);
  if (!engine.isRunCurrent(lifecycle)) co_return;
  auto fail = [&engine](const std::string& message, std::map<std::string, std::string> fields) {
    engine.record("protected_share_start_failed", std::move(fields));
    runtime::spawn(engine.failActiveStream(message));
  };
  if (!content) {
    fail(capture::withStopAndRetryAdvice("Screen capture did not list the displays in time"),
         {{"reason", "content_timeout"}});
    co_return;
  }
  if (!content->ok()) {
    fail(capture::withStopAndRetryAdvice(content->message()),
         {{"reason", "content_failed"}, {"error", content->message()}});
    co_return;
  }
  supervisor->forgetConfiguration();
  const auto display = supervisor->chooseDisplay(content->value(), engine.selectedDisplayID_);
  if (!display) {
    fail(
        "No display is available to capture. Connect a display, then start Protected Share "
        "again.",
        {{"reason", "no_display"}});
    co_return;
  }

  const auto snapshot = engine.contentFilterSnapshot(*display, content->value());
  engine.adoptFilter(snapshot, *display);
  auto startTask = supervisor->start(snapshot, *display, [&engine, supervisor] {
    engine.showOutputSize(supervisor->activeConfiguration());
    engine.isFrameDeliveryEnabled_ = true;
    engine.advanceCaptureGeneration(0);
    engine.syncFrameDeliveryState(true);
    engine.records().callbackMonitor->setLastPixelTime(runtime::uptime());
  });
  const auto started = co_await std::move(startTask);
  if (!engine.isRunCurrent(lifecycle) ||
      started.outcome == capture::StreamChange::Outcome::superseded)
    co_return;
  if (!started.isRunning()) {
    fail(capture::withStopAndRetryAdvice(started.error),
         {{"reason", "stream_start_failed"}, {"error", started.error}});
    co_return;
  }

  engine.streamStartedAt_ = runtime::uptime();
  engine.liveHealthMonitoringStartedAt_ = engine.streamStartedAt_;
  engine.phase.set(ProtectedSharePhase::analyzing);
  engine.statusMessage.set(kAwaitingFirstFrameStatus);
  const auto& configuration = supervisor->activeConfiguration();
  engine.record("protected_share_stream_started",
                {{"displayID", std::to_string(display->displayID)},
                 {"width", std::to_string(configuration.width)},
                 {"height", std::to_string(configuration.height)},
                 {"excludedApps", std::to_string(snapshot.excludedBundleIDs.size())},
                 {"overlayWindows", std::to_string(snapshot.filter.exceptingWindowIDs.size())}});
  engine.firstFrameWatchdogTask_ =
      runtime::spawn(runFirstFrameWatchdog(engine.weak_from_this(), lifecycle));
  engine.scheduleScreenshotFallback();
}

runtime::Task<void> LegacySourceProtectionEngine::runStop(
    std::shared_ptr<LegacySourceProtectionEngine> self) {
  auto& engine = *self;
  const auto lifecycle = ++engine.lifecycleGeneration_;
  engine.cancelRunTasks();
  engine.isFrameDeliveryEnabled_ = false;
  auto stream = engine.supervisor_->release();
  engine.supervisor_->forgetConfiguration();
  engine.advanceCaptureGeneration(0);
  engine.activeDisplayID_.reset();
  engine.activeCaptureApplicationIdentities_.clear();
  engine.activeCaptureOverlayWindowIDs_.clear();
  engine.liveHealthMonitoringStartedAt_.reset();
  engine.pendingCaptureFilterApplicationIdentity_.reset();
  engine.isPublishingPaused.setIfChanged(false);
  engine.isSourceContextTransitioning.setIfChanged(false);
  engine.isCaptureFilterTransitioning.setIfChanged(false);
  engine.isHoldingPreviousVerifiedFrame.setIfChanged(false);
  engine.sourceContextRecoveryMessage.setIfChanged(std::nullopt);

  bool stopFailed = false;
  if (stream) {
    engine.phase.set(ProtectedSharePhase::stopping);
    engine.statusMessage.set(kStoppingStatus);
    auto stopTask = capture::CaptureStreamSupervisor::stop(std::move(stream));
    const auto status = co_await std::move(stopTask);
    if (!status.ok()) {
      stopFailed = true;
      engine.record("protected_share_stop_failed", {{"error", status.message()}});
    }
  }
  if (!engine.isCurrentLifecycle(lifecycle)) co_return;
  engine.renderedFrame.set(std::nullopt);
  engine.phase.set(ProtectedSharePhase::idle);
  engine.statusMessage.set(kIdleStatus);
  engine.record("protected_share_stopped", {{"stopFailed", stopFailed ? "true" : "false"}});
}

runtime::Task<void> LegacySourceProtectionEngine::runFirstFrameWatchdog(
    std::weak_ptr<LegacySourceProtectionEngine> weak, std::uint64_t lifecycle) {
  runtime::Uptime deadline = runtime::uptime() + kFirstFrameTimeout;
  while (true) {
    co_await runtime::sleep(1.0);
    if (co_await runtime::isCancelled()) co_return;
    auto self = weak.lock();
    if (!self || !self->isRunCurrent(lifecycle) || self->renderedFrame.value()) co_return;
    // A hold, or a baseline that waits for the user, legitimately keeps the first frame back.
    if (self->isPublishingPaused.value() || self->isSourceContextTransitioning.value() ||
        self->isCaptureFilterTransitioning.value() || self->pendingBaselineApproval_) {
      deadline = runtime::uptime() + kFirstFrameTimeout;
      continue;
    }
    if (runtime::uptime() < deadline) continue;
    // A first full-frame analysis may be slow: it gets a few more periods.
    if (self->isAnalyzingFrame.value() &&
        self->firstFrameWatchdogExtensionCount_ < kFirstFrameAnalysisExtensions) {
      ++self->firstFrameWatchdogExtensionCount_;
      deadline = runtime::uptime() + kFirstFrameTimeout;
      continue;
    }
    self->record("protected_share_first_frame_timed_out",
                 {{"extensions", std::to_string(self->firstFrameWatchdogExtensionCount_)}});
    auto fail = self->failActiveStream(kFirstFrameMissingMessage);
    co_await std::move(fail);
    co_return;
  }
}

// MARK: - Holds

void LegacySourceProtectionEngine::setPublishingPaused(bool paused) {
  runtime::assertMainActor();
  if (paused == isPublishingPaused.value()) return;
  isPublishingPaused.set(paused);
  syncFrameDeliveryState(false);
  record(paused ? "protected_share_paused" : "protected_share_resumed");
}

void LegacySourceProtectionEngine::beginSourceContextTransition(
    std::optional<std::string> recoveryMessage) {
  runtime::assertMainActor();
  const auto context = ++sourceContextGeneration_;
  isSourceContextTransitioning.setIfChanged(true);
  sourceContextRecoveryMessage.setIfChanged(std::move(recoveryMessage));
  records().mailbox->discardPending();
  syncFrameDeliveryState(false);
  record("protected_share_source_context_transition_started",
         {{"contextGeneration", std::to_string(context)}});
}

void LegacySourceProtectionEngine::endSourceContextTransition() {
  runtime::assertMainActor();
  if (!isSourceContextTransitioning.value()) return;
  isSourceContextTransitioning.set(false);
  sourceContextRecoveryMessage.setIfChanged(std::nullopt);
  // Only what is captured from now on belongs to the new context; and the pipeline, whose work is
  // tagged with the old context, starts over in a new capture generation under the new one.
  minimumAcceptedFrameTimestamp_ = runtime::uptime();
  continueCaptureInNewGeneration(0);
  record("protected_share_source_context_transition_completed",
         {{"contextGeneration", std::to_string(sourceContextGeneration_)}});
}

void LegacySourceProtectionEngine::setForegroundProtectedApplication(
    std::optional<std::string> name) {
  runtime::assertMainActor();
  foregroundProtectedApplicationName.setIfChanged(std::move(name));
  syncFrameDeliveryState(false);
}

}  // namespace corvane::verification
