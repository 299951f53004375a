// The application entries follow their folders off the capture's thread: changes read together
// at most once a second while they keep coming, and by walking the folders when the user's file
// watches ran out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/x11/desktop_entry_rebuild_schedule.h"
#include "platform/x11/watched_desktop_entries.h"
#include "support/polling.h"
#include "support/temporary_folder.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

namespace fs = std::filesystem;

TEST(DesktopEntryRebuildScheduleTest, AStormOfWritesIsReadOnceASecondAndItsLastWriteAlways) {
  DesktopEntryRebuildSchedule schedule(0.05, 1.0);
  std::vector<double> reads;
  double lastChange = 0;
  // Ten writes a second for five seconds, on a clock moved in steps of 10 ms.
  for (int step = 0; step <= 700; ++step) {
    const double now = step * 0.01;
    if (step >= 100 && step < 600 && step % 10 == 0) {
      schedule.changed(now);
      lastChange = now;
    }
    if (const auto due = schedule.dueAt(); due && now >= *due - 1e-9) {
      schedule.read(now);
      reads.push_back(now);
    }
  }
  ASSERT_FALSE(reads.empty());
  EXPECT_NEAR(reads.front(), 1.05, 1e-6) << "the first write of a quiet spell is read at once";
  for (std::size_t i = 1; i < reads.size(); ++i) {
    EXPECT_GE(reads[i] - reads[i - 1], 1.0 - 1e-9) << "read " << i;
  }
  EXPECT_LE(reads.size(), 6u);
  EXPECT_GE(reads.back(), lastChange);
  EXPECT_LE(reads.back(), lastChange + 1.0 + 1e-9) << "the last write is read within a second";
  EXPECT_FALSE(schedule.dueAt());
}

// Runs `scenario` in a child process as `user`, so that the inotify limits it exhausts are that
// user's alone; returns what the child found wrong. Each case has a user of its own: cases run at
// once, and one exhausting a user's instances leaves another none to hold its watches with.
constexpr uid_t kInstancesUser = 61789;
constexpr uid_t kWatchesUser = 61790;

template <class Scenario>
std::string asTestUser(uid_t user, const fs::path& folder, Scenario scenario) {
  std::error_code ignored;
  fs::permissions(folder, fs::perms::all, ignored);
  if (chown(folder.c_str(), user, user) != 0) return "cannot hand the folder over";
  int channel[2];
  if (pipe(channel) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    std::string failures;
    if (setresgid(user, user, user) != 0 || setresuid(user, user, user) != 0) {
      failures = "cannot become the test user";
    } else {
      failures = scenario();
    }
    [[maybe_unused]] auto written = write(channel[1], failures.data(), failures.size());
    _exit(0);
  }
  close(channel[1]);
  std::string failures;
  char buffer[512];
  for (ssize_t length; (length = read(channel[0], buffer, sizeof buffer)) > 0;) {
    failures.append(buffer, static_cast<std::size_t>(length));
  }
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status)) failures += " (the child did not end normally)";
  return failures;
}

