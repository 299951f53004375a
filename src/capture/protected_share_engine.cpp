#include "capture/protected_share_engine.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "capture/protected_capture_operation.h"
#include "capture/protected_content_input_activity.h"
#include "model/diagnostic_reporter.h"
#include "model/protected_system_surface_capture_policy.h"
#include "runtime/runtime.h"

namespace corvane::capture {

using model::ProtectedSharePhase;

namespace {

std::string boolText(bool value) {
  return value ? "true" : "false";
}

// A failure sentence followed by what to do.
std::string withAdvice(const std::string& sentence) {
  std::string text = sentence.empty() ? std::string("Screen capture failed") : sentence;
  if (text.back() != '.') text += '.';
  return text + " Stop Protected Share and try again.";
}

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
    runtime::mainExecutor().post([weak, frame] {
      if (auto self = weak.lock()) self->handleRelayedFrame(frame);
    });
  });
  ProtectedFrameIntake::Handlers handlers;
  handlers.deliveryReportDue = [weak] {
    runtime::mainExecutor().post([weak] {
      if (auto self = weak.lock()) self->publishFrameDeliveryReport();
    });
  };
  handlers.callbackCountsDue = [](const ProtectedCaptureCallbackMonitor::Counts& counts) {
    model::DiagnosticReporter::shared().record(
        "protected_share_capture_callbacks",
        {{"callbacks", std::to_string(counts.callbacks)},
         {"pixels", std::to_string(counts.pixels)},
         {"staleStream", std::to_string(counts.staleStream)},
         {"invalidSamples", std::to_string(counts.invalidSamples)},
         {"missingPixelBuffers", std::to_string(counts.missingPixelBuffers)}});
  };
  engine->intake_->setHandlers(std::move(handlers));
  return engine;
}

ProtectedShareEngine::ProtectedShareEngine(ProtectedShareEngineServices services)
    : services_(std::move(services)),
      surface_(std::make_shared<ProtectedOutputSurface>()),
      samplesQueue_(runtime::makeSerialQueue(kProtectedShareSamplesQueueLabel)) {
  ProtectedFrameIntake::Records records;
  records.deliveryState = std::make_shared<ProtectedFrameDeliveryState>();
  records.mailbox = std::make_shared<LatestCapturedFrameMailbox>();
  records.cadenceGate = std::make_shared<ProtectedFrameCadenceGate>();
  records.callbackMonitor = std::make_shared<ProtectedCaptureCallbackMonitor>();
  records.relay = ProtectedFrameRelay::make(surface_, records.deliveryState);
  intake_ = std::make_shared<ProtectedFrameIntake>(std::move(records));
  cursorTracker_ = ProtectedCursorTracker::make(surface_, services_.cursorSource);
}

ProtectedShareEngine::~ProtectedShareEngine() {
  cancelSessionTasks();
  if (stream_) stream_->stopCapture([](runtime::Status) {});
}

// MARK: - Start and stop

runtime::Task<void> ProtectedShareEngine::start(std::set<std::string> protectedAppBundleIDs,
                                                bool hideDesktopIcons,
                                                std::set<std::uint32_t> /*sourceOverlayWindowIDs*/,
                                                std::optional<std::uint32_t> selectedDisplayID) {
  StartRequest request;
  request.protectedAppBundleIDs = std::move(protectedAppBundleIDs);
  request.hideDesktopIcons = hideDesktopIcons;
  request.selectedDisplayID = selectedDisplayID;
  return runStart(shared_from_this(), std::move(request));
}

runtime::Task<void> ProtectedShareEngine::stop() {
  return runStop(shared_from_this());
}

