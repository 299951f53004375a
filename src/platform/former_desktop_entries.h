#pragma once

#include <memory>
#include <mutex>

#include "platform/desktop_entry_index.h"

namespace corvane::platform {

// The desktop entries, as they were, that left the index while the program ran: removed, renamed,
// hidden or changed by an update. An entry goes on claiming what it claimed (its StartupWMClass,
// its id, the command its Exec= runs) until the program quits, so a copy of an application
// started after its entry went is still known by it. Safe to call from any thread.
class FormerDesktopEntries {
 public:
  // Takes in the entries as they are now (`current`; nothing to do when it is the index taken in
  // last) and returns the entries that left.
  std::shared_ptr<const DesktopEntryIndex> follow(
      const std::shared_ptr<const DesktopEntryIndex>& current);

 private:
  std::mutex mutex_;
  std::shared_ptr<const DesktopEntryIndex> followed_;
  std::shared_ptr<const DesktopEntryIndex> former_ = std::make_shared<const DesktopEntryIndex>();
};

}  // namespace corvane::platform
