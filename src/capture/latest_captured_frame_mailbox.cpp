#include "capture/latest_captured_frame_mailbox.h"

#include <utility>

namespace corvane::capture {

bool LatestCapturedFrameMailbox::offer(ProtectedCapturedFrame frame, std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (generation != activeGeneration_ || frame.sequence <= highestSequence_) return false;
  highestSequence_ = frame.sequence;
  pending_ = Entry{std::move(frame), generation};
  if (drainScheduled_) return false;
  drainScheduled_ = true;
  return true;
}

std::optional<LatestCapturedFrameMailbox::Entry> LatestCapturedFrameMailbox::take() {
  std::lock_guard lock(mutex_);
  if (!pending_) {
    drainScheduled_ = false;
    return std::nullopt;
  }
  return std::exchange(pending_, std::nullopt);
}

void LatestCapturedFrameMailbox::reset(std::uint64_t activeGeneration) {
  std::lock_guard lock(mutex_);
  activeGeneration_ = activeGeneration;
  highestSequence_ = 0;
  pending_.reset();
}

void LatestCapturedFrameMailbox::discardPending() {
  std::lock_guard lock(mutex_);
  pending_.reset();
}

std::uint64_t LatestCapturedFrameMailbox::activeGeneration() const {
  std::lock_guard lock(mutex_);
  return activeGeneration_;
}

std::uint64_t LatestCapturedFrameMailbox::highestSequence() const {
  std::lock_guard lock(mutex_);
  return highestSequence_;
}

bool LatestCapturedFrameMailbox::hasPendingEntry() const {
  std::lock_guard lock(mutex_);
  return pending_.has_value();
}

bool LatestCapturedFrameMailbox::isDrainScheduled() const {
  std::lock_guard lock(mutex_);
  return drainScheduled_;
}

}  // namespace corvane::capture
