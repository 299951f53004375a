#include "capture/protected_screenshot_fallback.h"

#include "runtime/main_actor.h"

namespace corvane::capture {

std::shared_ptr<ProtectedScreenshotFallback> ProtectedScreenshotFallback::make(
    std::shared_ptr<platform::ScreenCapture> capture, FrameSink sink, Relevance relevance,
    model::EventRecorder recorder) {
  return std::make_shared<ProtectedScreenshotFallback>(std::move(capture), std::move(sink),
                                                       std::move(relevance), std::move(recorder));
}

ProtectedScreenshotFallback::ProtectedScreenshotFallback(
    std::shared_ptr<platform::ScreenCapture> capture, FrameSink sink, Relevance relevance,
    model::EventRecorder recorder)
    : capture_(std::move(capture)),
      sink_(std::move(sink)),
      relevance_(std::move(relevance)),
      recorder_(std::move(recorder)) {}

bool ProtectedScreenshotFallback::isNeeded(double streamSilence, bool hasFrame,
                                           double secondsSinceInput) {
  return streamSilence >= kSilence && (!hasFrame || secondsSinceInput <= kInputWindow);
}

void ProtectedScreenshotFallback::request(const platform::ContentFilter& filter,
                                          const platform::StreamConfiguration& configuration,
                                          std::uint64_t generation, double streamSilence) {
  runtime::assertMainActor();
  if (isRequestInFlight()) return;
  const std::uint64_t token = nextToken_++;
  inFlightToken_ = token;
  const auto requestedAt = runtime::uptime();
  std::weak_ptr<ProtectedScreenshotFallback> weak = weak_from_this();
  runtime::postToMainAfter(kRequestTimeout, weak,
                           [token, generation, streamSilence](ProtectedScreenshotFallback& self) {
                             self.finish(token, generation, false,
                                         "The screenshot did not complete in time.", streamSilence);
                           });
  capture_->captureImage(
      filter, configuration,
      [weak, sink = sink_, token, generation, requestedAt,
       streamSilence](runtime::Result<platform::SharedPixelBuffer> result) {
        bool produced = false;
        std::string failure;
        if (!result.ok()) {
          failure = result.message();
        } else if (!result.value()) {
          failure = "Screenshot fallback returned no valid pixel buffer";
        } else if (auto self = weak.lock(); self && self->inFlightToken_ == token) {
          sink(ProtectedCapturedFrame::make(result.value(), requestedAt, requestedAt), generation);
          produced = true;
        }
        runtime::postToMain(weak, [=](ProtectedScreenshotFallback& self) {
          self.finish(token, generation, produced, failure, streamSilence);
        });
      });
}

void ProtectedScreenshotFallback::finish(std::uint64_t token, std::uint64_t generation,
                                         bool produced, const std::string& failure,
                                         double silence) {
  // A completion after the time limit, or of a request that a reset gave up, is late: ignored.
  if (token != inFlightToken_) return;
  inFlightToken_ = 0;
  if (!relevance_(generation)) return;
  if (produced) {
    consecutiveFailures_ = 0;
    ++frameCount_;
    if (!isActive_) {
      isActive_ = true;
      recorder_("protected_share_screenshot_fallback_started",
                {{"streamSilenceMS", std::to_string(static_cast<long long>(silence * 1000))},
                 {"targetFPS", "5"}});
    }
    return;
  }
  ++consecutiveFailures_;
  if (consecutiveFailures_ == 1 || consecutiveFailures_ % 30 == 0) {
    recorder_("protected_share_screenshot_fallback_failed",
              {{"consecutiveFailures", std::to_string(consecutiveFailures_)},
               {"error", failure.empty() ? std::string("Unknown capture failure") : failure}});
  }
}

void ProtectedScreenshotFallback::recordStopped(const char* reason) {
  if (isActive_) {
    recorder_("protected_share_screenshot_fallback_stopped",
              {{"reason", reason}, {"frames", std::to_string(frameCount_)}});
  }
  isActive_ = false;
  frameCount_ = 0;
}

void ProtectedScreenshotFallback::standDown(const char* reason) {
  recordStopped(reason);
}

void ProtectedScreenshotFallback::reset(const char* reason) {
  recordStopped(reason);
  inFlightToken_ = 0;
  consecutiveFailures_ = 0;
}

}  // namespace corvane::capture
