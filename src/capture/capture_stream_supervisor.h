#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/protected_capture_filter.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"
#include "runtime/result.h"
#include "runtime/serial_queue.h"
#include "runtime/task.h"

namespace corvane::capture {

// How a start or a replacement of the supervised stream ended.
struct StreamChange {
  enum class Outcome {
    running,     // the new stream runs and is the supervised one
    superseded,  // the supervised stream changed meanwhile (a stop, another change): nothing done
    failed,      // the operation failed; `error` says why
  };
  Outcome outcome = Outcome::failed;
  std::string error;

  bool isRunning() const { return outcome == Outcome::running; }
};

// The one capture stream of an engine: lists what can be captured, chooses the display, makes,
// starts, stops and replaces the stream under a filter, each step within its time limit, and
// reports what came of it. Deciding what a failure means (failing closed, retrying) is the
// caller's; the supervisor never fails a session itself.
//
// Every stream is numbered; samples reach the sample sink on the samples queue with the number of
// the stream that made them, so a caller can drop those of a stream it no longer uses.
//
// Main actor, except the sinks' threads as noted.
class CaptureStreamSupervisor : public std::enable_shared_from_this<CaptureStreamSupervisor> {
 public:
  static constexpr double kShareableContentTimeout = 5.0;
  static constexpr double kStartTimeout = 5.0;
  static constexpr double kStopTimeout = 1.5;

  struct Sinks {
    // A sample of the stream `identity`; on the samples queue.
    std::function<void(const platform::CapturedSample&, std::uint64_t identity)> sample;
    // The stream `identity` stopped by itself; on the main actor. It may be a stream the
    // supervisor no longer runs (see isCurrent).
    std::function<void(std::uint64_t identity, const runtime::Error&)> stoppedWithError;
  };

  static std::shared_ptr<CaptureStreamSupervisor> make(
      std::shared_ptr<platform::ScreenCapture> capture, std::shared_ptr<platform::Screens> screens,
      std::shared_ptr<runtime::SerialQueue> samplesQueue, Sinks sinks);
  CaptureStreamSupervisor(std::shared_ptr<platform::ScreenCapture> capture,
                          std::shared_ptr<platform::Screens> screens,
                          std::shared_ptr<runtime::SerialQueue> samplesQueue, Sinks sinks);
  ~CaptureStreamSupervisor();

  // Streams made from now on hold at most `depth` samples in flight (else the platform's default).
  void setQueueDepth(int depth) { queueDepth_ = depth; }

  // What can be captured; absent when the service did not answer within the time limit.
  runtime::Task<std::optional<runtime::Result<platform::ShareableContent>>> fetchContent();
  // The display to capture: `selected`, else the one captured now, else the main screen's, else
  // the first listed.
  std::optional<platform::ShareableDisplay> chooseDisplay(
      const platform::ShareableContent& content, std::optional<std::uint32_t> selected) const;

  // Makes a stream of `snapshot` on `display`, makes it the supervised one, calls `prepared` (the
  // stream's number is known, no sample has come yet) and starts it.
  runtime::Task<StreamChange> start(CaptureFilterSnapshot snapshot,
                                    platform::ShareableDisplay display,
                                    std::function<void()> prepared);
  // Replaces the running stream by a new one of `snapshot` on `display`: `prepared` runs once the
  // new stream is made, then the old one stops and the new one starts. The new stream becomes the
  // supervised one only once it runs; `stillWanted` is asked after each wait. On failure neither
  // stream is kept (both are stopped in the background).
  runtime::Task<StreamChange> replace(CaptureFilterSnapshot snapshot,
                                      platform::ShareableDisplay display,
                                      std::function<void()> prepared,
                                      std::function<bool()> stillWanted);
  // Gives up the supervised stream at once and returns it (the caller may stop it).
  std::shared_ptr<platform::CaptureStream> release();
  // Forgets the filter and display of the last stream.
  void forgetConfiguration();
  // Stops `stream` within kStopTimeout.
  static runtime::Task<runtime::Status> stop(std::shared_ptr<platform::CaptureStream> stream);
  // Stops `stream` in the background, whatever comes of it.
  static void stopQuietly(std::shared_ptr<platform::CaptureStream> stream);

  const std::shared_ptr<platform::CaptureStream>& stream() const { return stream_; }
  std::uint64_t identity() const { return identity_; }
  bool isCurrent(std::uint64_t identity) const { return stream_ && identity == identity_; }
  // The session's first stream awaits its start.
  bool isStarting() const { return isStarting_; }
  const std::optional<CaptureFilterSnapshot>& activeFilter() const { return activeFilter_; }
  const std::optional<platform::ShareableDisplay>& activeDisplay() const { return activeDisplay_; }
  const platform::StreamConfiguration& activeConfiguration() const { return configuration_; }
  std::optional<std::uint32_t> mainDisplayID() const;

 private:
  platform::StreamConfiguration configurationFor(const platform::ShareableDisplay& display) const;

  struct Made {
    std::shared_ptr<platform::CaptureStream> stream;
    std::uint64_t identity = 0;
  };
  Made makeStream(const CaptureFilterSnapshot& snapshot,
                  const platform::StreamConfiguration& configuration);
  void install(Made made, CaptureFilterSnapshot snapshot, platform::ShareableDisplay display,
               platform::StreamConfiguration configuration);
  static runtime::Task<runtime::Status> startStream(
      std::shared_ptr<platform::CaptureStream> stream);

  std::shared_ptr<platform::ScreenCapture> capture_;
  std::shared_ptr<platform::Screens> screens_;
  std::shared_ptr<runtime::SerialQueue> samplesQueue_;
  Sinks sinks_;

  std::shared_ptr<platform::CaptureStream> stream_;
  std::uint64_t identity_ = 0;
  std::uint64_t nextIdentity_ = 1;
  bool isStarting_ = false;
  std::optional<int> queueDepth_;
  std::optional<CaptureFilterSnapshot> activeFilter_;
  std::optional<platform::ShareableDisplay> activeDisplay_;
  platform::StreamConfiguration configuration_;
};

}  // namespace corvane::capture
