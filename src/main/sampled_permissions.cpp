#include "main/sampled_permissions.h"

#include <chrono>

namespace corvane::wiring {

SampledPermissions::SampledPermissions(std::shared_ptr<platform::Permissions> desktop,
                                       double intervalSeconds, double restAfterSeconds)
    : desktop_(std::move(desktop)), lastCheckAt_(std::chrono::steady_clock::now()) {
  sampleNow();
  sampler_ = std::thread(
      [this, intervalSeconds, restAfterSeconds] { run(intervalSeconds, restAfterSeconds); });
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

void SampledPermissions::run(double intervalSeconds, double restAfterSeconds) {
  const auto interval = std::chrono::duration<double>(intervalSeconds);
  const auto restAfter = std::chrono::duration<double>(restAfterSeconds);
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (std::chrono::steady_clock::now() - lastCheckAt_ >= restAfter) {
      resting_ = true;
      wake_.wait(lock, [this] { return stopping_ || !resting_; });
    } else {
      wake_.wait_for(lock, interval, [this] { return stopping_; });
    }
    if (stopping_) break;
    lock.unlock();
    sampleNow();
    lock.lock();
  }
}

void SampledPermissions::noteCheck() const {
  lastCheckAt_ = std::chrono::steady_clock::now();
  if (!resting_) return;
  resting_ = false;
  wake_.notify_all();
}

bool SampledPermissions::resting() const {
  std::lock_guard lock(mutex_);
  return resting_;
}

bool SampledPermissions::screenCapturePreflight() const {
  std::lock_guard lock(mutex_);
  noteCheck();
  return !sample_.denialReason.has_value();
}

bool SampledPermissions::requestScreenCapture() {
  desktop_->requestScreenCapture();
  sampleNow();
  return screenCapturePreflight();
}

std::optional<std::string> SampledPermissions::screenCaptureDenialReason() const {
  std::lock_guard lock(mutex_);
  noteCheck();
  return sample_.denialReason;
}

bool SampledPermissions::accessibilityTrusted() const {
  std::lock_guard lock(mutex_);
  noteCheck();
  return sample_.accessibilityTrusted;
}

}  // namespace corvane::wiring
