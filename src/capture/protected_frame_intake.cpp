#include "capture/protected_frame_intake.h"

#include <utility>

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
  // A paused configuration holds the published frame: the sample is counted (the stream is alive)
  // but goes no further.
  if (!configuration.isPaused && records_.cadenceGate->accept(entry.generation, now)) {
    if (auto sink = frameSink()) {
      sink(std::move(entry.frame), entry.generation, configuration.sourceContextGeneration);
    }
  }
  if (records_.deliveryState->recordAcceptedFrame(runtime::now(), now)) {
    if (auto due = handlers().deliveryReportDue) due();
  }
}

}  // namespace corvane::capture
