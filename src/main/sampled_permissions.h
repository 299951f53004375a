#pragma once

#include <chrono>
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
// Once nothing has checked for `restAfter` seconds the thread rests, without a timer, until the
// next check wakes it: that check answers from the last sample, the ones after from a fresh one.
class SampledPermissions final : public platform::Permissions {
 public:
  static constexpr double kRestAfter = 2.0;

  SampledPermissions(std::shared_ptr<platform::Permissions> desktop, double intervalSeconds,
                     double restAfterSeconds = kRestAfter);
  ~SampledPermissions() override;
  SampledPermissions(const SampledPermissions&) = delete;
  SampledPermissions& operator=(const SampledPermissions&) = delete;

  bool screenCapturePreflight() const override;
  bool requestScreenCapture() override;
  std::optional<std::string> screenCaptureDenialReason() const override;
  bool accessibilityTrusted() const override;

  // Takes a sample now, on the calling thread.
  void sampleNow();
  // True while the thread waits for a check to wake it.
  bool resting() const;

 private:
  struct Sample {
    std::optional<std::string> denialReason;
    bool accessibilityTrusted = false;
  };
  void run(double intervalSeconds, double restAfterSeconds);
  // Under `mutex_`: a check was made; a resting thread wakes.
  void noteCheck() const;

  std::shared_ptr<platform::Permissions> desktop_;
  mutable std::mutex mutex_;
  mutable std::condition_variable wake_;
  Sample sample_;
  mutable std::chrono::steady_clock::time_point lastCheckAt_;
  mutable bool resting_ = false;
  bool stopping_ = false;
  std::thread sampler_;
};

}  // namespace corvane::wiring
