#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/permissions.h"

namespace corvane::wiring {

// The desktop's permissions answered from a sample a thread of its own takes every `interval`
// seconds, so a check made on the main actor never waits for the X server (a frozen server holds
// a fresh check for up to its time-out). The first sample is taken before construction returns.
// A request asks the desktop itself: it is made only after a refusal, at the user's word.
class SampledPermissions final : public platform::Permissions {
 public:
  SampledPermissions(std::shared_ptr<platform::Permissions> desktop, double intervalSeconds);
  ~SampledPermissions() override;
  SampledPermissions(const SampledPermissions&) = delete;
  SampledPermissions& operator=(const SampledPermissions&) = delete;

  bool screenCapturePreflight() const override;
  bool requestScreenCapture() override;
  std::optional<std::string> screenCaptureDenialReason() const override;
  bool accessibilityTrusted() const override;

  // Takes a sample now, on the calling thread.
  void sampleNow();

 private:
  struct Sample {
    std::optional<std::string> denialReason;
    bool accessibilityTrusted = false;
  };
  void run(double intervalSeconds);

  std::shared_ptr<platform::Permissions> desktop_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Sample sample_;
  bool stopping_ = false;
  std::thread sampler_;
};

}  // namespace corvane::wiring
