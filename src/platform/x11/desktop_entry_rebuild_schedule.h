#pragma once

#include <optional>

namespace corvane::platform::x11 {

// When to read the application entries again after changes to their folders were reported, in
// seconds of a monotonic clock: `settle` after the first change of a quiet spell, and while
// changes keep coming never sooner than `minimumInterval` after the last read, so that a storm
// of writes costs one read a interval and the last change is always read.
class DesktopEntryRebuildSchedule {
 public:
  DesktopEntryRebuildSchedule(double settle, double minimumInterval)
      : settle_(settle), minimumInterval_(minimumInterval) {}

  // A change was reported at `now`.
  void changed(double now);
  // When the changes reported so far are due to be read; empty when none wait.
  std::optional<double> dueAt() const;
  // The entries were read, starting at `now`: every change reported before is in them.
  void read(double now);

 private:
  double settle_;
  double minimumInterval_;
  std::optional<double> firstWaiting_;
  std::optional<double> lastRead_;
};

}  // namespace corvane::platform::x11
