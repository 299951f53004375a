#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "runtime/clock.h"

namespace corvane::capture {

// Paces the frames accepted for publication within one capture generation.
//
// Time is divided into slots of `minimumInterval` seconds centred on whole intervals after the
// generation's first accepted frame; at most one frame is accepted per slot, and never two within
// half an interval. Over any stretch of T seconds at most T / minimumInterval frames pass (plus
// one for the slot the stretch begins in), while a source that delivers at exactly that rate with
// some jitter (a frame a little early) is not halved, as a plain "at least one interval since the
// last frame" rule would do.
//
// With `Pacing::sinceLastAccepted` the plain rule holds instead: a frame passes only when at
// least one interval has passed since the last accepted frame, so no two accepted frames are ever
// closer than the interval.
class ProtectedFrameCadenceGate {
 public:
  static constexpr double kDefaultMinimumInterval = 1.0 / 60.0;
  enum class Pacing { slotGrid, sinceLastAccepted };

  explicit ProtectedFrameCadenceGate(double minimumInterval = kDefaultMinimumInterval,
                                     Pacing pacing = Pacing::slotGrid);

  // Whether a frame of `generation` drained at `now` may be published. The first frame of a
  // generation is always accepted and starts its slot grid.
  bool accept(std::uint64_t generation, runtime::Uptime now);

  std::optional<std::uint64_t> activeGeneration() const;
  runtime::Uptime lastAcceptedTime() const;
  double minimumInterval() const { return minimumInterval_; }

 private:
  const double minimumInterval_;
  const Pacing pacing_;
  mutable std::mutex mutex_;
  std::optional<std::uint64_t> activeGeneration_;
  runtime::Uptime origin_ = 0;
  std::int64_t lastSlot_ = 0;
  runtime::Uptime lastAcceptedTime_ = 0;
};

}  // namespace corvane::capture