runtime::Task<std::optional<runtime::Result<platform::ShareableContent>>>
ProtectedShareEngine::fetchContent(std::shared_ptr<platform::ScreenCapture> capture) {
  auto waiter = runtime::awaitCompletion<runtime::Result<platform::ShareableContent>>(
      [capture](std::function<void(runtime::Result<platform::ShareableContent>)> complete) {
        capture->shareableContent(std::move(complete));
      },
      kShareableContentTimeout);
  auto outcome = co_await waiter;
  co_return outcome;
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

  auto& permissions = engine.services_.permissions;
  if (permissions && !permissions->screenCapturePreflight() &&
      !permissions->requestScreenCapture()) {
    const std::string message = permissions->screenCaptureDenialReason().value_or(
        "Screen capture is not allowed. Allow screen capture for Corvane, then start Protected "
        "Share again.");
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
  engine.unfollowedInputSince_.reset();
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
                 {"hideDesktopIcons", boolText(engine.hideDesktopIcons_)}});

  auto contentTask = fetchContent(engine.services_.screenCapture);
  auto content = co_await std::move(contentTask);
  if (!engine.isCurrentSession(session)) co_return;
  if (!content) {
    engine.failClosed(withAdvice("Screen capture did not list the displays in time"),
                      "protected_share_start_failed", {{"reason", "content_timeout"}});
    co_return;
  }
  if (!content->ok()) {
    engine.failClosed(withAdvice(content->message()), "protected_share_start_failed",
                      {{"reason", "content_failed"}, {"error", content->message()}});
    co_return;
  }
  const auto display = chooseCaptureDisplay(content->value(), engine.selectedDisplayID_,
                                            std::nullopt, engine.mainDisplayID());
  if (!display) {
    engine.failClosed(
        "No display is available to capture. Connect a display, then start "
        "Protected Share again.",
        "protected_share_start_failed", {{"reason", "no_display"}});
    co_return;
  }

  const auto snapshot = buildCaptureFilter(*display, content->value(), engine.exclusionPolicy());
  const auto configuration = streamConfiguration(*display);
  auto made = engine.makeStream(snapshot, configuration);
  auto stream = made.first;
  engine.installStream(stream, made.second, snapshot, *display, configuration);
  engine.isFrameDeliveryEnabled_ = true;
  engine.advanceCaptureGeneration();
  engine.syncFrameDeliveryState(true);
  engine.records().callbackMonitor->setLastPixelTime(runtime::uptime());

  auto startTask = ProtectedCaptureOperationAwaiter::wait(
      ProtectedCaptureOperation::start, kStartTimeout,
      [stream](platform::Completion completion) { stream->startCapture(std::move(completion)); });
  engine.isStartingStream_ = true;
  const auto status = co_await std::move(startTask);
  if (engine.stream_ == stream) engine.isStartingStream_ = false;
  // A stop (or a new session) while the stream was starting owns the stream now.
  if (!engine.isCurrentSession(session) || engine.stream_ != stream) co_return;
  if (!status.ok()) {
    engine.failClosed(withAdvice(status.message()), "protected_share_start_failed",
                      {{"reason", "stream_start_failed"}, {"error", status.message()}});
    co_return;
  }

  engine.streamStartedAt_ = runtime::uptime();
  engine.liveMonitoringStartedAt_ = engine.streamStartedAt_;
  double scale = 1.0;
  if (engine.services_.screens) {
    if (auto screen = engine.services_.screens->screen(display->displayID))
      scale = screen->backingScaleFactor;
  }
  engine.cursorTracker_->start(display->frame, scale);
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
}

