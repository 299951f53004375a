#include <algorithm>
#include <cmath>
#include <utility>

#include "capture/protected_content_input_activity.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

namespace {
long long wholeSecondsSince(std::optional<runtime::Uptime> time, runtime::Uptime now) {
  return time ? static_cast<long long>(now - *time) : -1;
}
}  // namespace

// MARK: - Liveness

void LegacySourceProtectionEngine::scheduleLivenessWatchdog() {
  runtime::assertMainActor();
  livenessWatchdogTask_.cancel();
  livenessWatchdogTask_ = runtime::spawn(runLivenessWatchdog(weak_from_this()));
}

runtime::Task<void> LegacySourceProtectionEngine::runLivenessWatchdog(
    std::weak_ptr<LegacySourceProtectionEngine> weak) {
  while (true) {
    if (co_await runtime::isCancelled()) co_return;
    co_await runtime::sleep(kLivenessCheckInterval);
    if (co_await runtime::isCancelled()) co_return;
    auto self = weak.lock();
    if (!self) co_return;
    auto check = self->verifyLiveStreamHealth();
    co_await std::move(check);
  }
}

// Both checks run on the uptime clock. Capture has stalled when the stream has reported nothing
// and nothing was presented for a while and user input since has gone unanswered (a static
// screen without input never stalls). The output has stalled when a presentation has been
// pending too long, which only a presenter attached to the surface can end.
runtime::Task<void> LegacySourceProtectionEngine::verifyLiveStreamHealth() {
  runtime::assertMainActor();
  if (!model::isActive(phase.value()) || !renderedFrame.value()) co_return;
  const auto now = runtime::uptime();
  const auto stats = surface_->presentationStats();
  if (stats.lastPresentedUptime) lastPublishedFrameTime_ = stats.lastPresentedUptime;
  if (isPublishingPaused.value() || isSourceContextTransitioning.value()) {
    captureStall_.reset();
    co_return;
  }
  if (!liveHealthMonitoringStartedAt_ ||
      now - *liveHealthMonitoringStartedAt_ < kLiveMonitoringGrace)
    co_return;

  const auto analyzing = isAnalyzingFrame.value() ? "true" : "false";
  capture::ProtectedCaptureStallCheck::Observation observation;
  observation.now = now;
  // Screenshots that stand in for a silent stream count as samples: they keep the capture moving.
  // Input from before the capture began is none the capture could have followed.
  observation.lastSample = lastSampleTime_.value_or(*liveHealthMonitoringStartedAt_);
  observation.lastPublished = lastPublishedFrameTime_;
  observation.secondsSinceInput = capture::ProtectedContentInputActivity::secondsSinceLastEvent(
      services_.desktop.inputIdleness.get());
  if (captureStall_.hasStalled(observation)) {
    record("protected_share_capture_stalled",
           {{"seconds", std::to_string(wholeSecondsSince(lastSampleTime_, now))},
            {"analyzing", analyzing}});
    auto fail = failActiveStream(kCaptureStalledMessage);
    co_await std::move(fail);
    co_return;
  }
  // A presentation can only be late once a presenter is there to make it: the wait counts from
  // the later of the publication and the moment the presenter was first seen.
  if (!surface_->hasRedrawHandler()) {
    presenterSeenSince_.reset();
    co_return;
  }
  if (!presenterSeenSince_) presenterSeenSince_ = now;
  if (stats.pendingPresentationSinceUptime &&
      now - std::max(*stats.pendingPresentationSinceUptime, *presenterSeenSince_) >
          kPresentationStallThreshold) {
    record("protected_share_output_stalled",
           {{"seconds", std::to_string(wholeSecondsSince(lastPublishedFrameTime_, now))},
            {"analyzing", analyzing}});
    auto fail = failActiveStream(kOutputStalledMessage);
    co_await std::move(fail);
  }
}

// MARK: - Screenshot fallback

void LegacySourceProtectionEngine::scheduleScreenshotFallback() {
  runtime::assertMainActor();
  if (screenshotFallbackTask_.valid() && !screenshotFallbackTask_.isDone()) return;
  screenshotFallbackTask_ = runtime::spawn(runScreenshotFallback(weak_from_this()));
}

runtime::Task<void> LegacySourceProtectionEngine::runScreenshotFallback(
    std::weak_ptr<LegacySourceProtectionEngine> weak) {
  while (true) {
    if (co_await runtime::isCancelled()) co_return;
    co_await runtime::sleep(kScreenshotInterval);
    if (co_await runtime::isCancelled()) co_return;
    auto self = weak.lock();
    if (!self) co_return;
    self->evaluateScreenshotFallback();
  }
}

