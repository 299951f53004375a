#include "platform/x11/watched_desktop_entries.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace corvane::platform::x11 {
namespace {

constexpr std::uint32_t kFolderChanges = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                         IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF |
                                         IN_ONLYDIR;
constexpr std::uint32_t kChildAppears = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;
// The same depth DesktopEntryIndex::load reads to.
constexpr int kDeepestSubfolder = 4;

std::filesystem::file_time_type modificationTime(const std::filesystem::path& folder) {
  std::error_code error;
  const auto time = std::filesystem::last_write_time(folder, error);
  return error ? std::filesystem::file_time_type::min() : time;
}

}  // namespace

WatchedDesktopEntries::WatchedDesktopEntries(std::vector<std::filesystem::path> directories)
    : directories_(std::move(directories)), inotify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  // Watched first, read second: a change made while reading is reported, not lost.
  watchDirectories();
  directoriesTouched();
  entries_ = std::make_shared<const DesktopEntryIndex>(DesktopEntryIndex::load(directories_));
}

WatchedDesktopEntries::~WatchedDesktopEntries() {
  if (inotify_ >= 0) close(inotify_);
}

std::shared_ptr<const DesktopEntryIndex> WatchedDesktopEntries::current() {
  std::lock_guard lock(mutex_);
  const bool changed = inotify_ >= 0 ? takeEvents() : directoriesTouched();
  if (changed) {
    watchDirectories();
    entries_ = std::make_shared<const DesktopEntryIndex>(DesktopEntryIndex::load(directories_));
  }
  return entries_;
}

void WatchedDesktopEntries::watchDirectories() {
  if (inotify_ < 0) return;
  for (const auto& [descriptor, watch] : watches_) inotify_rm_watch(inotify_, descriptor);
  watches_.clear();
  for (const auto& directory : directories_) {
    std::error_code error;
    if (std::filesystem::is_directory(directory, error)) {
      addWatch(directory, {});
      const auto options = std::filesystem::directory_options::skip_permission_denied;
      for (auto it = std::filesystem::recursive_directory_iterator(directory, options, error);
           !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it.depth() >= kDeepestSubfolder) it.disable_recursion_pending();
        if (it->is_directory(error)) addWatch(it->path(), {});
      }
      continue;
    }
    // Not there yet: watch for the next folder on the way to it to appear.
    auto child = directory.filename();
    for (auto folder = directory.parent_path(); !folder.empty();
         child = folder.filename(), folder = folder.parent_path()) {
      if (std::filesystem::is_directory(folder, error)) {
        addWatch(folder, child.string());
        break;
      }
      if (folder == folder.root_path()) break;
    }
  }
}

void WatchedDesktopEntries::addWatch(const std::filesystem::path& folder,
                                     const std::string& child) {
  const std::uint32_t mask = (child.empty() ? kFolderChanges : kChildAppears) | IN_MASK_ADD;
  const int descriptor = inotify_add_watch(inotify_, folder.c_str(), mask);
  if (descriptor < 0) return;
  auto& watch = watches_[descriptor];
  if (child.empty()) {
    watch.wholeFolder = true;
  } else {
    watch.children.insert(child);
  }
}

bool WatchedDesktopEntries::takeEvents() {
  alignas(inotify_event) char buffer[16 * 1024];
  bool changed = false;
  while (true) {
    const ssize_t length = read(inotify_, buffer, sizeof buffer);
    if (length <= 0) {
      if (length < 0 && errno == EINTR) continue;
      break;
    }
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if ((event->mask & IN_Q_OVERFLOW) != 0) {
        changed = true;
        continue;
      }
      // Watches removed here are forgotten first; one the kernel dropped (its folder went) is not.
      const auto watch = watches_.find(event->wd);
      if (watch == watches_.end()) continue;
      if ((event->mask & IN_IGNORED) != 0) {
        changed = true;
        continue;
      }
      const std::string name = event->len > 0 ? std::string(event->name) : std::string();
      changed = changed || watch->second.wholeFolder || watch->second.children.count(name) != 0;
    }
  }
  return changed;
}

bool WatchedDesktopEntries::directoriesTouched() {
  std::vector<std::filesystem::file_time_type> now;
  for (const auto& directory : directories_) now.push_back(modificationTime(directory));
  const bool touched = now != modified_;
  modified_ = std::move(now);
  return touched;
}

}  // namespace corvane::platform::x11
