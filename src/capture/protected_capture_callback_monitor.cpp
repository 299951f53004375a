#include "capture/protected_capture_callback_monitor.h"

namespace corvane::capture {

std::optional<ProtectedCaptureCallbackMonitor::Counts> ProtectedCaptureCallbackMonitor::record(
    Outcome outcome, runtime::Uptime now) {
  std::lock_guard lock(mutex_);
  ++counts_.callbacks;
  switch (outcome) {
    case Outcome::pixels:
      ++counts_.pixels;
      lastPixelTime_ = now;
      break;
    case Outcome::staleStream:
      ++counts_.staleStream;
      break;
    case Outcome::invalidSample:
      ++counts_.invalidSamples;
      break;
    case Outcome::missingPixelBuffer:
      ++counts_.missingPixelBuffers;
      break;
  }
  if (hasReported_ && now - lastReportTime_ < kReportInterval) return std::nullopt;
  hasReported_ = true;
  lastReportTime_ = now;
  return counts_;
}

void ProtectedCaptureCallbackMonitor::setLastPixelTime(runtime::Uptime now) {
  std::lock_guard lock(mutex_);
  lastPixelTime_ = now;
}

runtime::Uptime ProtectedCaptureCallbackMonitor::lastPixelTime() const {
  std::lock_guard lock(mutex_);
  return lastPixelTime_;
}

ProtectedCaptureCallbackMonitor::Counts ProtectedCaptureCallbackMonitor::counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

std::map<std::string, std::string> ProtectedCaptureCallbackMonitor::Counts::fields() const {
  return {{"callbacks", std::to_string(callbacks)},
          {"pixels", std::to_string(pixels)},
          {"staleStream", std::to_string(staleStream)},
          {"invalidSamples", std::to_string(invalidSamples)},
          {"missingPixelBuffers", std::to_string(missingPixelBuffers)}};
}

}  // namespace corvane::capture
