#include "capture/protected_frame_cadence_gate.h"

#include <cmath>

namespace corvane::capture {

namespace {
// Absorbs floating-point error in the slot arithmetic.
constexpr double kSlotEpsilon = 1e-6;
}  // namespace

ProtectedFrameCadenceGate::ProtectedFrameCadenceGate(double minimumInterval, Pacing pacing)
    : minimumInterval_(minimumInterval > 0 ? minimumInterval : kDefaultMinimumInterval),
      pacing_(pacing) {}

bool ProtectedFrameCadenceGate::accept(std::uint64_t generation, runtime::Uptime now) {
  std::lock_guard lock(mutex_);
  if (activeGeneration_ != generation) {
    activeGeneration_ = generation;
    origin_ = now;
    lastSlot_ = 0;
    lastAcceptedTime_ = now;
    return true;
  }
  if (pacing_ == Pacing::sinceLastAccepted) {
    if (now - lastAcceptedTime_ < minimumInterval_ - 1e-9) return false;
    lastAcceptedTime_ = now;
    return true;
  }
  if (now < origin_ || now - lastAcceptedTime_ < minimumInterval_ / 2) return false;
  // Slots are centred on whole intervals after the origin, so a source running at the limit
  // lands mid-slot and its jitter never pushes two frames into one slot.
  const auto slot = static_cast<std::int64_t>(
      std::floor((now - origin_) / minimumInterval_ + 0.5 + kSlotEpsilon));
  if (slot <= lastSlot_) return false;
  lastSlot_ = slot;
  lastAcceptedTime_ = now;
  return true;
}

std::optional<std::uint64_t> ProtectedFrameCadenceGate::activeGeneration() const {
  std::lock_guard lock(mutex_);
  return activeGeneration_;
}

runtime::Uptime ProtectedFrameCadenceGate::lastAcceptedTime() const {
  std::lock_guard lock(mutex_);
  return lastAcceptedTime_;
}

}  // namespace corvane::capture
