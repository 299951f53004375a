#include "capture/protected_frame_delivery_state.h"

namespace corvane::capture {

bool ProtectedFrameDeliveryState::Configuration::admits(std::uint64_t frameGeneration,
                                                        runtime::Uptime timestamp) const {
  if (!isAcceptingFrames || frameGeneration != generation) return false;
  return !minimumTimestamp || timestamp >= *minimumTimestamp;
}

bool ProtectedFrameDeliveryState::Configuration::admitsPublication(
    std::uint64_t frameGeneration, std::uint64_t frameSourceContext,
    runtime::Uptime timestamp) const {
  return !isPaused && frameSourceContext == sourceContextGeneration &&
         admits(frameGeneration, timestamp);
}

ProtectedFrameDeliveryState::ProtectedFrameDeliveryState()
    : lastSampleDate_(runtime::WallTime::min()) {}

void ProtectedFrameDeliveryState::update(const Configuration& configuration, bool resetCounters) {
  std::lock_guard lock(mutex_);
  configuration_ = configuration;
  if (resetCounters) {
    acceptedFrameCount_ = 0;
    lastSampleDate_ = runtime::WallTime::min();
    lastReportTime_ = 0;
    reportScheduled_ = false;
  }
}

ProtectedFrameDeliveryState::Configuration ProtectedFrameDeliveryState::configuration() const {
  std::lock_guard lock(mutex_);
  return configuration_;
}

bool ProtectedFrameDeliveryState::recordAcceptedFrame(runtime::WallTime date, runtime::Uptime now) {
  std::lock_guard lock(mutex_);
  ++acceptedFrameCount_;
  lastSampleDate_ = date;
  if (reportScheduled_) return false;
  if (acceptedFrameCount_ < 3 || now - lastReportTime_ >= kReportInterval) {
    reportScheduled_ = true;
    return true;
  }
  return false;
}

std::optional<ProtectedFrameDeliveryState::Report> ProtectedFrameDeliveryState::takeReport(
    runtime::Uptime now) {
  std::lock_guard lock(mutex_);
  if (!reportScheduled_ || acceptedFrameCount_ < 1) return std::nullopt;
  reportScheduled_ = false;
  lastReportTime_ = now;
  return Report{acceptedFrameCount_, lastSampleDate_};
}

int ProtectedFrameDeliveryState::acceptedFrameCount() const {
  std::lock_guard lock(mutex_);
  return acceptedFrameCount_;
}

bool ProtectedFrameDeliveryState::isReportScheduled() const {
  std::lock_guard lock(mutex_);
  return reportScheduled_;
}

}  // namespace corvane::capture
