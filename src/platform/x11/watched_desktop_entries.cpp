#include "platform/x11/watched_desktop_entries.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

namespace corvane::platform::x11 {
namespace {

constexpr std::uint32_t kFolderChanges = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                         IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF |
                                         IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kChildAppears = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;
constexpr int kBackgroundNiceness = 5;
// Folders this deep below a directory are watched, as deep as listDesktopEntryFiles reads.
constexpr int kDeepestSubfolder = 4;

double secondsNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Why a folder cannot be watched, when the reason is the user's inotify limits (or memory) rather
// than the folder going away meanwhile or being closed to us.
std::optional<std::string> watchFailure(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case EACCES:
      return std::nullopt;
    case ENOSPC:
      return "the file watches this user may hold ran out (fs.inotify.max_user_watches)";
    default:
      return std::string("a folder could not be watched: ") + std::strerror(error);
  }
}

}  // namespace

WatchedDesktopEntries::WatchedDesktopEntries(std::vector<std::filesystem::path> directories,
                                             DesktopEntryWatchTiming timing)
    : directories_(std::move(directories)),
      timing_(timing),
      wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  worker_ = std::thread([this] { run(); });
}

WatchedDesktopEntries::~WatchedDesktopEntries() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  const std::uint64_t one = 1;
  if (wake_ >= 0) [[maybe_unused]]
    auto written = write(wake_, &one, sizeof one);
  worker_.join();
  if (inotify_ >= 0) close(inotify_);
  if (wake_ >= 0) close(wake_);
}

std::shared_ptr<const DesktopEntryIndex> WatchedDesktopEntries::current() {
  std::unique_lock lock(mutex_);
  firstRead_.wait(lock, [this] { return entries_ != nullptr; });
  return entries_;
}

std::optional<std::string> WatchedDesktopEntries::pollingReason() const {
  std::lock_guard lock(mutex_);
  return pollingReason_;
}

std::uint64_t WatchedDesktopEntries::readCount() const {
  std::lock_guard lock(mutex_);
  return reads_;
}

void WatchedDesktopEntries::setPollingReason(std::optional<std::string> reason) {
  std::lock_guard lock(mutex_);
  pollingReason_ = std::move(reason);
}

void WatchedDesktopEntries::run() {
  // Watched first, read second: a change made while reading is reported, not lost.
  auto reason = watchDirectories();
  setPollingReason(reason);
  readEntries();
  // What follows is background work: the capture and the interface come first when the cores
  // are busy. (The first reading is awaited by whoever names a window first.)
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kBackgroundNiceness);
  DesktopEntryRebuildSchedule schedule(timing_.settle, timing_.minimumInterval);
  schedule.read(secondsNow());
  auto pollInterval = [this] {
    return std::clamp(5 * lastWalkSeconds_, timing_.poll, timing_.longestPoll);
  };
  double nextPoll = secondsNow() + pollInterval();
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    auto wakeAt = schedule.dueAt();
    if (reason) wakeAt = std::min(wakeAt.value_or(nextPoll), nextPoll);
    int timeout =
        wakeAt ? static_cast<int>(std::ceil(std::max(0.0, *wakeAt - secondsNow()) * 1000)) : -1;
    // Without a wake-up descriptor, a request to stop is seen within a fifth of a second.
    if (wake_ < 0 && (timeout < 0 || timeout > 200)) timeout = 200;
    pollfd descriptors[2] = {{wake_, POLLIN, 0}, {inotify_, POLLIN, 0}};
    if (::poll(descriptors, inotify_ >= 0 ? 2 : 1, timeout) < 0 && errno != EINTR) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // and look again
      continue;
    }
    if ((descriptors[0].revents & POLLIN) != 0) continue;  // asked to stop
    if (inotify_ >= 0 && (descriptors[1].revents & POLLIN) != 0 && takeEvents()) {
      schedule.changed(secondsNow());
    }
    const double now = secondsNow();
    if (const auto due = schedule.dueAt(); due && now >= *due) {
      reason = watchDirectories();
      setPollingReason(reason);
      readEntries();
      schedule.read(now);
    } else if (reason && now >= nextPoll) {
      // Watching again may work now (another program let its watches go): then the events
      // take over from the next change on.
      reason = watchDirectories();
      setPollingReason(reason);
      readEntries();
      nextPoll = secondsNow() + pollInterval();
    }
  }
}

std::optional<std::string> WatchedDesktopEntries::watchDirectories() {
  if (inotify_ < 0) inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) {
    if (errno == EMFILE) {
      return std::string(
          "no file-watch instance was left for this user (fs.inotify.max_user_instances)");
    }
    return std::string("file watches are not available: ") + std::strerror(errno);
  }
  for (const auto& [descriptor, watch] : watches_) inotify_rm_watch(inotify_, descriptor);
  watches_.clear();
  std::optional<std::string> failure;
  auto watch = [&](const std::filesystem::path& folder, const std::string& child) {
    if (addWatch(folder, child) < 0 && !failure) failure = watchFailure(errno);
  };
  for (const auto& directory : directories_) {
    std::error_code error;
    if (std::filesystem::is_directory(directory, error)) {
      watch(directory, {});
      const auto options = std::filesystem::directory_options::skip_permission_denied;
      for (auto it = std::filesystem::recursive_directory_iterator(directory, options, error);
           !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it.depth() >= kDeepestSubfolder) it.disable_recursion_pending();
        if (it->is_directory(error)) watch(it->path(), {});
      }
      continue;
    }
    // Not there yet: watch for the next folder on the way to it to appear.
    auto child = directory.filename();
    for (auto folder = directory.parent_path(); !folder.empty();
         child = folder.filename(), folder = folder.parent_path()) {
      if (std::filesystem::is_directory(folder, error)) {
        watch(folder, child.string());
        break;
      }
      if (folder == folder.root_path()) break;
    }
  }
  return failure;
}

int WatchedDesktopEntries::addWatch(const std::filesystem::path& folder, const std::string& child) {
  const std::uint32_t mask = (child.empty() ? kFolderChanges : kChildAppears) | IN_MASK_ADD;
  const int descriptor = inotify_add_watch(inotify_, folder.c_str(), mask);
  if (descriptor < 0) return descriptor;
  auto& watch = watches_[descriptor];
  if (child.empty()) {
    watch.wholeFolder = true;
  } else {
    watch.children.insert(child);
  }
  return descriptor;
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

void WatchedDesktopEntries::readEntries() {
  const double started = secondsNow();
  auto files = listDesktopEntryFiles(directories_);
  lastWalkSeconds_ = secondsNow() - started;
  if (!published_.empty() && files == files_) return;
  files_ = std::move(files);
  auto index = reader_.index(files_, directories_);
  published_.push_back(index);
  {
    std::lock_guard lock(mutex_);
    entries_ = std::move(index);
    ++reads_;
  }
  firstRead_.notify_all();
  // An index nobody holds any more is taken apart here, not on the thread that let it go last
  // (the capture's): only this list holds one whose count is 1, and nothing can copy it again.
  std::erase_if(published_, [](const auto& index) { return index.use_count() == 1; });
}

}  // namespace corvane::platform::x11