runtime::Task<void> ProtectedShareEngine::runStop(std::shared_ptr<ProtectedShareEngine> self) {
  auto& engine = *self;
  const auto session = engine.sessionGeneration_.advance();
  engine.cancelSessionTasks();
  engine.cancelCaptureFilterRefresh();
  engine.cursorTracker_->stop();
  auto stream = std::exchange(engine.stream_, nullptr);
  engine.isStartingStream_ = false;
  engine.streamIdentity_ = 0;
  engine.isFrameDeliveryEnabled_ = false;
  engine.activeFilter_.reset();
  engine.isPublishingPaused.setIfChanged(false);
  engine.isSourceContextTransitioning.setIfChanged(false);
  engine.isCaptureFilterTransitioning.setIfChanged(false);
  engine.sourceContextRecoveryMessage.setIfChanged(std::nullopt);
  engine.advanceCaptureGeneration();
  engine.surface_->clear();

  bool stopFailed = false;
  if (stream) {
    engine.phase.set(ProtectedSharePhase::stopping);
    engine.statusMessage.set("Stopping Protected Share");
    auto stopTask = ProtectedCaptureOperationAwaiter::wait(
        ProtectedCaptureOperation::stop, kStopTimeout,
        [stream](platform::Completion completion) { stream->stopCapture(std::move(completion)); });
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
  engine.record("protected_share_stopped", {{"stopFailed", boolText(stopFailed)}});
}

runtime::Task<void> ProtectedShareEngine::stopStreamQuietly(
    std::shared_ptr<platform::CaptureStream> stream) {
  auto stopTask = ProtectedCaptureOperationAwaiter::wait(
      ProtectedCaptureOperation::stop, kStopTimeout,
      [stream](platform::Completion completion) { stream->stopCapture(std::move(completion)); });
  const auto status = co_await std::move(stopTask);
  (void)status;  // the session has already failed; a stop that fails too changes nothing
}

// MARK: - Capture bookkeeping

CaptureExclusionPolicy ProtectedShareEngine::exclusionPolicy() const {
  CaptureExclusionPolicy policy;
  policy.protectedBundleIDs = protectedAppBundleIDs_;
  policy.alwaysExcludedBundleIDs =
      model::ProtectedSystemSurfaceCapturePolicy::alwaysExcludedBundleIDs();
  policy.alwaysExcludedBundleIDs.insert(services_.additionalExcludedBundleIDs.begin(),
                                        services_.additionalExcludedBundleIDs.end());
  policy.ownBundleIdentifier = services_.ownBundleIdentifier;
  policy.ownProcessIdentifier = services_.ownProcessIdentifier;
  policy.hideDesktopIcons = hideDesktopIcons_;
  return policy;
}

std::optional<std::uint32_t> ProtectedShareEngine::mainDisplayID() const {
  if (!services_.screens) return std::nullopt;
  if (auto screen = services_.screens->mainScreen()) return screen->displayID;
  return std::nullopt;
}

std::pair<std::shared_ptr<platform::CaptureStream>, std::uint64_t> ProtectedShareEngine::makeStream(
    const CaptureFilterSnapshot& snapshot, const platform::StreamConfiguration& configuration) {
  const auto identity = nextStreamIdentity_++;
  std::weak_ptr<ProtectedShareEngine> weak = weak_from_this();
  std::weak_ptr<ProtectedFrameIntake> weakIntake = intake_;
  platform::StreamOutput output;
  output.onSample = [weakIntake, identity](const platform::CapturedSample& sample) {
    if (auto intake = weakIntake.lock()) intake->handleSample(sample, identity);
  };
  output.onStopWithError = [weak, identity](const runtime::Error& error) {
    runtime::mainExecutor().post([weak, identity, error] {
      if (auto self = weak.lock()) self->handleStreamStoppedWithError(identity, error);
    });
  };
  auto stream = services_.screenCapture->makeStream(snapshot.filter, configuration,
                                                    std::move(output), samplesQueue_);
  return {std::move(stream), identity};
}

void ProtectedShareEngine::installStream(std::shared_ptr<platform::CaptureStream> stream,
                                         std::uint64_t identity,
                                         const CaptureFilterSnapshot& snapshot,
                                         const platform::ShareableDisplay& display,
                                         const platform::StreamConfiguration& configuration) {
  stream_ = std::move(stream);
  streamIdentity_ = identity;
  activeFilter_ = snapshot;
  activeDisplay_ = display;
  activeConfiguration_ = configuration;
  auto updated = metrics.value();
  updated.outputWidth = configuration.width;
  updated.outputHeight = configuration.height;
  metrics.set(updated);
}

void ProtectedShareEngine::advanceCaptureGeneration() {
  const auto generation = captureGeneration_.advance();
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
  configuration.streamIdentity = streamIdentity_;
  configuration.isAcceptingFrames = isFrameDeliveryEnabled_ && stream_ != nullptr;
  configuration.minimumTimestamp = minimumAcceptedTimestamp_;
  configuration.isPaused = isHolding();
  if (activeDisplay_) configuration.displayFrame = activeDisplay_->frame;
  records().deliveryState->update(configuration, resetCounters);
  isHoldingPreviousVerifiedFrame.setIfChanged(configuration.isPaused &&
                                              renderedFrame.value().has_value());
}

bool ProtectedShareEngine::isStillRunning(const CaptureApplicationIdentity& application) const {
  if (!services_.workspace) return true;
  for (const auto& running : services_.workspace->runningApplications()) {
    const bool bundleMatches =
        application.bundleID.empty() || running.bundleIdentifier == application.bundleID;
    const bool processMatches =
        application.processID <= 0 || running.processIdentifier == application.processID;
    if (bundleMatches && processMatches) return true;
  }
  return false;
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
  auto stream = std::exchange(stream_, nullptr);
  isStartingStream_ = false;
  streamIdentity_ = 0;
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
  if (stream && stopStream) runtime::spawn(stopStreamQuietly(std::move(stream)));
}

void ProtectedShareEngine::handleStreamStoppedWithError(std::uint64_t identity,
                                                        const runtime::Error& error) {
  if (!stream_ || identity != streamIdentity_) {
    record("protected_share_stale_stream_error_ignored");
    return;
  }
  failClosed(withAdvice("Screen capture stopped: " + error.message),
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

void ProtectedShareEngine::record(const std::string& event,
                                  std::map<std::string, std::string> fields) const {
  model::DiagnosticReporter::shared().record(event, std::move(fields));
}

// MARK: - Session controls

void ProtectedShareEngine::setForegroundProtectedApplication(std::optional<std::string> name) {
  foregroundProtectedApplicationName.set(name);
  setLiveStatus();
  record("protected_share_excluded_app_foreground",
         {{"application", name.value_or("")}, {"outputPolicy", "filtered_live"}});
}

void ProtectedShareEngine::setPublishingPaused(bool paused) {
  if (!renderedFrame.value() || !model::isActive(phase.value()) ||
      paused == isPublishingPaused.value())
    return;
  isPublishingPaused.set(paused);
  // Resuming shows only frames captured from now on, never one that waited through the pause.
  if (!paused) minimumAcceptedTimestamp_ = runtime::uptime();
  syncFrameDeliveryState(false);
  if (paused) {
    statusMessage.set("Protected Share paused on the current frame");
    record("protected_share_paused");
  } else {
    setLiveStatus();
    record("protected_share_resumed");
  }
}

void ProtectedShareEngine::setSourceContextTransitioning(bool transitioning) {
  if (!model::isActive(phase.value())) return;
  if (transitioning) {
    const auto context = sourceContextGeneration_.advance();
    isSourceContextTransitioning.set(true);
    sourceContextRecoveryMessage.set(std::nullopt);
    records().mailbox->discardPending();
    syncFrameDeliveryState(false);
    statusMessage.set(renderedFrame.value() ? "Switching Space; holding the current frame"
                                            : "Waiting for the active Space");
    record("protected_share_space_transition_started",
           {{"contextGeneration", std::to_string(context)}});
    return;
  }
  if (!isSourceContextTransitioning.value()) return;
  isSourceContextTransitioning.set(false);
  sourceContextRecoveryMessage.set(std::nullopt);
  minimumAcceptedTimestamp_ = runtime::uptime();
  syncFrameDeliveryState(false);
  if (renderedFrame.value() && !isHolding()) setLiveStatus();
  record("protected_share_space_transition_completed",
         {{"contextGeneration", std::to_string(sourceContextGeneration_.current())}});
}

void ProtectedShareEngine::handleFinderRelaunch() {
  if (!model::isActive(phase.value()) || !hideDesktopIcons_) return;
  cancelCaptureFilterRefresh();
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

void ProtectedShareEngine::endCaptureFilterTransitionFor(std::uint64_t refreshGeneration) {
  // A newer request (an application that started meanwhile, a file-manager relaunch) keeps the
  // hold until its own filter is in force.
  if (filterRefreshGeneration_.isCurrent(refreshGeneration)) endCaptureFilterTransition();
}

void ProtectedShareEngine::endCaptureFilterTransition() {
  if (!isCaptureFilterTransitioning.value()) return;
  isCaptureFilterTransitioning.set(false);
  syncFrameDeliveryState(false);
  if (renderedFrame.value() && !isHolding()) setLiveStatus();
  record("protected_share_capture_filter_transition_completed");
}

void ProtectedShareEngine::updateCaptureConfiguration(
    std::set<std::string> protectedAppBundleIDs, bool hideDesktopIcons,
    std::set<std::uint32_t> /*sourceOverlayWindowIDs*/,
    std::optional<std::uint32_t> selectedDisplayID) {
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

// MARK: - Filter refresh

void ProtectedShareEngine::refreshCaptureFilterForApplicationChange(
    bool freezeUntilApplied, std::optional<std::string> expectedProtectedBundleID,
    std::optional<std::int32_t> expectedProtectedProcessID) {
  if (!model::isActive(phase.value())) return;
  FilterRefreshRequest request;
  request.generation = filterRefreshGeneration_.advance();
  request.freeze = freezeUntilApplied;
  request.deadline = runtime::uptime() + kCaptureFilterApplyTimeout;
  if (expectedProtectedBundleID || expectedProtectedProcessID) {
    request.expected = CaptureApplicationIdentity{expectedProtectedBundleID.value_or(""),
                                                  expectedProtectedProcessID.value_or(0)};
  }
  // A request that replaces one still waiting keeps what that one promised: its hold, the
  // application it waits for and its deadline.
  if (pendingFilterRefresh_ && pendingFilterRefresh_->freeze) {
    request.freeze = true;
    if (!request.expected) request.expected = pendingFilterRefresh_->expected;
    request.deadline = std::min(request.deadline, pendingFilterRefresh_->deadline);
  }
  if (freezeUntilApplied) beginCaptureFilterTransition();
  record("protected_share_capture_filter_refresh_requested",
         {{"freezeUntilApplied", boolText(freezeUntilApplied)},
          {"expectedApplication", expectedProtectedBundleID.value_or("")}});
  pendingFilterRefresh_ = request;
  // One worker applies filters one after the other; a replacement under way is never cut short.
  if (!filterRefreshTask_.valid() || filterRefreshTask_.isDone())
    filterRefreshTask_ = runtime::spawn(runFilterRefresh(weak_from_this()));
}

namespace {
bool coversExpected(const CaptureFilterSnapshot& snapshot,
                    const std::optional<CaptureApplicationIdentity>& expected) {
  if (!expected) return true;
  for (const auto& identity : snapshot.applicationIdentities) {
    const bool bundleMatches =
        expected->bundleID.empty() || identity.bundleID == expected->bundleID;
    const bool processMatches =
        expected->processID <= 0 || identity.processID == expected->processID;
    if (bundleMatches && processMatches) return true;
  }
  return false;
}
}  // namespace

runtime::Task<void> ProtectedShareEngine::runFilterRefresh(
    std::weak_ptr<ProtectedShareEngine> weakSelf) {
  while (true) {
    {
      auto self = weakSelf.lock();
      if (!self || !self->pendingFilterRefresh_ || !model::isActive(self->phase.value())) co_return;
      const auto request = *self->pendingFilterRefresh_;
      auto attempt = applyCurrentFilter(self, request.generation, request.expected);
      const bool applied = co_await std::move(attempt);
      if (co_await runtime::isCancelled()) co_return;
      if (!self->pendingFilterRefresh_ || !model::isActive(self->phase.value())) co_return;
      // A newer request came in meanwhile: serve it at once.
      if (self->pendingFilterRefresh_->generation != request.generation) continue;
      if (applied) {
        self->pendingFilterRefresh_.reset();
        co_return;
      }
      if (runtime::uptime() >= request.deadline) {
        self->pendingFilterRefresh_.reset();
        if (request.freeze) {
          self->failClosed(kFilterFailureMessage, "protected_share_capture_filter_timed_out",
                           {{"expectedApplication",
                             request.expected ? request.expected->bundleID : std::string()}});
        }
        co_return;
      }
    }
    co_await runtime::sleep(kCaptureFilterRetryInterval);
    if (co_await runtime::isCancelled()) co_return;
  }
}

runtime::Task<bool> ProtectedShareEngine::applyCurrentFilter(
    std::shared_ptr<ProtectedShareEngine> self, std::uint64_t refreshGeneration,
    std::optional<CaptureApplicationIdentity> expected) {
  auto& engine = *self;
  // The first stream of a session is still starting: its start owns it until it is running.
  if (!engine.stream_ || engine.isStartingStream_) co_return false;
  const auto session = engine.sessionGeneration_.current();
  auto contentTask = fetchContent(engine.services_.screenCapture);
  auto content = co_await std::move(contentTask);
  if (!engine.filterRefreshGeneration_.isCurrent(refreshGeneration) ||
      !engine.isCurrentSession(session) || !engine.stream_ || engine.isStartingStream_)
    co_return false;
  if (!content || !content->ok()) co_return false;
  const auto display = chooseCaptureDisplay(
      content->value(), engine.selectedDisplayID_,
      engine.activeDisplay_ ? std::optional(engine.activeDisplay_->displayID) : std::nullopt,
      engine.mainDisplayID());
  if (!display) co_return false;
  const auto snapshot = buildCaptureFilter(*display, content->value(), engine.exclusionPolicy());
  // An expected application that has quit meanwhile has nothing left to hide.
  if (expected && !engine.isStillRunning(*expected)) expected.reset();
  if (!coversExpected(snapshot, expected)) {
    engine.statusMessage.set("Waiting for the new protected app to enter the capture filter");
    co_return false;
  }
  const bool sameDisplay = engine.activeDisplay_ &&
                           engine.activeDisplay_->displayID == display->displayID &&
                           engine.activeDisplay_->frame == display->frame &&
                           engine.activeDisplay_->pixelWidth == display->pixelWidth &&
                           engine.activeDisplay_->pixelHeight == display->pixelHeight;
  if (sameDisplay && engine.activeFilter_ && engine.activeFilter_->leavesOutTheSameAs(snapshot)) {
    engine.endCaptureFilterTransitionFor(refreshGeneration);
    co_return true;
  }

  // Replace the stream: frames of a new stream are composed with its filter from the first one,
  // which a filter update on the running stream cannot promise.
  const auto configuration = streamConfiguration(*display);
  auto oldStream = engine.stream_;
  auto made = engine.makeStream(snapshot, configuration);
  auto newStream = made.first;
  const auto identity = made.second;
  engine.isFrameDeliveryEnabled_ = false;
  engine.advanceCaptureGeneration();

  auto stopTask = ProtectedCaptureOperationAwaiter::wait(
      ProtectedCaptureOperation::stop, kStopTimeout, [oldStream](platform::Completion completion) {
        oldStream->stopCapture(std::move(completion));
      });
  auto stopStatus = co_await std::move(stopTask);
  runtime::Status startStatus;
  if (stopStatus.ok() && engine.stream_ == oldStream && engine.isCurrentSession(session)) {
    auto startTask =
        ProtectedCaptureOperationAwaiter::wait(ProtectedCaptureOperation::start, kStartTimeout,
                                               [newStream](platform::Completion completion) {
                                                 newStream->startCapture(std::move(completion));
                                               });
    startStatus = co_await std::move(startTask);
  }
  const bool superseded = engine.stream_ != oldStream || !engine.isCurrentSession(session) ||
                          !model::isActive(engine.phase.value());
  if (superseded) {
    runtime::spawn(stopStreamQuietly(newStream));
    co_return false;
  }
  if (!stopStatus.ok() || !startStatus.ok()) {
    const auto error = !stopStatus.ok() ? stopStatus.message() : startStatus.message();
    engine.stream_ = nullptr;  // it no longer delivers what the output may show
    engine.failClosed(kFilterFailureMessage, "protected_share_stream_replacement_failed",
                      {{"error", error}}, /*stopStream=*/false);
    runtime::spawn(stopStreamQuietly(oldStream));
    runtime::spawn(stopStreamQuietly(newStream));
    co_return false;
  }

  const bool displayChanged = !sameDisplay;
  engine.installStream(newStream, identity, snapshot, *display, configuration);
  engine.records().callbackMonitor->setLastPixelTime(runtime::uptime());
  engine.minimumAcceptedTimestamp_ = runtime::uptime();
  engine.isFrameDeliveryEnabled_ = true;
  engine.advanceCaptureGeneration();
  if (displayChanged) engine.cursorTracker_->start(display->frame);
  engine.scheduleScreenshotFallback();
  auto updated = engine.metrics.value();
  ++updated.heldFrames;
  engine.metrics.set(updated);
  engine.record("protected_share_stream_replaced_for_filter",
                {{"displayChanged", boolText(displayChanged)},
                 {"filterChanged", boolText(!displayChanged)},
                 {"excludedApps", std::to_string(snapshot.excludedBundleIDs.size())}});
  engine.endCaptureFilterTransitionFor(refreshGeneration);
  co_return true;
}

// MARK: - Watchdogs

runtime::Task<void> ProtectedShareEngine::runFirstFrameWatchdog(
    std::weak_ptr<ProtectedShareEngine> weakSelf, std::uint64_t session) {
  runtime::Uptime deadline = runtime::uptime() + kFirstFrameTimeout;
  while (true) {
    co_await runtime::sleep(1.0);
    if (co_await runtime::isCancelled()) co_return;
    auto self = weakSelf.lock();
    if (!self || !self->isCurrentSession(session) || !model::isActive(self->phase.value()) ||
        self->renderedFrame.value())
      co_return;
    // A hold (desktop switch, filter change) legitimately keeps the first frame back.
    if (self->isHolding()) {
      deadline = runtime::uptime() + kFirstFrameTimeout;
      continue;
    }
    if (runtime::uptime() >= deadline) {
      self->failClosed(kFirstFrameMissingMessage, "protected_share_first_frame_timed_out", {});
      co_return;
    }
  }
}

runtime::Task<void> ProtectedShareEngine::runLivenessWatchdog(
    std::weak_ptr<ProtectedShareEngine> weakSelf, std::uint64_t session) {
  while (true) {
    co_await runtime::sleep(kLivenessCheckInterval);
    if (co_await runtime::isCancelled()) co_return;
    auto self = weakSelf.lock();
    if (!self || !self->isCurrentSession(session)) co_return;
    if (!self->verifyLiveStreamHealth()) co_return;
  }
}

bool ProtectedShareEngine::verifyLiveStreamHealth() {
  if (!model::isActive(phase.value()) || !renderedFrame.value()) return false;
  const auto now = runtime::uptime();
  if (isHolding()) {
    unfollowedInputSince_.reset();
    return true;
  }
  if (!liveMonitoringStartedAt_ || now - *liveMonitoringStartedAt_ < kLiveMonitoringGrace)
    return true;

  const auto lastPixel = records().callbackMonitor->lastPixelTime();
  const auto lastOutput = lastRelayedAt_.value_or(-1e18);
  const auto latestActivity = std::max(lastPixel, lastOutput);
  const bool quiet = now - lastPixel > kQuietThreshold && now - lastOutput > kQuietThreshold;
  if (quiet) {
    const double idle = ProtectedContentInputActivity::secondsSinceLastEvent();
    const bool inputAfterActivity = std::isfinite(idle) && now - idle > latestActivity;
    if (!inputAfterActivity) {
      unfollowedInputSince_.reset();
      return true;
    }
    if (!unfollowedInputSince_) unfollowedInputSince_ = std::max(now - idle, latestActivity);
    if (now - *unfollowedInputSince_ >= kUnfollowedInputThreshold) {
      const long long seconds =
          lastSampleDate_
              ? static_cast<long long>(runtime::secondsBetween(*lastSampleDate_, runtime::now()))
              : -1;
      failClosed(kCaptureStalledMessage, "protected_share_capture_stalled",
                 {{"seconds", std::to_string(seconds)}, {"analyzing", "false"}});
      return false;
    }
    return true;
  }
  unfollowedInputSince_.reset();

  // The output: only a canvas presents frames, so only with one attached can it stall.
  if (!surface_->hasRedrawHandler()) return true;
  const auto stats = surface_->presentationStats();
  if (stats.pendingPresentationSince &&
      runtime::secondsBetween(*stats.pendingPresentationSince, runtime::now()) >
          kPresentationStallThreshold) {
    const long long seconds = stats.lastPresentedAt
                                  ? static_cast<long long>(runtime::secondsBetween(
                                        *stats.lastPresentedAt, runtime::now()))
                                  : -1;
    failClosed(kOutputStalledMessage, "protected_share_output_stalled",
               {{"seconds", std::to_string(seconds)}, {"analyzing", "false"}});
    return false;
  }
  return true;
}

// MARK: - Screenshot fallback

void ProtectedShareEngine::scheduleScreenshotFallback() {
  if (screenshotFallbackTask_.valid() && !screenshotFallbackTask_.isDone()) return;
  screenshotFallbackTask_ =
      runtime::spawn(runScreenshotFallback(weak_from_this(), sessionGeneration_.current()));
}

runtime::Task<void> ProtectedShareEngine::runScreenshotFallback(
    std::weak_ptr<ProtectedShareEngine> weakSelf, std::uint64_t session) {
  while (true) {
    co_await runtime::sleep(kScreenshotInterval);
    if (co_await runtime::isCancelled()) co_return;
    auto self = weakSelf.lock();
    if (!self || !self->isCurrentSession(session)) co_return;
    self->evaluateScreenshotFallback();
  }
}

void ProtectedShareEngine::evaluateScreenshotFallback() {
  if (!model::isActive(phase.value()) || !isFrameDeliveryEnabled_ || !stream_ || !activeFilter_ ||
      isStartingStream_)
    return;
  const auto now = runtime::uptime();
  const double silence = std::max(0.0, now - records().callbackMonitor->lastPixelTime());
  const double input = ProtectedContentInputActivity::secondsSinceLastEvent();
  const bool needed =
      silence >= kScreenshotSilence && (!renderedFrame.value() || input <= kScreenshotInputWindow);
  if (!needed) {
    if (isScreenshotFallbackActive_) {
      record("protected_share_screenshot_fallback_stopped",
             {{"reason", silence < kScreenshotSilence ? "stream_resumed" : "source_idle"},
              {"frames", std::to_string(screenshotFrameCount_)}});
      isScreenshotFallbackActive_ = false;
      screenshotFrameCount_ = 0;
    }
    return;
  }
  if (screenshotInFlight_) return;
  screenshotInFlight_ = true;
  const auto session = sessionGeneration_.current();
  const auto generation = captureGeneration_.current();
  std::weak_ptr<ProtectedShareEngine> weak = weak_from_this();
  std::weak_ptr<ProtectedFrameIntake> weakIntake = intake_;
  // The screenshot goes through the same filter as the stream and enters the same drain, so it
  // is held, paced and checked exactly like a stream frame. It counts as captured when asked for.
  services_.screenCapture->captureImage(
      activeFilter_->filter, activeConfiguration_,
      [weak, weakIntake, session, generation, requestedAt = now,
       silence](runtime::Result<platform::SharedPixelBuffer> result) {
        bool produced = false;
        std::string failure;
        if (!result.ok()) {
          failure = result.message();
        } else if (!result.value()) {
          failure = "Screenshot fallback returned no image";
        } else if (auto intake = weakIntake.lock()) {
          intake->offer(ProtectedCapturedFrame::make(result.value(), requestedAt, requestedAt),
                        generation);
          produced = true;
        }
        runtime::mainExecutor().post([weak, session, generation, produced, failure, silence] {
          if (auto self = weak.lock())
            self->finishScreenshot(session, generation, produced, failure, silence);
        });
      });
}

void ProtectedShareEngine::finishScreenshot(std::uint64_t session, std::uint64_t generation,
                                            bool producedPixels, const std::string& failure,
                                            double silence) {
  if (!isCurrentSession(session)) return;
  screenshotInFlight_ = false;
  if (generation != captureGeneration_.current() || !model::isActive(phase.value())) return;
  if (producedPixels) {
    screenshotConsecutiveFailures_ = 0;
    ++screenshotFrameCount_;
    if (!isScreenshotFallbackActive_) {
      isScreenshotFallbackActive_ = true;
      record("protected_share_screenshot_fallback_started",
             {{"streamSilenceMS", std::to_string(static_cast<long long>(silence * 1000))},
              {"targetFPS", "5"}});
    }
    return;
  }
  ++screenshotConsecutiveFailures_;
  if (screenshotConsecutiveFailures_ == 1 || screenshotConsecutiveFailures_ % 30 == 0) {
    record("protected_share_screenshot_fallback_failed",
           {{"consecutiveFailures", std::to_string(screenshotConsecutiveFailures_)},
            {"error", failure.empty() ? std::string("Unknown capture failure") : failure}});
  }
}

void ProtectedShareEngine::stopScreenshotFallback(const char* reason) {
  screenshotFallbackTask_.cancel();
  screenshotFallbackTask_ = {};
  if (isScreenshotFallbackActive_) {
    record("protected_share_screenshot_fallback_stopped",
           {{"reason", reason}, {"frames", std::to_string(screenshotFrameCount_)}});
  }
  screenshotInFlight_ = false;
  isScreenshotFallbackActive_ = false;
  screenshotFrameCount_ = 0;
  screenshotConsecutiveFailures_ = 0;
}

}  // namespace corvane::capture
