#include "capture/protected_share_engine.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "capture/protected_capture_operation.h"
#include "capture/protected_content_input_activity.h"
#include "model/diagnostic_reporter.h"
#include "model/protected_system_surface_capture_policy.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"

namespace corvane::capture {

using model::ProtectedSharePhase;

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
    captureStall_.reset();
    return true;
  }
  if (!liveMonitoringStartedAt_ || now - *liveMonitoringStartedAt_ < kLiveMonitoringGrace)
    return true;

  ProtectedCaptureStallCheck::Observation observation;
  observation.now = now;
  observation.lastSample = records().callbackMonitor->lastPixelTime();
  observation.lastPublished = lastRelayedAt_;
  observation.secondsSinceInput =
      ProtectedContentInputActivity::secondsSinceLastEvent(services_.desktop.inputIdleness.get());
  if (captureStall_.hasStalled(observation)) {
    const long long seconds =
        lastSampleDate_
            ? static_cast<long long>(runtime::secondsBetween(*lastSampleDate_, runtime::now()))
            : -1;
    failClosed(kCaptureStalledMessage, "protected_share_capture_stalled",
               {{"seconds", std::to_string(seconds)}, {"analyzing", "false"}});
    return false;
  }

  // The output: only a canvas presents frames, so only with one attached can it stall.
  if (!surface_->hasRedrawHandler()) return true;
  const auto stats = surface_->presentationStats();
  if (stats.pendingPresentationSinceUptime &&
      now - *stats.pendingPresentationSinceUptime > kPresentationStallThreshold) {
    const long long seconds =
        stats.lastPresentedUptime ? static_cast<long long>(now - *stats.lastPresentedUptime) : -1;
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
  if (!model::isActive(phase.value()) || !isFrameDeliveryEnabled_ || !supervisor_->stream() ||
      !supervisor_->activeFilter() || supervisor_->isStarting())
    return;
  const double silence =
      std::max(0.0, runtime::uptime() - records().callbackMonitor->lastPixelTime());
  const double input =
      ProtectedContentInputActivity::secondsSinceLastEvent(services_.desktop.inputIdleness.get());
  if (!ProtectedScreenshotFallback::isNeeded(silence, renderedFrame.value().has_value(), input)) {
    screenshots_->standDown(silence < kScreenshotSilence ? "stream_resumed" : "source_idle");
    return;
  }
  // The screenshot goes through the same filter as the stream and enters the same drain, so it
  // is held, paced and checked exactly like a stream frame.
  screenshots_->request(supervisor_->activeFilter()->filter, supervisor_->activeConfiguration(),
                        captureGeneration_.current(), silence);
}

void ProtectedShareEngine::stopScreenshotFallback(const char* reason) {
  screenshotFallbackTask_.cancel();
  screenshotFallbackTask_ = {};
  screenshots_->reset(reason);
}

}  // namespace corvane::capture
