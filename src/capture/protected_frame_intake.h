#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "capture/latest_captured_frame_mailbox.h"
#include "capture/protected_capture_callback_monitor.h"
#include "capture/protected_frame_cadence_gate.h"
#include "capture/protected_frame_delivery_state.h"
#include "capture/protected_frame_relay.h"
#include "model/event_recorder.h"
#include "platform/screen_capture.h"
#include "runtime/serial_queue.h"

namespace corvane::capture {

inline constexpr const char* kProtectedShareSamplesQueueLabel =
    "com.pemberquist.corvane.protected-share.samples";

// The samples-queue side of the live capture: accounts for every stream callback, offers usable
// frames to the mailbox and drains it — dropping frames of another generation or captured before
// the minimum time, holding while publication is paused, pacing with the cadence gate — into the
// relay. It touches nothing but the lock-guarded records; what the main actor must hear about goes
// through the handlers, which the owner sets before the first stream starts.
class ProtectedFrameIntake {
 public:
  struct Records {
    std::shared_ptr<ProtectedFrameDeliveryState> deliveryState;
    std::shared_ptr<LatestCapturedFrameMailbox> mailbox;
    std::shared_ptr<ProtectedFrameCadenceGate> cadenceGate;
    std::shared_ptr<ProtectedCaptureCallbackMonitor> callbackMonitor;
    std::shared_ptr<ProtectedFrameRelay> relay;
  };

  struct Handlers {
    // A delivery report is due on the main actor (ProtectedFrameDeliveryState::takeReport).
    std::function<void()> deliveryReportDue;
    // The callback counts are due in the log.
    std::function<void(const ProtectedCaptureCallbackMonitor::Counts&)> callbackCountsDue;
    // The cadence refused the newest frame: drainHeldFrame() must run on the samples queue after
    // this many seconds (the next slot). Without it a refused frame is dropped, which suits only
    // a source that keeps sending frames; one that sends a frame per change would leave the last
    // change of a burst unpublished until its next frame.
    std::function<void(double delaySeconds)> cadenceRetryDue;
  };

  // Where admitted frames go, on the samples queue, with the two generations they were drained
  // under.
  using FrameSink = std::function<void(ProtectedCapturedFrame frame, std::uint64_t generation,
                                       std::uint64_t sourceContextGeneration)>;

  // Frames go to the records' relay until another sink is set.
  explicit ProtectedFrameIntake(Records records);

  void setHandlers(Handlers handlers);
  // Replaces the frame sink; set it before the first stream starts.
  void setFrameSink(FrameSink sink);

  // A stream's sample callback; `streamIdentity` names the stream that delivered it.
  void handleSample(const platform::CapturedSample& sample, std::uint64_t streamIdentity);

  // Offers a frame captured by other means (a screenshot) under `generation`.
  void offer(ProtectedCapturedFrame frame, std::uint64_t generation);

  // Moves waiting frames on until the mailbox is empty.
  void drain();
  // Offers the cadence again the frame it last refused, unless a newer frame passed since.
  void drainHeldFrame();

  const Records& records() const { return records_; }

  // The handlers of a capture engine's intake whose samples queue is `samplesQueue`:
  // `deliveryReportDue`; the callback counts logged through `recorder` as
  // "protected_share_capture_callbacks"; and a refused frame passed on in the next slot (after
  // the delay drainHeldFrame() runs on the samples queue, unless the intake is gone by then). The
  // X11 capture sends a frame per change, so the last frame of a burst, refused for coming too soon
  // after the one before, would otherwise wait for the next change.
  static Handlers engineHandlers(std::weak_ptr<ProtectedFrameIntake> intake,
                                 std::shared_ptr<runtime::SerialQueue> samplesQueue,
                                 model::EventRecorder recorder,
                                 std::function<void()> deliveryReportDue);

 private:
  void recordOutcome(ProtectedCaptureCallbackMonitor::Outcome outcome);
  void drainOne(LatestCapturedFrameMailbox::Entry entry);
  // Publication of an admitted frame: held while paused, else paced by the cadence.
  void pass(LatestCapturedFrameMailbox::Entry entry,
            const ProtectedFrameDeliveryState::Configuration& configuration, runtime::Uptime now);
  Handlers handlers() const;
  FrameSink frameSink() const;

  Records records_;
  mutable std::mutex handlersMutex_;
  Handlers handlers_;
  FrameSink frameSink_;
  // The newest frame the cadence refused, and whether its retry is on its way.
  std::mutex heldMutex_;
  std::optional<LatestCapturedFrameMailbox::Entry> cadenceHeldFrame_;
  bool isCadenceRetryScheduled_ = false;
};

}  // namespace corvane::capture
