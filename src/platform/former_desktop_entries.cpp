#include "platform/former_desktop_entries.h"

namespace corvane::platform {
namespace {

// Whether `current` holds the entry as `earlier` claims windows and commands.
bool claimsAlike(const IndexedDesktopEntry* current, const IndexedDesktopEntry& earlier) {
  return current != nullptr && current->entry.startupWMClass == earlier.entry.startupWMClass &&
         current->entry.exec == earlier.entry.exec;
}

}  // namespace

std::shared_ptr<const DesktopEntryIndex> FormerDesktopEntries::follow(
    const std::shared_ptr<const DesktopEntryIndex>& current) {
  std::lock_guard lock(mutex_);
  if (!current || current == followed_) return former_;
  if (followed_) {
    auto kept = former_->indexedEntries();
    const auto before = kept.size();
    for (const auto& earlier : followed_->indexedEntries()) {
      if (!claimsAlike(current->indexed(earlier->id), *earlier)) kept.push_back(earlier);
    }
    if (kept.size() != before) former_ = std::make_shared<const DesktopEntryIndex>(std::move(kept));
  }
  followed_ = current;
  return former_;
}

}  // namespace corvane::platform
