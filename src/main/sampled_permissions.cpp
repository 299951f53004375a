#include "main/sampled_permissions.h"

#include <chrono>

namespace corvane::wiring {

SampledPermissions::SampledPermissions(std::shared_ptr<platform::Permissions> desktop,
                                       double intervalSeconds)
    : desktop_(std::move(desktop)) {
  sampleNow();
  sampler_ = std::thread([this, intervalSeconds] { run(intervalSeconds); });
}

SampledPermissions::~SampledPermissions() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  sampler_.join();
}

void SampledPermissions::sampleNow() {
  Sample fresh{desktop_->screenCaptureDenialReason(), desktop_->accessibilityTrusted()};
  std::lock_guard lock(mutex_);
  sample_ = std::move(fresh);
}

void SampledPermissions::run(double intervalSeconds) {
  const auto interval = std::chrono::duration<double>(intervalSeconds);
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, interval, [this] { return stopping_; })) {
    lock.unlock();
    sampleNow();
    lock.lock();
  }
}

bool SampledPermissions::screenCapturePreflight() const {
  std::lock_guard lock(mutex_);
  return !sample_.denialReason.has_value();
}

bool SampledPermissions::requestScreenCapture() {
  desktop_->requestScreenCapture();
  sampleNow();
  return screenCapturePreflight();
}

std::optional<std::string> SampledPermissions::screenCaptureDenialReason() const {
  std::lock_guard lock(mutex_);
  return sample_.denialReason;
}

bool SampledPermissions::accessibilityTrusted() const {
  std::lock_guard lock(mutex_);
  return sample_.accessibilityTrusted;
}

}  // namespace corvane::wiring
