#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/screen_capture.h"
#include "platform/x11/application_identity.h"
#include "platform/x11/lasting_redirect.h"
#include "platform/x11/x_event_pump.h"

namespace corvane::platform::x11 {

class CaptureSession;

// A filtered capture of one display on a thread and X connection of its own. A frame is
// composed when something on screen changed (DAMAGE, window changes, a new filter), at most
// once per minimum frame interval, and at least once a second so a still screen keeps the
// stream alive. Samples go to the sample queue. A server that does not answer for a while (another
// client holding it: a screenshot tool's region selection, a window manager's wireframe move)
// only holds the frames back until it answers again; a lost X connection, or a server silent for
// longer than the stall limit, stops the stream with an error. A stream made with the lasting
// redirects holds one from when it is made until it stops, so that a stream made to replace
// another keeps the windows redirected while the other one ends.
class X11CaptureStream final : public CaptureStream,
                               public std::enable_shared_from_this<X11CaptureStream> {
 public:
  X11CaptureStream(std::string displayName, ContentFilter filter, StreamConfiguration configuration,
                   StreamOutput output, std::shared_ptr<runtime::SerialQueue> sampleQueue,
                   std::shared_ptr<const ApplicationIdentityResolver> identities,
                   std::int32_t ownProcess, std::shared_ptr<LastingRedirects> redirects = nullptr);
  ~X11CaptureStream() override;

  void startCapture(Completion completion) override;
  void stopCapture(Completion completion) override;
  void updateContentFilter(ContentFilter filter, Completion completion) override;
  void updateConfiguration(StreamConfiguration configuration, Completion completion) override;
  void requestFrame() override;

  // A server that leaves a request unanswered this long stops the stream with an error. Set
  // before the start. Nothing can be captured from a server that answers nobody, so waiting
  // long loses nothing; a grab by another client lasts seconds.
  void setStallLimit(double seconds) { stallLimit_ = seconds; }
  static constexpr double kDefaultStallLimit = 30.0;

  // Frames composed and handed to the sample queue so far.
  std::uint64_t deliveredFrames() const { return deliveredFrames_.load(); }

 private:
  // State touched only on the pump's thread.
  struct Worker;

  std::optional<double> produceFrameIfDue(Worker& worker);
  // On the pump's thread after a stop that found no lasting redirect: keeps the session (and so
  // its redirect) until one is in place, its connection is lost, or `seconds` passed.
  static void keepRedirectUntilHandedOver(Worker& worker, double seconds);
  void deliver(CapturedSample sample);
  // Reports a finished stop on the sample queue, behind every sample already handed over.
  void completeStopAfterQueuedSamples(Completion completion,
                                      runtime::Status status = runtime::Status::success());

  std::string displayName_;
  StreamOutput output_;
  std::shared_ptr<runtime::SerialQueue> sampleQueue_;
  std::shared_ptr<const ApplicationIdentityResolver> identities_;
  std::int32_t ownProcess_;
  double stallLimit_ = kDefaultStallLimit;

  std::mutex mutex_;
  enum class Phase { idle, starting, running, stopping, stopped } phase_ = Phase::idle;
  Completion stopCompletion_;
  std::shared_ptr<Worker> worker_;
  XEventPump pump_;
  std::shared_ptr<std::atomic<int>> samplesInFlight_ = std::make_shared<std::atomic<int>>(0);
  std::atomic<std::uint64_t> deliveredFrames_{0};
};

// Seconds of the host clock used for sample times: the runtime's uptime when one is installed.
double captureClock();

}  // namespace corvane::platform::x11