void write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// A folder of `user`'s for the files whose watches are held: in memory where the machine
// has /dev/shm, since making tens of thousands of files on a disk can take seconds.
class HeldFilesFolder {
 public:
  explicit HeldFilesFolder(uid_t user) {
    const fs::path base =
        fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    path_ = base / ("corvane-held-watches-" + std::to_string(getpid()));
    fs::create_directories(path_);
    if (chown(path_.c_str(), user, user) != 0) path_.clear();
  }
  ~HeldFilesFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Holds every file watch the user may have, on files of `folder`, through eight inotify
// instances (more instances take longer to make and to close).
std::vector<int> holdEveryWatch(const fs::path& folder) {
  long limit = 0;
  std::ifstream("/proc/sys/fs/inotify/max_user_watches") >> limit;
  const long filesPerInstance = limit / 8 + 1;
  for (long i = 0; i < filesPerInstance; ++i)
    close(creat((folder / std::to_string(i)).c_str(), 0600));
  std::vector<int> instances;
  while (true) {
    const int instance = inotify_init1(IN_CLOEXEC);
    if (instance < 0) return instances;
    instances.push_back(instance);
    for (long i = 0; i < filesPerInstance; ++i) {
      if (inotify_add_watch(instance, (folder / std::to_string(i)).c_str(), IN_MODIFY) < 0) {
        return instances;
      }
    }
  }
}

std::vector<int> holdEveryInstance() {
  std::vector<int> instances;
  for (int instance; (instance = inotify_init1(IN_CLOEXEC)) >= 0;) instances.push_back(instance);
  return instances;
}

// With inotify unusable, the entries still follow: an entry written into a subfolder made after
// the start, and one edited in place without its size or modification time changing.
std::string followsWhilePolled(const fs::path& root, const std::string& limitName) {
  const fs::path applications = root / "applications";
  write(applications / "org.example.Editor.desktop",
        "[Desktop Entry]\nType=Application\nName=Editor\nStartupWMClass=EditorA\n");
  std::string failures;
  auto check = [&](bool holds, const std::string& what) {
    if (!holds) failures += what + "; ";
  };
  DesktopEntryWatchTiming timing;
  timing.poll = 0.05;
  timing.longestPoll = 0.2;
  WatchedDesktopEntries entries({applications}, timing);
  check(entries.current()->size() == 1, "the entry written before the start is known");
  const auto reason = entries.pollingReason();
  check(reason && reason->find(limitName) != std::string::npos,
        "the polling reason names " + limitName + ": " + reason.value_or("(none)"));

  write(applications / "vendor/org.example.Vault.desktop",
        "[Desktop Entry]\nType=Application\nName=Vault\nStartupWMClass=Strongbox\n");
  check(corvane::testing::pollUntil(
            [&] { return entries.current()->byId("vendor-org.example.Vault").has_value(); }),
        "an entry written into a new subfolder is found");

  const auto editor = applications / "org.example.Editor.desktop";
  struct stat before {};
  ::stat(editor.c_str(), &before);
  {
    std::fstream file(editor, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(-2, std::ios::end);
    file << "B\n";
  }
  const timespec times[2] = {before.st_atim, before.st_mtim};
  utimensat(AT_FDCWD, editor.c_str(), times, 0);
  check(corvane::testing::pollUntil([&] {
          const auto entry = entries.current()->byId("org.example.Editor");
          return entry && entry->startupWMClass == "EditorB";
        }),
        "an entry edited in place, same size and time, is read again");
  return failures;
}

TEST(WatchedDesktopEntriesTest, FollowsTheFoldersWhenTheUsersWatchInstancesRanOut) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as a user of its own takes root";
  corvane::testing::TemporaryFolder folder;
  const auto failures = asTestUser(kInstancesUser, folder.path(), [&] {
    const auto held = holdEveryInstance();
    if (held.empty() || errno != EMFILE) return std::string("instances could not be exhausted");
    return followsWhilePolled(folder.path(), "max_user_instances");
  });
  EXPECT_EQ(failures, "");
}

// With every file watch of the user held by another program: the entries follow their folders,
// and the whole way, as the application runs, a private application's entry written into a
// subfolder during the share names its window, which then leaves the share.
TEST(WatchedDesktopEntriesTest, FollowsTheFoldersWhenTheUsersFileWatchesRanOut) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as a user of its own takes root";
  corvane::testing::TemporaryFolder folder;
  HeldFilesFolder heldFiles(kWatchesUser);
  ASSERT_FALSE(heldFiles.path().empty());
  XvfbServer server(400, 300);
  ASSERT_TRUE(server.ok());
  // Its class is unlike the excluded id: the process runs as another user, so its launch cannot be
  // read, and a class close to an excluded id would leave it out before any entry named it.
  TestClient vault(server.name(),
                   {.windowClass = "Strongbox", .colour = kBlue, .width = 200, .height = 150});
  ASSERT_NE(vault.window(), 0u);
  const auto failures = asTestUser(kWatchesUser, folder.path(), [&] {
    const auto held = holdEveryWatch(heldFiles.path());
    if (held.empty() || inotify_add_watch(held.back(), folder.path().c_str(), IN_CREATE) >= 0 ||
        errno != ENOSPC) {
      return std::string("the user's watches could not be exhausted");
    }
    auto failures = followsWhilePolled(folder / "alone", "max_user_watches");
    const auto applications = folder / "applications";
    fs::create_directories(applications);
    DesktopEntryWatchTiming timing;
    timing.poll = 0.05;
    timing.longestPoll = 0.2;
    auto entries = std::make_shared<WatchedDesktopEntries>(std::vector{applications}, timing);
    entries->current();  // read once: how the folders are followed is known
    if (!entries->pollingReason()) return std::string("the folders are not polled");
    X11ScreenCapture capture(server.name(),
                             std::make_shared<const ApplicationIdentityResolver>(entries));
    SampleRecorder recorder;
    auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
    auto stream =
        capture.makeStream(excluding({"vendor-org.example.Vault"}), {}, recorder.output(), queue);
    if (!startStream(*stream).ok()) return failures + "the stream did not start";
    if (!recorder.waitForFrame(0, [](const PixelBuffer& f) { return countPixels(f, kBlue); })) {
      failures += "the window showed before any entry named it; ";
    }
    write(applications / "vendor/org.example.Vault.desktop",
          "[Desktop Entry]\nType=Application\nName=Vault\nStartupWMClass=Strongbox\n");
    const std::size_t written = recorder.frameCount();
    if (!recorder.waitForFrame(written,
                               [](const PixelBuffer& f) { return countPixels(f, kBlue) == 0; })) {
      failures += "the window stayed in the share after its entry was written; ";
    }
    if (!stopStream(*stream).ok()) failures += "the stream did not stop; ";
    return failures;
  });
  EXPECT_EQ(failures, "");
}

}  // namespace
}  // namespace corvane::platform::x11::testing
