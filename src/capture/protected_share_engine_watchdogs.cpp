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
    const double idle =
        ProtectedContentInputActivity::secondsSinceLastEvent(services_.desktop.inputIdleness.get());
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
  const double input =
      ProtectedContentInputActivity::secondsSinceLastEvent(services_.desktop.inputIdleness.get());
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
  services_.desktop.capture->captureImage(
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
        runtime::postToMain(weak, [=](ProtectedShareEngine& self) {
          self.finishScreenshot(session, generation, produced, failure, silence);
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
