#include "platform/x11/sampling_while_read.h"

namespace corvane::platform::x11 {

bool SamplingWhileRead::shouldRest(double now) {
  std::lock_guard lock(mutex_);
  resting_ = now - lastReadAt_ > restAfter_;
  return resting_;
}

bool SamplingWhileRead::noteRead(double now) {
  std::lock_guard lock(mutex_);
  lastReadAt_ = now;
  const bool wake = resting_;
  resting_ = false;
  return wake;
}

}  // namespace corvane::platform::x11
