#include "platform/x11/held_frame_schedule.h"

#include <algorithm>

namespace corvane::platform::x11 {

bool HeldFrameSchedule::holdsFrameAt(double now) const {
  return failedInARow_ >= kFailuresBeforeHolding && (!nextHoldFrom_ || now >= *nextHoldFrom_);
}

void HeldFrameSchedule::composed(bool succeeded, std::optional<double> heldFrom,
                                 std::optional<double> heldUntil) {
  failedInARow_ = succeeded ? 0 : failedInARow_ + 1;
  if (heldFrom && heldUntil) {
    nextHoldFrom_ = *heldUntil + std::max(kSpacing, 4 * (*heldUntil - *heldFrom));
  }
}

}  // namespace corvane::platform::x11