bool LegacySourceProtectionEngine::sourceMasksPending() const {
  if (!pendingSourceMaskRedactions_.empty()) return true;
  return !expectedSourceOverlaySnapshot_.redactions.empty() &&
         verifiedSourceOverlayRevision_ != expectedSourceOverlaySnapshot_.revision;
}

void LegacySourceProtectionEngine::evaluateScreenshotFallback() {
  runtime::assertMainActor();
  const auto& filter = supervisor_->activeFilter();
  if (!model::isActive(phase.value()) || !isFrameDeliveryEnabled_ || !filter ||
      !supervisor_->stream() || supervisor_->isStarting())
    return;
  const double silence =
      std::max(0.0, runtime::uptime() - records().callbackMonitor->lastPixelTime());
  const double input = capture::ProtectedContentInputActivity::secondsSinceLastEvent(
      services_.desktop.inputIdleness.get());
  const bool needed =
      capture::ProtectedScreenshotFallback::isNeeded(silence, renderedFrame.value().has_value(),
                                                     input) ||
      (silence >= capture::ProtectedScreenshotFallback::kSilence && sourceMasksPending());
  if (!needed) {
    screenshots_->standDown(silence < capture::ProtectedScreenshotFallback::kSilence
                                ? "stream_resumed"
                                : "source_idle");
    return;
  }
  // Filtered like the stream and drained like its frames, under the generation of the request.
  screenshots_->request(filter->filter, supervisor_->activeConfiguration(), captureGeneration_,
                        silence);
}

void LegacySourceProtectionEngine::stopScreenshotFallback() {
  screenshotFallbackTask_.cancel();
  screenshotFallbackTask_ = {};
  screenshots_->reset("session_ended");
}

// MARK: - Reports and metrics

void LegacySourceProtectionEngine::publishFrameDeliveryReport() {
  runtime::assertMainActor();
  auto report = records().deliveryState->takeReport(runtime::uptime());
  if (!report) return;
  const int previous = receivedSampleCount.value();
  capturedFrameCount_ = report->acceptedFrameCount;
  receivedSampleCount.setIfChanged(report->acceptedFrameCount);
  lastSampleTime_ = runtime::uptime();
  if (previous == 0) record("protected_share_first_sample_received");
  if (previous < 2 && report->acceptedFrameCount >= 2)
    record("protected_share_live_samples_resumed");
  if (renderedFrame.value()) publishFrameCountersIfNeeded();
}

void LegacySourceProtectionEngine::publishFrameCountersIfNeeded() {
  runtime::assertMainActor();
  const auto now = runtime::uptime();
  if (now - lastMetricsPublishTime_ < kMetricsInterval) return;
  const auto stats = surface_->presentationStats();
  outputFrameCount_ = stats.completedFrames;
  if (stats.lastPresentedUptime) lastPublishedFrameTime_ = stats.lastPresentedUptime;
  auto updated = metrics.value();
  updated.presentationFailures = stats.failedFrames;
  updated.capturedFrames = capturedFrameCount_;
  updated.outputFrames = outputFrameCount_;
  const double dt = std::max(0.001, now - lastMetricsPublishTime_);
  auto rate = [dt](int difference) {
    return static_cast<int>(std::lround(std::max(0, difference) / dt));
  };
  updated.captureFPS = rate(capturedFrameCount_ - lastRateCapturedFrameCount_);
  updated.outputFPS = rate(outputFrameCount_ - lastRateOutputFrameCount_);
  updated.verifiedFPS = rate(updated.verifiedFrames - lastRateVerifiedFrameCount_);
  updated.lastFrameDate = stats.lastPresentedAt;
  metrics.set(updated);
  lastRateCapturedFrameCount_ = capturedFrameCount_;
  lastRateOutputFrameCount_ = outputFrameCount_;
  lastRateVerifiedFrameCount_ = updated.verifiedFrames;
  lastMetricsPublishTime_ = now;
  if (now - lastPerformanceReportTime_ < kPerformanceReportInterval) return;
  lastPerformanceReportTime_ = now;
  record("protected_share_performance",
         {{"captureFPS", std::to_string(updated.captureFPS)},
          {"outputFPS", std::to_string(updated.outputFPS)},
          {"verifiedFPS", std::to_string(updated.verifiedFPS)},
          {"width", std::to_string(updated.outputWidth)},
          {"height", std::to_string(updated.outputHeight)},
          {"analysisMS", std::to_string(updated.lastAnalysisDurationMS)},
          {"changedAreaPercent", std::to_string(updated.lastChangedAreaPercent)},
          {"presentationFailures", std::to_string(updated.presentationFailures)}});
}

}  // namespace corvane::verification
