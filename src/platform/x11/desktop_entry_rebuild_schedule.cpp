#include "platform/x11/desktop_entry_rebuild_schedule.h"

#include <algorithm>

namespace corvane::platform::x11 {

void DesktopEntryRebuildSchedule::changed(double now) {
  if (!firstWaiting_) firstWaiting_ = now;
}

std::optional<double> DesktopEntryRebuildSchedule::dueAt() const {
  if (!firstWaiting_) return std::nullopt;
  const double settled = *firstWaiting_ + settle_;
  return lastRead_ ? std::max(settled, *lastRead_ + minimumInterval_) : settled;
}

void DesktopEntryRebuildSchedule::read(double now) {
  firstWaiting_.reset();
  lastRead_ = now;
}

}  // namespace corvane::platform::x11
