#include "verification/legacy_source_protection_engine.h"

#include <algorithm>
#include <utility>

#include "capture/arrow_cursor_image.h"
#include "model/diagnostic_reporter.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/frame_change_detector.h"
#include "verification/pipeline_frame_sink.h"

namespace corvane::verification {

using model::ProtectedSharePhase;

std::set<model::SensitiveKind> LegacySourceProtectionConfiguration::allSensitiveKinds() {
  std::set<model::SensitiveKind> kinds;
  for (const auto& entry : model::EnumCases<model::SensitiveKind>::cases) kinds.insert(entry.first);
  return kinds;
}

std::shared_ptr<LegacySourceProtectionEngine> LegacySourceProtectionEngine::make(
    LegacySourceProtectionEngineServices services) {
  auto engine = std::make_shared<LegacySourceProtectionEngine>(std::move(services));
  std::weak_ptr<LegacySourceProtectionEngine> weak = engine;
  auto& self = *engine;

  std::weak_ptr<capture::ProtectedFrameIntake> weakIntake = self.intake_;
  self.intake_->setHandlers(capture::ProtectedFrameIntake::engineHandlers(
      weakIntake, self.sampleQueue_, self.services_.recorder, [weak] {
        runtime::postToMain(weak, [](LegacySourceProtectionEngine& engine) {
          engine.publishFrameDeliveryReport();
        });
      }));
  capture::CaptureStreamSupervisor::Sinks sinks;
  sinks.sample = [weakIntake](const platform::CapturedSample& sample, std::uint64_t identity) {
    if (auto intake = weakIntake.lock()) intake->handleSample(sample, identity);
  };
  sinks.stoppedWithError = [weak](std::uint64_t identity, const runtime::Error& error) {
    if (auto engine = weak.lock()) engine->failStreamAfterDelegateError(error.message, identity);
  };
  self.supervisor_ = capture::CaptureStreamSupervisor::make(self.services_.desktop.capture,
                                                            self.services_.desktop.screens,
                                                            self.sampleQueue_, std::move(sinks));
  self.supervisor_->setQueueDepth(kStreamQueueDepth);

  self.screenshots_ = capture::ProtectedScreenshotFallback::make(
      self.services_.desktop.capture,
      [weakIntake](capture::ProtectedCapturedFrame frame, std::uint64_t generation) {
        if (auto intake = weakIntake.lock()) intake->offer(std::move(frame), generation);
      },
      [weak](std::uint64_t generation) {
        auto engine = weak.lock();
        return engine && generation == engine->captureGeneration_ &&
               model::isActive(engine->phase.value());
      },
      self.services_.recorder);

  auto workers =
      self.services_.tileWorkers
          ? self.services_.tileWorkers
          : std::make_shared<runtime::WorkerThreads>(runtime::WorkerThreads::defaultThreadCount());
  self.pipeline_ = ProtectedFramePipeline::make(
      self.surface_, capture::arrowCursorImage(),
      [weak] {
        runtime::postToMain(
            weak, [](LegacySourceProtectionEngine& engine) { engine.handleSupersedeRequest(); });
      },
      [weak](SharedAnalysisCandidate candidate) {
        runtime::postToMain(
            weak, [candidate = std::move(candidate)](LegacySourceProtectionEngine& engine) mutable {
              engine.analyzeCandidate(std::move(candidate));
            });
      },
      FrameChangeDetector::make(FrameChangeDetector::kTileSize, std::move(workers)));
  self.intake_->setFrameSink(
      pipelineFrameSink(self.surface_, self.pipeline_, self.records().deliveryState,
                        self.services_.desktop.cursorSource, self.services_.desktop.inputIdleness));
  return engine;
}

LegacySourceProtectionEngine::LegacySourceProtectionEngine(
    LegacySourceProtectionEngineServices services)
    : services_(std::move(services)),
      surface_(std::make_shared<capture::ProtectedOutputSurface>()),
      sampleQueue_(runtime::makeSerialQueue(capture::kProtectedShareSamplesQueueLabel)),
      analysisQueue_(runtime::makeSerialQueue(kProtectedShareAnalysisQueueLabel)) {
  if (!services_.recorder) services_.recorder = model::sharedEventRecorder();
  if (services_.textRecognizer) {
    sourceFrameMaskingEngine_.analyzer = std::make_shared<ProtectedFrameAnalyzer>(
        SensitivityEngine(),
        ProtectedFrameAnalyzer::Services{
            services_.textRecognizer, [] { return runtime::uptime(); },
            std::make_shared<ProtectedFrameAnalyzerDiagnosticThrottle>(), services_.recorder});
  }
  capture::ProtectedFrameIntake::Records records;
  records.deliveryState = std::make_shared<capture::ProtectedFrameDeliveryState>();
  records.mailbox = std::make_shared<capture::LatestCapturedFrameMailbox>();
  // Never two published frames closer than the interval; the intake holds the newest refused
  // frame for the next moment it may pass.
  records.cadenceGate = std::make_shared<capture::ProtectedFrameCadenceGate>(
      kFrameCadenceInterval, capture::ProtectedFrameCadenceGate::Pacing::sinceLastAccepted);
  records.callbackMonitor = std::make_shared<capture::ProtectedCaptureCallbackMonitor>();
  intake_ = std::make_shared<capture::ProtectedFrameIntake>(std::move(records));
  syncFrameDeliveryState(true);
}

LegacySourceProtectionEngine::~LegacySourceProtectionEngine() {
  firstFrameWatchdogTask_.cancel();
  livenessWatchdogTask_.cancel();
  screenshotFallbackTask_.cancel();
  sourceMaskAuthorizationWatchTask_.cancel();
  if (activeAnalysisCancellation_) activeAnalysisCancellation_->cancel();
}

// MARK: - Generations and delivery

void LegacySourceProtectionEngine::advanceCaptureGeneration(int cleanFramesRequired,
                                                            OutputOnReset output) {
  runtime::assertMainActor();
  const auto generation = ++captureGeneration_;
  pendingSourceMaskRedactions_.clear();
  pendingSourceMaskRevision_.reset();
  pendingSourceMaskGeneration_.reset();
  pendingSourceMaskContextGeneration_.reset();
  records().mailbox->reset(generation);
  if (activeAnalysisCancellation_) activeAnalysisCancellation_->cancel();
  activeAnalysisCancellation_.reset();
  analyzingGeneration_.reset();
  analyzingSourceContextGeneration_.reset();
  isAnalyzingFrame.setIfChanged(false);
  clearPendingBaselineApproval();
  cleanFramesRequiredBeforePublish_ =
      std::max(cleanFramesRequiredBeforePublish_, cleanFramesRequired);
  cleanChangeGate_.clear();
  // Images of earlier generations still on their way to the output are refused from here on.
  surface_->refuseGenerationsBelow(generation);
  pipeline_->reset(generation, sourceContextGeneration_, output);
  syncFrameDeliveryState(false);
}

void LegacySourceProtectionEngine::syncFrameDeliveryState(bool resetCounters) {
  capture::ProtectedFrameDeliveryState::Configuration configuration;
  configuration.generation = captureGeneration_;
  configuration.sourceContextGeneration = sourceContextGeneration_;
  configuration.streamIdentity = supervisor_ ? supervisor_->identity() : 0;
  configuration.isAcceptingFrames = isFrameDeliveryEnabled_;
  configuration.minimumTimestamp = minimumAcceptedFrameTimestamp_;
  configuration.minimumAnalysisInterval = kMinimumAnalysisInterval;
  configuration.isPaused = isPublishingPaused.value() || isSourceContextTransitioning.value();
  configuration.displayFrame = activeDisplayFrame_;
  records().deliveryState->update(configuration, resetCounters);
}

void LegacySourceProtectionEngine::finishAnalysisIfCurrent(std::uint64_t generation) {
  if (analyzingGeneration_ == generation) {
    analyzingGeneration_.reset();
    analyzingSourceContextGeneration_.reset();
    isAnalyzingFrame.setIfChanged(false);
    activeAnalysisCancellation_.reset();
  }
  phase.setIfChanged(renderedFrame.value() ? ProtectedSharePhase::sharing
                                           : ProtectedSharePhase::analyzing);
}

void LegacySourceProtectionEngine::clearPendingBaselineApproval() {
  pendingBaselineApproval_.reset();
  pendingBaselinePreview.setIfChanged(nullptr);
  pendingBaselineRedactionCount.setIfChanged(0);
  pendingBaselineReviewItems.setIfChanged({});
  pendingBaselineRedactions.setIfChanged({});
  pendingBaselineIsRefresh.setIfChanged(false);
  pendingBaselineRefreshRequestID_.reset();
}

// MARK: - Failure

void LegacySourceProtectionEngine::tearDownCapture() {
  stopScreenshotFallback();
  supervisor_->forgetConfiguration();
  isFrameDeliveryEnabled_ = false;
  syncFrameDeliveryState(false);
  firstFrameWatchdogTask_.cancel();
  livenessWatchdogTask_.cancel();
  // The last verified frame stays on the output (and `renderedFrame` with it).
  advanceCaptureGeneration(0, OutputOnReset::keepLastVerifiedFrame);
}

void LegacySourceProtectionEngine::enterFailedState(const std::string& message) {
  lastError.set(message);
  statusMessage.set(message);
  phase.set(ProtectedSharePhase::failed);
  isAnalyzingFrame.setIfChanged(false);
  isHoldingPreviousVerifiedFrame.setIfChanged(false);
  isSourceContextTransitioning.setIfChanged(false);
  isCaptureFilterTransitioning.setIfChanged(false);
  pendingCaptureFilterApplicationIdentity_.reset();
  liveHealthMonitoringStartedAt_.reset();
}

namespace {
runtime::Task<void> stopTakenStream(std::shared_ptr<platform::CaptureStream> stream) {
  if (!stream) co_return;
  // A stop that fails or times out changes nothing more: the engine has failed already.
  auto stop = capture::CaptureStreamSupervisor::stop(std::move(stream));
  (void)co_await std::move(stop);
}
}  // namespace

runtime::Task<void> LegacySourceProtectionEngine::failActiveStream(std::string message) {
  runtime::assertMainActor();
  tearDownCapture();
  auto stream = supervisor_->release();
  enterFailedState(message);
  sourceContextRecoveryMessage.setIfChanged(std::nullopt);
  return stopTakenStream(std::move(stream));
}

void LegacySourceProtectionEngine::failStreamAfterDelegateError(const std::string& message,
                                                                std::uint64_t streamIdentity) {
  runtime::assertMainActor();
  if (!supervisor_->isCurrent(streamIdentity)) {
    record("protected_share_stale_stream_error_ignored");
    return;
  }
  tearDownCapture();
  // The stream has stopped by itself: it is not asked to stop again.
  (void)supervisor_->release();
  enterFailedState(message);
  record("protected_share_stream_stopped_with_error", {{"error", message}});
}

// MARK: - Helpers

capture::CaptureExclusionPolicy LegacySourceProtectionEngine::exclusionPolicy() const {
  return capture::exclusionPolicyWithSystemSurfaces(
      protectedAppBundleIDs_, services_.additionalExcludedBundleIDs, services_.ownBundleIdentifier,
      services_.ownProcessIdentifier, /*hideDesktopIcons=*/false);
}

capture::CaptureFilterSnapshot LegacySourceProtectionEngine::contentFilterSnapshot(
    const platform::ShareableDisplay& display, const platform::ShareableContent& content) const {
  return verificationFilterSnapshot(display, content, exclusionPolicy(), sourceOverlayWindowIDs_);
}

void LegacySourceProtectionEngine::adoptFilter(const capture::CaptureFilterSnapshot& snapshot,
                                               const platform::ShareableDisplay& display) {
  activeDisplayID_ = display.displayID;
  activeDisplayFrame_ = display.frame;
  activeCaptureApplicationIdentities_ = snapshot.applicationIdentities;
  activeCaptureOverlayWindowIDs_ = snapshot.filter.exceptingWindowIDs;
}

void LegacySourceProtectionEngine::showOutputSize(
    const platform::StreamConfiguration& configuration) {
  auto updated = metrics.value();
  updated.outputWidth = configuration.width;
  updated.outputHeight = configuration.height;
  metrics.setIfChanged(updated);
}

bool LegacySourceProtectionEngine::isRunCurrent(std::uint64_t lifecycle) const {
  return isCurrentLifecycle(lifecycle) && model::isActive(phase.value());
}

void LegacySourceProtectionEngine::record(const std::string& event,
                                          std::map<std::string, std::string> fields) const {
  services_.recorder(event, std::move(fields));
}

}  // namespace corvane::verification
