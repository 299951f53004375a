#include "capture/protected_frame_intake.h"

#include <utility>

#include "runtime/main_actor.h"
#include "runtime/runtime.h"

namespace corvane::capture {

using Outcome = ProtectedCaptureCallbackMonitor::Outcome;

ProtectedFrameIntake::ProtectedFrameIntake(Records records) : records_(std::move(records)) {
  if (auto relay = records_.relay) {
    frameSink_ = [relay](ProtectedCapturedFrame frame, std::uint64_t generation,
                         std::uint64_t sourceContextGeneration) {
      relay->publish(std::move(frame), generation, sourceContextGeneration);
    };
  }
}

void ProtectedFrameIntake::setHandlers(Handlers handlers) {
  std::lock_guard lock(handlersMutex_);
  handlers_ = std::move(handlers);
}

ProtectedFrameIntake::Handlers ProtectedFrameIntake::handlers() const {
  std::lock_guard lock(handlersMutex_);
  return handlers_;
}

void ProtectedFrameIntake::recordOutcome(Outcome outcome) {
  auto counts = records_.callbackMonitor->record(outcome, runtime::uptime());
  if (!counts) return;
  if (auto due = handlers().callbackCountsDue) due(*counts);
}

void ProtectedFrameIntake::handleSample(const platform::CapturedSample& sample,
                                        std::uint64_t streamIdentity) {
  const auto configuration = records_.deliveryState->configuration();
  if (!configuration.isAcceptingFrames || configuration.streamIdentity != streamIdentity) {
    recordOutcome(Outcome::staleStream);
    return;
  }
  if (!sample.valid) {
    recordOutcome(Outcome::invalidSample);
    return;
  }
  switch (sample.status) {
    case platform::FrameStatus::complete:
    case platform::FrameStatus::started:
      break;
    case platform::FrameStatus::idle:
      // The screen has not changed: the stream is alive, there is nothing new to show.
      recordOutcome(Outcome::pixels);
      return;
    default:
      recordOutcome(Outcome::invalidSample);
      return;
  }
  if (!sample.pixels) {
    recordOutcome(Outcome::missingPixelBuffer);
    return;
  }
  recordOutcome(Outcome::pixels);
  offer(ProtectedCapturedFrame::make(sample.pixels, sample.presentationTime, runtime::uptime()),
        configuration.generation);
}

void ProtectedFrameIntake::setFrameSink(FrameSink sink) {
  std::lock_guard lock(handlersMutex_);
  frameSink_ = std::move(sink);
}

ProtectedFrameIntake::FrameSink ProtectedFrameIntake::frameSink() const {
  std::lock_guard lock(handlersMutex_);
  return frameSink_;
}

void ProtectedFrameIntake::offer(ProtectedCapturedFrame frame, std::uint64_t generation) {
  if (records_.mailbox->offer(std::move(frame), generation)) drain();
}

void ProtectedFrameIntake::drain() {
  while (auto entry = records_.mailbox->take()) drainOne(std::move(*entry));
}

void ProtectedFrameIntake::drainOne(LatestCapturedFrameMailbox::Entry entry) {
  const auto configuration = records_.deliveryState->configuration();
  if (!configuration.admits(entry.generation, entry.frame.timestamp)) return;
  const auto now = runtime::uptime();
  pass(std::move(entry), configuration, now);
  if (records_.deliveryState->recordAcceptedFrame(runtime::now(), now)) {
    if (auto due = handlers().deliveryReportDue) due();
  }
}

void ProtectedFrameIntake::drainHeldFrame() {
  std::optional<LatestCapturedFrameMailbox::Entry> held;
  {
    std::lock_guard lock(heldMutex_);
    isCadenceRetryScheduled_ = false;
    held = std::exchange(cadenceHeldFrame_, std::nullopt);
  }
  if (!held) return;
  const auto configuration = records_.deliveryState->configuration();
  if (!configuration.admits(held->generation, held->frame.timestamp)) return;
  pass(std::move(*held), configuration, runtime::uptime());
}

ProtectedFrameIntake::Handlers ProtectedFrameIntake::engineHandlers(
    std::weak_ptr<ProtectedFrameIntake> intake, std::shared_ptr<runtime::SerialQueue> samplesQueue,
    model::EventRecorder recorder, std::function<void()> deliveryReportDue) {
  Handlers handlers;
  handlers.deliveryReportDue = std::move(deliveryReportDue);
  handlers.callbackCountsDue =
      [recorder = std::move(recorder)](const ProtectedCaptureCallbackMonitor::Counts& counts) {
        recorder("protected_share_capture_callbacks", counts.fields());
      };
  handlers.cadenceRetryDue = [samplesQueue = std::move(samplesQueue),
                              intake = std::move(intake)](double delaySeconds) {
    runtime::postToMainAfter(delaySeconds, intake, [samplesQueue, intake](ProtectedFrameIntake&) {
      samplesQueue->post([intake] {
        if (auto strong = intake.lock()) strong->drainHeldFrame();
      });
    });
  };
  return handlers;
}

void ProtectedFrameIntake::pass(LatestCapturedFrameMailbox::Entry entry,
                                const ProtectedFrameDeliveryState::Configuration& configuration,
                                runtime::Uptime now) {
  // A paused configuration holds the published frame: the sample is counted (the stream is alive)
  // but goes no further.
  if (configuration.isPaused) return;
  if (records_.cadenceGate->accept(entry.generation, now)) {
    {
      std::lock_guard lock(heldMutex_);
      cadenceHeldFrame_.reset();
    }
    if (auto sink = frameSink()) {
      sink(std::move(entry.frame), entry.generation, configuration.sourceContextGeneration);
    }
    return;
  }
  auto retry = handlers().cadenceRetryDue;
  if (!retry) return;
  bool schedule = false;
  {
    std::lock_guard lock(heldMutex_);
    cadenceHeldFrame_ = std::move(entry);
    schedule = !std::exchange(isCadenceRetryScheduled_, true);
  }
  if (schedule) retry(records_.cadenceGate->minimumInterval());
}

}  // namespace corvane::capture
