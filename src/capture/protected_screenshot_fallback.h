#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/protected_captured_frame.h"
#include "model/event_recorder.h"
#include "platform/screen_capture.h"

namespace corvane::capture {

// Filtered screenshots standing in for a capture stream that has gone silent, one at a time.
//
// Every request carries a token and a time limit: a screenshot that has not completed within
// kRequestTimeout counts as failed, the next one may go out, and its late completion is ignored
// by its stale token, so one lost screenshot never turns the fallback off. Its frames go to the
// sink, which holds, paces and checks them like stream frames.
//
// Runs on the main actor; the capture service may complete on any thread.
class ProtectedScreenshotFallback
    : public std::enable_shared_from_this<ProtectedScreenshotFallback> {
 public:
  static constexpr double kSilence = 1.0;      // stream silence before screenshots stand in
  static constexpr double kInputWindow = 2.0;  // input this recent keeps them going
  static constexpr double kRequestTimeout = 2.0;

  // Receives each screenshot with the capture generation it was asked for under; any thread.
  using FrameSink = std::function<void(ProtectedCapturedFrame frame, std::uint64_t generation)>;
  // Whether a completion asked for under `generation` still counts (main actor).
  using Relevance = std::function<bool(std::uint64_t generation)>;

  static std::shared_ptr<ProtectedScreenshotFallback> make(
      std::shared_ptr<platform::ScreenCapture> capture, FrameSink sink, Relevance relevance,
      model::EventRecorder recorder);

  // Screenshots are needed while the stream has been silent for kSilence and either no frame is
  // out yet or the user gave input within kInputWindow.
  static bool isNeeded(double streamSilence, bool hasFrame, double secondsSinceInput);

  // Asks for one screenshot through `filter` unless one is still within its time limit.
  void request(const platform::ContentFilter& filter,
               const platform::StreamConfiguration& configuration, std::uint64_t generation,
               double streamSilence);
  // Screenshots are no longer needed: an active fallback ends, recorded with `reason`.
  void standDown(const char* reason);
  // Ends everything, including a request in flight (its completion is ignored).
  void reset(const char* reason);

  bool isActive() const { return isActive_; }
  bool isRequestInFlight() const { return inFlightToken_.load() != 0; }
  int consecutiveFailures() const { return consecutiveFailures_; }

  ProtectedScreenshotFallback(std::shared_ptr<platform::ScreenCapture> capture, FrameSink sink,
                              Relevance relevance, model::EventRecorder recorder);

 private:
  void finish(std::uint64_t token, std::uint64_t generation, bool produced,
              const std::string& failure, double silence);
  void recordStopped(const char* reason);

  std::shared_ptr<platform::ScreenCapture> capture_;
  FrameSink sink_;
  Relevance relevance_;
  model::EventRecorder recorder_;
  std::uint64_t nextToken_ = 1;
  std::atomic<std::uint64_t> inFlightToken_{0};  // 0: nothing in flight; read by completions
  bool isActive_ = false;
  int frameCount_ = 0;
  int consecutiveFailures_ = 0;
};

}  // namespace corvane::capture
