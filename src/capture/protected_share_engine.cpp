#include "capture/protected_share_engine.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "capture/capture_start_checks.h"
#include "capture/protected_capture_operation.h"
#include "capture/protected_content_input_activity.h"
#include "model/diagnostic_reporter.h"
#include "model/protected_system_surface_capture_policy.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"

namespace corvane::capture {

using model::diagnosticFlag;
using model::ProtectedSharePhase;

namespace {

bool canStartFrom(ProtectedSharePhase phase) {
  return phase == ProtectedSharePhase::idle || phase == ProtectedSharePhase::permissionRequired ||
         phase == ProtectedSharePhase::failed;
}

}  // namespace

std::shared_ptr<ProtectedShareEngine> ProtectedShareEngine::make(
    ProtectedShareEngineServices services) {
  auto engine = std::make_shared<ProtectedShareEngine>(std::move(services));
  std::weak_ptr<ProtectedShareEngine> weak = engine;
  engine->intake_->records().relay->setPublishedHandler([weak](const ProtectedRelayedFrame& frame) {
    runtime::postToMain(weak,
                        [frame](ProtectedShareEngine& self) { self.handleRelayedFrame(frame); });
  });
  std::weak_ptr<ProtectedFrameIntake> weakIntake = engine->intake_;
  engine->intake_->setHandlers(ProtectedFrameIntake::engineHandlers(
      weakIntake, engine->samplesQueue_, engine->services_.recorder, [weak] {
        runtime::postToMain(weak,
                            [](ProtectedShareEngine& self) { self.publishFrameDeliveryReport(); });
      }));
  CaptureStreamSupervisor::Sinks sinks;
  sinks.sample = [weakIntake](const platform::CapturedSample& sample, std::uint64_t identity) {
    if (auto intake = weakIntake.lock()) intake->handleSample(sample, identity);
  };
  sinks.stoppedWithError = [weak](std::uint64_t identity, const runtime::Error& error) {
    if (auto self = weak.lock()) self->handleStreamStoppedWithError(identity, error);
  };
  engine->supervisor_ = CaptureStreamSupervisor::make(engine->services_.desktop.capture,
                                                      engine->services_.desktop.screens,
                                                      engine->samplesQueue_, std::move(sinks));
  return engine;
}

ProtectedShareEngine::ProtectedShareEngine(ProtectedShareEngineServices services)
    : services_(std::move(services)),
      surface_(std::make_shared<ProtectedOutputSurface>()),
      samplesQueue_(runtime::makeSerialQueue(kProtectedShareSamplesQueueLabel)) {
  if (!services_.recorder) services_.recorder = model::sharedEventRecorder();
  ProtectedFrameIntake::Records records;
  records.deliveryState = std::make_shared<ProtectedFrameDeliveryState>();
  records.mailbox = std::make_shared<LatestCapturedFrameMailbox>();
  records.cadenceGate = std::make_shared<ProtectedFrameCadenceGate>();
  records.callbackMonitor = std::make_shared<ProtectedCaptureCallbackMonitor>();
  records.relay = ProtectedFrameRelay::make(surface_, records.deliveryState);
  intake_ = std::make_shared<ProtectedFrameIntake>(std::move(records));
  cursorTracker_ = ProtectedCursorTracker::make(surface_, services_.desktop.cursorSource);
  std::weak_ptr<ProtectedFrameIntake> weakIntake = intake_;
  screenshots_ = ProtectedScreenshotFallback::make(
      services_.desktop.capture,
      [weakIntake](ProtectedCapturedFrame frame, std::uint64_t generation) {
        if (auto intake = weakIntake.lock()) intake->offer(std::move(frame), generation);
      },
      [this](std::uint64_t generation) {
        return generation == captureGeneration_.current() && model::isActive(phase.value());
      },
      services_.recorder);
}

ProtectedShareEngine::~ProtectedShareEngine() {
  cancelSessionTasks();
}

// MARK: - Start and stop

runtime::Task<void> ProtectedShareEngine::start(std::set<std::string> protectedAppBundleIDs,
                                                bool hideDesktopIcons,
                                                std::set<std::uint32_t> /*sourceOverlayWindowIDs*/,
                                                std::optional<std::uint32_t> selectedDisplayID) {
  runtime::assertMainActor();
  StartRequest request;
  request.protectedAppBundleIDs = std::move(protectedAppBundleIDs);
  request.hideDesktopIcons = hideDesktopIcons;
  request.selectedDisplayID = selectedDisplayID;
  return runStart(shared_from_this(), std::move(request));
}

runtime::Task<void> ProtectedShareEngine::stop() {
  runtime::assertMainActor();
  return runStop(shared_from_this());
}

runtime::Task<void> ProtectedShareEngine::runStart(std::shared_ptr<ProtectedShareEngine> self,
                                                   StartRequest request) {
  auto& engine = *self;
  if (!canStartFrom(engine.phase.value())) co_return;
  const auto session = engine.sessionGeneration_.advance();
  engine.cancelSessionTasks();
  engine.protectedAppBundleIDs_ = std::move(request.protectedAppBundleIDs);
  engine.hideDesktopIcons_ = request.hideDesktopIcons;
  engine.selectedDisplayID_ = request.selectedDisplayID;

  if (const auto refusal = screenCaptureRefusal(engine.services_.desktop.permissions.get())) {
    const std::string& message = *refusal;
    engine.lastError.set(message);
    engine.statusMessage.set(message);
    engine.phase.set(ProtectedSharePhase::permissionRequired);
    engine.record("protected_share_permission_required");
    co_return;
  }

  // A fresh session: nothing of the previous one stays visible or counted.
  engine.surface_->clear();
  engine.renderedFrame.set(std::nullopt);
  engine.lastError.set(std::nullopt);
  engine.metrics.set(model::ProtectedShareMetrics::empty());
  engine.isPublishingPaused.setIfChanged(false);
  engine.isSourceContextTransitioning.setIfChanged(false);
  engine.isCaptureFilterTransitioning.setIfChanged(false);
  engine.sourceContextRecoveryMessage.setIfChanged(std::nullopt);
  engine.minimumAcceptedTimestamp_.reset();
  engine.liveMonitoringStartedAt_.reset();
  engine.lastRelayedAt_.reset();
  engine.captureStall_.reset();
  engine.lastSampleDate_.reset();
  engine.capturedFrameCount_ = 0;
  engine.receivedSampleCount_ = 0;
  engine.publishedFrameCount_ = 0;
  engine.lastRateCapturedFrameCount_ = 0;
  engine.lastRateOutputFrameCount_ = 0;
  engine.startRequestedAt_ = runtime::uptime();
  engine.phase.set(ProtectedSharePhase::starting);
  engine.statusMessage.set("Starting Protected Share");
  engine.record("protected_share_start_requested",
                {{"excludedApps", std::to_string(engine.protectedAppBundleIDs_.size())},
                 {"hideDesktopIcons", diagnosticFlag(engine.hideDesktopIcons_)}});

  auto supervisor = engine.supervisor_;
  auto contentTask = supervisor->fetchContent();
  auto content = co_await std::move(contentTask);
  if (!engine.isCurrentSession(session)) co_return;
  if (!content) {
    engine.failClosed(withStopAndRetryAdvice("Screen capture did not list the displays in time"),
                      "protected_share_start_failed", {{"reason", "content_timeout"}});
    co_return;
  }
  if (!content->ok()) {
    engine.failClosed(withStopAndRetryAdvice(content->message()), "protected_share_start_failed",
                      {{"reason", "content_failed"}, {"error", content->message()}});
    co_return;
  }
  supervisor->forgetConfiguration();
  const auto display = supervisor->chooseDisplay(content->value(), engine.selectedDisplayID_);
  if (!display) {
    engine.failClosed(
        "No display is available to capture. Connect a display, then start "
        "Protected Share again.",
        "protected_share_start_failed", {{"reason", "no_display"}});
    co_return;
  }

  const auto snapshot = buildCaptureFilter(*display, content->value(), engine.exclusionPolicy());
  auto startTask = supervisor->start(snapshot, *display, [self] {
    self->showOutputSize(self->supervisor_->activeConfiguration());
    self->isFrameDeliveryEnabled_ = true;
    self->advanceCaptureGeneration();
    self->syncFrameDeliveryState(true);
    self->records().callbackMonitor->setLastPixelTime(runtime::uptime());
  });
  const auto started = co_await std::move(startTask);
  if (!engine.isCurrentSession(session) || started.outcome == StreamChange::Outcome::superseded)
    co_return;
  if (!started.isRunning()) {
    engine.failClosed(withStopAndRetryAdvice(started.error), "protected_share_start_failed",
                      {{"reason", "stream_start_failed"}, {"error", started.error}});
    co_return;
  }
  engine.protectedBundleIDsInForce.set(snapshot.protectedBundleIDs);
  const auto configuration = supervisor->activeConfiguration();
  // A refresh asked for while the stream started could not be applied before now: its time
  // limit counts from here.
  if (engine.pendingFilterRefresh_)
    engine.pendingFilterRefresh_->deadline = runtime::uptime() + kCaptureFilterApplyTimeout;

  engine.streamStartedAt_ = runtime::uptime();
  engine.liveMonitoringStartedAt_ = engine.streamStartedAt_;
  engine.startCursorTracking(*display);
  if (!engine.renderedFrame.value() && !engine.isHolding())
    engine.statusMessage.set("Waiting for the first protected frame");
  engine.record("protected_share_stream_started",
                {{"displayID", std::to_string(display->displayID)},
                 {"width", std::to_string(configuration.width)},
                 {"height", std::to_string(configuration.height)},
                 {"excludedApps", std::to_string(snapshot.excludedBundleIDs.size())}});
  engine.firstFrameWatchdogTask_ =
      runtime::spawn(runFirstFrameWatchdog(engine.weak_from_this(), session));
  engine.scheduleScreenshotFallback();
  engine.resumeFilterRefreshAfterStart();
}

runtime::Task<void> ProtectedShareEngine::runStop(std::shared_ptr<ProtectedShareEngine> self) {
  auto& engine = *self;
  const auto session = engine.sessionGeneration_.advance();
  engine.cancelSessionTasks();
  engine.cancelCaptureFilterRefresh();
  engine.cursorTracker_->stop();
  auto stream = engine.supervisor_->release();
  engine.isFrameDeliveryEnabled_ = false;
  engine.supervisor_->forgetConfiguration();
  engine.isPublishingPaused.setIfChanged(false);
  engine.isSourceContextTransitioning.setIfChanged(false);
  engine.isCaptureFilterTransitioning.setIfChanged(false);
  engine.sourceContextRecoveryMessage.setIfChanged(std::nullopt);
  engine.protectedBundleIDsInForce.setIfChanged({});
  engine.advanceCaptureGeneration();
  engine.surface_->clear();

  bool stopFailed = false;
  if (stream) {
    engine.phase.set(ProtectedSharePhase::stopping);
    engine.statusMessage.set("Stopping Protected Share");
    auto stopTask = CaptureStreamSupervisor::stop(stream);
    const auto status = co_await std::move(stopTask);
    if (!status.ok()) {
      stopFailed = true;
      engine.record("protected_share_stop_failed", {{"error", status.message()}});
    }
  }
  if (!engine.isCurrentSession(session)) co_return;
  engine.renderedFrame.set(std::nullopt);
  engine.phase.set(ProtectedSharePhase::idle);
  engine.statusMessage.set(kIdleStatus);
  engine.record("protected_share_stopped", {{"stopFailed", diagnosticFlag(stopFailed)}});
}

// MARK: - Capture bookkeeping

void ProtectedShareEngine::startCursorTracking(const platform::ShareableDisplay& display) {
  double scale = 1.0;
  if (services_.desktop.screens) {
    if (auto screen = services_.desktop.screens->screen(display.displayID))
      scale = screen->backingScaleFactor;
  }
  cursorTracker_->start(display.frame, scale);
}

CaptureExclusionPolicy ProtectedShareEngine::exclusionPolicy() const {
  return exclusionPolicyWithSystemSurfaces(
      protectedAppBundleIDs_, services_.additionalExcludedBundleIDs, services_.ownBundleIdentifier,
      services_.ownProcessIdentifier, hideDesktopIcons_);
}

void ProtectedShareEngine::showOutputSize(const platform::StreamConfiguration& configuration) {
  auto updated = metrics.value();
  updated.outputWidth = configuration.width;
  updated.outputHeight = configuration.height;
  metrics.set(updated);
}

void ProtectedShareEngine::advanceCaptureGeneration() {
  const auto generation = captureGeneration_.advance();
  // Frames of earlier generations still on their way to the output are refused from here on.
  surface_->refuseGenerationsBelow(generation);
  records().mailbox->reset(generation);
  syncFrameDeliveryState(false);
}

bool ProtectedShareEngine::isHolding() const {
  return isPublishingPaused.value() || isSourceContextTransitioning.value() ||
         isCaptureFilterTransitioning.value();
}

void ProtectedShareEngine::syncFrameDeliveryState(bool resetCounters) {
  ProtectedFrameDeliveryState::Configuration configuration;
  configuration.generation = captureGeneration_.current();
  configuration.sourceContextGeneration = sourceContextGeneration_.current();
  configuration.streamIdentity = supervisor_->identity();
  configuration.isAcceptingFrames = isFrameDeliveryEnabled_ && supervisor_->stream() != nullptr;
  configuration.minimumTimestamp = minimumAcceptedTimestamp_;
  configuration.isPaused = isHolding();
  if (const auto& display = supervisor_->activeDisplay())
    configuration.displayFrame = display->frame;
  records().deliveryState->update(configuration, resetCounters);
  isHoldingPreviousVerifiedFrame.setIfChanged(configuration.isPaused &&
                                              renderedFrame.value().has_value());
}

bool ProtectedShareEngine::isStillRunning(const CaptureApplicationIdentity& application) const {
  if (!services_.desktop.workspace) return true;
  for (const auto& running : services_.desktop.workspace->runningApplications()) {
    const bool bundleMatches =
        application.bundleID.empty() || running.bundleIdentifier == application.bundleID;
    const bool processMatches =
        application.processID <= 0 || running.processIdentifier == application.processID;
    if (bundleMatches && processMatches) return true;
  }
  return false;
}

bool ProtectedShareEngine::isFirstStreamStarting() const {
  return phase.value() == ProtectedSharePhase::starting &&
         (!supervisor_->stream() || supervisor_->isStarting());
}

bool ProtectedShareEngine::isCurrentSession(std::uint64_t session) const {
  return sessionGeneration_.isCurrent(session);
}

void ProtectedShareEngine::cancelSessionTasks() {
  firstFrameWatchdogTask_.cancel();
  livenessWatchdogTask_.cancel();
  stopScreenshotFallback("session_ended");
  filterRefreshTask_.cancel();
  filterRefreshTask_ = {};
  filterRefreshAwaitsStart_ = false;
  pendingFilterRefresh_.reset();
}

void ProtectedShareEngine::cancelCaptureFilterRefresh() {
  // A replacement already under way finishes (or is superseded by the session ending); only the
  // request that waits is dropped.
  filterRefreshGeneration_.advance();
  pendingFilterRefresh_.reset();
}

void ProtectedShareEngine::failClosed(const std::string& message, const std::string& event,
                                      std::map<std::string, std::string> fields, bool stopStream) {
  cancelSessionTasks();
  cancelCaptureFilterRefresh();
  cursorTracker_->stop();
  auto stream = supervisor_->release();
  isFrameDeliveryEnabled_ = false;
  // The output keeps the last published frame; nothing newer can reach it.
  advanceCaptureGeneration();
  lastError.set(message);
  statusMessage.set(message);
  phase.set(ProtectedSharePhase::failed);
  isPublishingPaused.setIfChanged(false);
  isSourceContextTransitioning.setIfChanged(false);
  isCaptureFilterTransitioning.setIfChanged(false);
  isHoldingPreviousVerifiedFrame.setIfChanged(false);
  record(event, std::move(fields));
  if (stopStream) CaptureStreamSupervisor::stopQuietly(std::move(stream));
}

void ProtectedShareEngine::handleStreamStoppedWithError(std::uint64_t identity,
                                                        const runtime::Error& error) {
  if (!supervisor_->isCurrent(identity)) {
    record("protected_share_stale_stream_error_ignored");
    return;
  }
  failClosed(withStopAndRetryAdvice("Screen capture stopped: " + error.message),
             "protected_share_stream_stopped_with_error", {{"error", error.message}},
             /*stopStream=*/false);
}

// MARK: - Frames and reports

void ProtectedShareEngine::handleRelayedFrame(const ProtectedRelayedFrame& frame) {
  if (frame.generation != captureGeneration_.current() || !model::isActive(phase.value())) return;
  const bool first = !renderedFrame.value().has_value();
  ++publishedFrameCount_;
  lastRelayedAt_ = runtime::uptime();
  renderedFrame.set(model::ProtectedRenderedFrame{frame.sequence, frame.pixelSize, {}});
  if (first) {
    if (phase.value() == ProtectedSharePhase::starting) phase.set(ProtectedSharePhase::sharing);
    setLiveStatus();
    const auto durationMS =
        static_cast<long long>(std::lround((runtime::uptime() - startRequestedAt_) * 1000.0));
    record("protected_share_first_frame_published", {{"durationMS", std::to_string(durationMS)}});
    livenessWatchdogTask_ =
        runtime::spawn(runLivenessWatchdog(weak_from_this(), sessionGeneration_.current()));
  }
  publishMetricsIfNeeded();
}

void ProtectedShareEngine::publishFrameDeliveryReport() {
  auto report = records().deliveryState->takeReport(runtime::uptime());
  if (!report) return;
  const int previous = receivedSampleCount_;
  capturedFrameCount_ = report->acceptedFrameCount;
  receivedSampleCount_ = report->acceptedFrameCount;
  lastSampleDate_ = report->lastSampleDate;
  if (previous == 0) record("protected_share_first_sample_received");
  if (previous < 2 && receivedSampleCount_ >= 2) record("protected_share_live_samples_resumed");
  if (renderedFrame.value()) publishMetricsIfNeeded();
}

void ProtectedShareEngine::publishMetricsIfNeeded(bool force) {
  const auto now = runtime::uptime();
  if (!force && now - lastMetricsPublishAt_ < kMetricsInterval) return;
  const auto stats = surface_->presentationStats();
  auto updated = metrics.value();
  updated.capturedFrames = capturedFrameCount_;
  updated.outputFrames = stats.completedFrames;
  updated.presentationFailures = stats.failedFrames;
  const double dt = std::max(0.001, now - lastMetricsPublishAt_);
  updated.captureFPS =
      static_cast<int>(std::lround((capturedFrameCount_ - lastRateCapturedFrameCount_) / dt));
  updated.outputFPS = static_cast<int>(
      std::lround(std::max(0, stats.completedFrames - lastRateOutputFrameCount_) / dt));
  updated.captureFPS = std::max(0, updated.captureFPS);
  updated.lastFrameDate = stats.lastPresentedAt;
  metrics.set(updated);
  lastRateCapturedFrameCount_ = capturedFrameCount_;
  lastRateOutputFrameCount_ = stats.completedFrames;
  lastMetricsPublishAt_ = now;
  if (now - lastPerformanceReportAt_ >= kPerformanceReportInterval) {
    lastPerformanceReportAt_ = now;
    record("protected_share_performance",
           {{"captureFPS", std::to_string(updated.captureFPS)},
            {"outputFPS", std::to_string(updated.outputFPS)},
            {"width", std::to_string(updated.outputWidth)},
            {"height", std::to_string(updated.outputHeight)},
            {"presentationFailures", std::to_string(updated.presentationFailures)}});
  }
}

std::string ProtectedShareEngine::liveStatusText() const {
  if (const auto& name = foregroundProtectedApplicationName.value())
    return *name + " is excluded from Protected Share";
  return kLiveStatus;
}

void ProtectedShareEngine::setLiveStatus() {
  statusMessage.set(liveStatusText());
}

void ProtectedShareEngine::showStatusAfterHoldEnded() {
  if (!renderedFrame.value() || isSourceContextTransitioning.value() ||
      isCaptureFilterTransitioning.value())
    return;
  if (isPublishingPaused.value()) {
    statusMessage.set(kPausedStatus);
  } else {
    setLiveStatus();
  }
}

void ProtectedShareEngine::record(const std::string& event,
                                  std::map<std::string, std::string> fields) const {
  services_.recorder(event, std::move(fields));
}

// MARK: - Session controls

void ProtectedShareEngine::setForegroundProtectedApplication(std::optional<std::string> name) {
  runtime::assertMainActor();
  foregroundProtectedApplicationName.set(name);
  // The live texts are for a session that publishes: starting, paused, switching desktops or
  // changing its filter, the status says so instead.
  if (phase.value() == model::ProtectedSharePhase::sharing && renderedFrame.value() && !isHolding())
    setLiveStatus();
  record("protected_share_excluded_app_foreground",
         {{"application", name.value_or("")}, {"outputPolicy", "filtered_live"}});
}

void ProtectedShareEngine::setPublishingPaused(bool paused) {
  runtime::assertMainActor();
  if (!renderedFrame.value() || !model::isActive(phase.value()) ||
      paused == isPublishingPaused.value())
    return;
  isPublishingPaused.set(paused);
  // Resuming shows only frames captured from now on, never one that waited through the pause.
  if (!paused) minimumAcceptedTimestamp_ = runtime::uptime();
  syncFrameDeliveryState(false);
  if (paused) {
    statusMessage.set(kPausedStatus);
    record("protected_share_paused");
  } else {
    setLiveStatus();
    record("protected_share_resumed");
  }
}

void ProtectedShareEngine::setSourceContextTransitioning(bool transitioning) {
  runtime::assertMainActor();
  if (!model::isActive(phase.value())) return;
  if (transitioning) {
    const auto context = sourceContextGeneration_.advance();
    isSourceContextTransitioning.set(true);
    sourceContextRecoveryMessage.set(std::nullopt);
    records().mailbox->discardPending();
    syncFrameDeliveryState(false);
    statusMessage.set(renderedFrame.value() ? "Switching desktop; holding the current frame"
                                            : "Waiting for the active desktop");
    record("protected_share_space_transition_started",
           {{"contextGeneration", std::to_string(context)}});
    return;
  }
  if (!isSourceContextTransitioning.value()) return;
  isSourceContextTransitioning.set(false);
  sourceContextRecoveryMessage.set(std::nullopt);
  minimumAcceptedTimestamp_ = runtime::uptime();
  syncFrameDeliveryState(false);
  showStatusAfterHoldEnded();
  record("protected_share_space_transition_completed",
         {{"contextGeneration", std::to_string(sourceContextGeneration_.current())}});
}

void ProtectedShareEngine::handleFinderRelaunch() {
  runtime::assertMainActor();
  if (!model::isActive(phase.value()) || !hideDesktopIcons_) return;
  cancelCaptureFilterRefresh();
  // Held until a filter is read after the relaunch: by the refresh that comes next.
  holdOwedThrough_ = filterRefreshGeneration_.current() + 1;
  beginCaptureFilterTransition();
  record("protected_share_finder_relaunch_held");
}

void ProtectedShareEngine::beginCaptureFilterTransition() {
  isCaptureFilterTransitioning.setIfChanged(true);
  records().mailbox->discardPending();
  syncFrameDeliveryState(false);
  statusMessage.set(renderedFrame.value() ? "Updating the protected app filter"
                                          : "Applying the protected app filter");
  record("protected_share_capture_filter_transition_started");
}

void ProtectedShareEngine::endCaptureFilterTransitionFor(std::uint64_t readFor) {
  // A newer request that holds (an application that started meanwhile, a file-manager relaunch)
  // keeps the hold until its own filter is in force.
  if (readFor < holdOwedThrough_) return;
  endCaptureFilterTransition();
  // What still waits only refreshes the filter: it no longer holds the output, nor fails it.
  if (pendingFilterRefresh_) pendingFilterRefresh_->freeze = false;
}

void ProtectedShareEngine::endCaptureFilterTransition() {
  if (!isCaptureFilterTransitioning.value()) return;
  isCaptureFilterTransitioning.set(false);
  syncFrameDeliveryState(false);
  showStatusAfterHoldEnded();
  record("protected_share_capture_filter_transition_completed");
  // Frames of the hold were dropped, and the screen may not change for a while: a frame now
  // rather than at the stream's keep-alive.
  if (supervisor_->stream() && !supervisor_->isStarting()) supervisor_->stream()->requestFrame();
}

void ProtectedShareEngine::updateCaptureConfiguration(
    std::set<std::string> protectedAppBundleIDs, bool hideDesktopIcons,
    std::set<std::uint32_t> /*sourceOverlayWindowIDs*/,
    std::optional<std::uint32_t> selectedDisplayID) {
  runtime::assertMainActor();
  const bool exclusionsGrew =
      std::any_of(protectedAppBundleIDs.begin(), protectedAppBundleIDs.end(),
                  [this](const std::string& id) { return !protectedAppBundleIDs_.contains(id); }) ||
      (hideDesktopIcons && !hideDesktopIcons_) || selectedDisplayID != selectedDisplayID_;
  const bool changed = protectedAppBundleIDs != protectedAppBundleIDs_ ||
                       hideDesktopIcons != hideDesktopIcons_ ||
                       selectedDisplayID != selectedDisplayID_;
  protectedAppBundleIDs_ = std::move(protectedAppBundleIDs);
  hideDesktopIcons_ = hideDesktopIcons;
  selectedDisplayID_ = selectedDisplayID;
  if (!changed || !model::isActive(phase.value())) return;
  // More to leave out (or another display): hold the output until the new filter is in force.
  refreshCaptureFilterForApplicationChange(exclusionsGrew, std::nullopt, std::nullopt);
}

}  // namespace corvane::capture
