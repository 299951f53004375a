#pragma once

#include <mutex>

namespace corvane::platform::x11 {

// When a thread that samples the X server for readers may rest: once nobody has read the samples
// for `restAfter` seconds, until the next read wakes it. Thread-safe; times on pumpClock().
class SamplingWhileRead {
 public:
  explicit SamplingWhileRead(double restAfter) : restAfter_(restAfter) {}

  // On the sampling thread, before a sample: true when it should rest instead (and wait for a
  // wake-up without a timer).
  bool shouldRest(double now);
  // On a reader's thread: true when the sampler rests and must be woken (it takes no sample
  // until then, so the reader has the last one, possibly old).
  bool noteRead(double now);

 private:
  std::mutex mutex_;
  double restAfter_;
  double lastReadAt_ = -1e300;
  bool resting_ = false;
};

}  // namespace corvane::platform::x11
