#pragma once

#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop_entry_index.h"
#include "platform/x11/desktop_entry_rebuild_schedule.h"

namespace corvane::platform::x11 {

// How the application entries follow their directories. In seconds.
struct DesktopEntryWatchTiming {
  // After a quiet spell, a change is read this soon (a file is written in several steps).
  double settle = 0.05;
  // While changes keep coming, the entries are read at most this often.
  double minimumInterval = 1.0;
  // Without a watch on every folder, the folders are walked this often (longer when a walk
  // takes long: never more than a fifth of the time is spent walking), at most `longestPoll`.
  double poll = 1.0;
  double longestPoll = 5.0;
};

// The application entries of some directories, read again whenever one of them changes (an
// application installed, removed or exported by Flatpak while Corvane runs). The reading is done
// by a thread of its own: the directories and their subfolders are watched with inotify (a
// directory that does not exist yet through the nearest folder above it), changes are read
// together at most once a `minimumInterval`, and each read publishes a new index that current()
// hands out at the cost of a pointer copy. When inotify cannot watch every folder (its
// instances or watches ran out), the folders are walked every `poll` seconds instead and every
// entry file's stamp compared, which finds files added in subfolders and edited in place.
class WatchedDesktopEntries final : public DesktopEntrySource {
 public:
  explicit WatchedDesktopEntries(std::vector<std::filesystem::path> directories,
                                 DesktopEntryWatchTiming timing = {});
  ~WatchedDesktopEntries() override;
  WatchedDesktopEntries(const WatchedDesktopEntries&) = delete;
  WatchedDesktopEntries& operator=(const WatchedDesktopEntries&) = delete;

  // Waits only for the first reading of the directories (made once, at start).
  std::shared_ptr<const DesktopEntryIndex> current() override;
  std::optional<std::string> pollingReason() const override;
  // How many indexes were read so far, the first included.
  std::uint64_t readCount() const;

 private:
  // What one watch is for: the whole folder, or only the named children (a folder on the way to
  // one that does not exist yet).
  struct Watch {
    bool wholeFolder = false;
    std::set<std::string> children;
  };

  void run();
  // Starts watching every folder afresh; on failure the reason why they are polled.
  std::optional<std::string> watchDirectories();
  int addWatch(const std::filesystem::path& folder, const std::string& child);
  // Reads the pending events; true when one of them may change the entries.
  bool takeEvents();
  // Walks the folders; publishes a new index when what they hold differs from the last walk.
  void readEntries();
  void setPollingReason(std::optional<std::string> reason);

  const std::vector<std::filesystem::path> directories_;
  const DesktopEntryWatchTiming timing_;
  // The worker's own.
  int inotify_ = -1;
  int wake_ = -1;
  std::map<int, Watch> watches_;
  std::vector<DesktopEntryFile> files_;
  DesktopEntryReader reader_;
  // Every index handed out that someone may still hold, the current one included.
  std::vector<std::shared_ptr<const DesktopEntryIndex>> published_;
  double lastWalkSeconds_ = 0;
  // Shared with callers.
  mutable std::mutex mutex_;
  std::condition_variable firstRead_;
  std::shared_ptr<const DesktopEntryIndex> entries_;
  std::optional<std::string> pollingReason_;
  std::uint64_t reads_ = 0;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace corvane::platform::x11
