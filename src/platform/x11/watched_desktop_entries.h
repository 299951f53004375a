#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop_entry_index.h"

namespace corvane::platform::x11 {

// The application entries of some directories, read again whenever one of them changes (an
// application installed, removed or exported by Flatpak while Corvane runs). The directories and
// their subfolders are watched with inotify; a directory that does not exist yet is watched for
// through the nearest folder above it. Changes are taken in when current() is called, so the
// index a caller gets is never older than the changes the kernel reported before the call.
class WatchedDesktopEntries final : public DesktopEntrySource {
 public:
  explicit WatchedDesktopEntries(std::vector<std::filesystem::path> directories);
  ~WatchedDesktopEntries() override;
  WatchedDesktopEntries(const WatchedDesktopEntries&) = delete;
  WatchedDesktopEntries& operator=(const WatchedDesktopEntries&) = delete;

  std::shared_ptr<const DesktopEntryIndex> current() override;

 private:
  // What one watch is for: the whole folder, or only the named children (a folder on the way to
  // one that does not exist yet).
  struct Watch {
    bool wholeFolder = false;
    std::set<std::string> children;
  };

  void watchDirectories();
  void addWatch(const std::filesystem::path& folder, const std::string& child);
  // Reads the pending events; true when one of them may change the entries.
  bool takeEvents();
  // Without inotify: whether a directory's modification time moved since the last look.
  bool directoriesTouched();

  std::vector<std::filesystem::path> directories_;
  std::mutex mutex_;
  int inotify_ = -1;
  std::map<int, Watch> watches_;
  std::vector<std::filesystem::file_time_type> modified_;
  std::shared_ptr<const DesktopEntryIndex> entries_;
};

}  // namespace corvane::platform::x11
