#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "capture/protected_captured_frame.h"

namespace corvane::capture {

// The one-slot hand-off between the stream callback and the drain: the newest frame of the active
// capture generation wins, so a slow drain never works through a queue of old frames.
class LatestCapturedFrameMailbox {
 public:
  struct Entry {
    ProtectedCapturedFrame frame;
    std::uint64_t generation = 0;
  };

  // Refuses (false) a frame of another generation or whose sequence is not above every sequence
  // offered before in this generation. Otherwise the frame replaces the pending one; returns true
  // only when this offer scheduled the drain, which the caller must then run.
  bool offer(ProtectedCapturedFrame frame, std::uint64_t generation);

  // The drain's step: takes the pending entry; when there is none, clears the drain flag so the
  // next offer schedules a new drain.
  std::optional<Entry> take();

  // A new capture generation begins: highest sequence 0, no entry. The drain flag keeps its value
  // so a drain under way finds the slot empty and clears it itself.
  void reset(std::uint64_t activeGeneration);

  // Drops the waiting frame without changing the generation (a desktop switch).
  void discardPending();

  std::uint64_t activeGeneration() const;
  std::uint64_t highestSequence() const;
  bool hasPendingEntry() const;
  bool isDrainScheduled() const;

 private:
  mutable std::mutex mutex_;
  std::uint64_t activeGeneration_ = 0;
  std::uint64_t highestSequence_ = 0;
  std::optional<Entry> pending_;
  bool drainScheduled_ = false;
};

}  // namespace corvane::capture
