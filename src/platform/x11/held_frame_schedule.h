#pragma once

#include <optional>

namespace corvane::platform::x11 {

// When a frame is composed with the server held. A frame fails when the windows changed while it
// was composed and read; under a steady stream of such changes every frame could fail and none
// would come. After kFailuresBeforeHolding failures in a row the next frame is composed with the
// server held, so that one comes; but a hold stops every other client, so none is taken sooner
// than kSpacing (or four times the last hold's length, when that is longer) after the last one
// ended: in between, frames are composed as usual and those that fail are given up. Times are
// seconds of one monotonic clock.
class HeldFrameSchedule {
 public:
  static constexpr int kFailuresBeforeHolding = 2;
  static constexpr double kSpacing = 0.25;

  // Whether the frame composed at `now` is to be held.
  bool holdsFrameAt(double now) const;
  // A frame was composed: `succeeded`, and held from `heldFrom` to `heldUntil` when it was.
  void composed(bool succeeded, std::optional<double> heldFrom = std::nullopt,
                std::optional<double> heldUntil = std::nullopt);

 private:
  int failedInARow_ = 0;
  std::optional<double> nextHoldFrom_;
};

}  // namespace corvane::platform::x11
