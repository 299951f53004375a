// One running copy per settings folder, checked with real processes: later launches, a stopped
// running copy, slow and silent connections, and (as root) another user on either end.
#include "main/single_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

#include "main/private_runtime_folder.h"
#include "support/temporary_folder.h"

namespace corvane::wiring {
namespace {

using Clock = std::chrono::steady_clock;
using Role = SingleInstance::Role;

// What a child reports through its exit status.
constexpr int kPrimary = 10, kForwarded = 11, kUnanswered = 12, kRefused = 13;

int roleStatus(const runtime::Result<SingleInstance::Claim>& claim) {
  if (!claim) return kRefused;
  switch (claim->role) {
    case Role::primary:
      return kPrimary;
    case Role::forwarded:
      return kForwarded;
    case Role::unanswered:
      return kUnanswered;
  }
  return 1;
}

pid_t inChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

// The child's exit status once it ends within `seconds`; killed and absent otherwise.
std::optional<int> exitWithin(pid_t pid, double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

int connectTo(const std::filesystem::path& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

struct SingleInstanceTest : ::testing::Test {
  void SetUp() override {
    std::filesystem::create_directories(home / "home/config");
    std::filesystem::create_directories(home / "home/other");
    std::filesystem::create_directory(runtimeFolder);
    std::filesystem::permissions(runtimeFolder, std::filesystem::perms::owner_all);
  }
  runtime::Result<SingleInstance::Claim> claim(const std::filesystem::path& settings) {
    return SingleInstance::claim(runtimeFolder, settings, SingleInstance::kReopenMessage);
  }
  // Runs the primary's intake, as the main thread does, until `done` holds or `bound` passes;
  // notes the longest single call.
  void takeUntil(SingleInstance& primary, std::vector<std::string>& messages,
                 const std::function<bool()>& done,
                 Clock::duration bound = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + bound;
    while (!done() && Clock::now() < deadline) {
      pollfd ready{primary.descriptor(), POLLIN, 0};
      poll(&ready, 1, 20);
      const auto before = Clock::now();
      for (auto& message : primary.takeMessages()) messages.push_back(message);
      longestCall = std::max(longestCall, Clock::now() - before);
    }
  }

  corvane::testing::TemporaryFolder home{"corvane-instance"};
  std::filesystem::path runtimeFolder = home / "runtime";
  Clock::duration longestCall{};
};

TEST_F(SingleInstanceTest, LaterLaunchesOfOneFolderReachTheFirstHoweverTheFolderIsSpelled) {
  auto first = claim(home / "home/config");
  ASSERT_TRUE(first) << first.message();
  ASSERT_EQ(first->role, Role::primary);
  std::filesystem::create_directory_symlink(home / "home/config", home / "link");
  const std::vector<std::filesystem::path> spellings = {
      home / "home/config", home.path().string() + "/home/config/", home / "home/other/../config",
      home / "link"};
  std::vector<pid_t> launches;
  for (const auto& spelling : spellings) {
    launches.push_back(inChild([&] { return roleStatus(claim(spelling)); }));
  }
  std::vector<std::string> messages;
  takeUntil(*first->primary, messages, [&] { return messages.size() >= spellings.size(); });
  EXPECT_EQ(messages, std::vector<std::string>(spellings.size(), "reopen"));
  for (std::size_t i = 0; i < launches.size(); ++i) {
    EXPECT_EQ(exitWithin(launches[i], 10.0), kForwarded) << spellings[i];
  }
  // Another folder is another instance.
  EXPECT_EQ(exitWithin(inChild([&] { return roleStatus(claim(home / "home/other")); }), 10.0),
            kPrimary);

  // When the first one ends (however: the lock goes with the process), the next launch runs.
  first.value().primary.reset();
  const pid_t ended = inChild([&] {
    auto held = claim(home / "home/config");
    return held && held->role == Role::primary ? 0 : 1;
  });
  ASSERT_EQ(exitWithin(ended, 10.0), 0);
  auto next = claim(home / "home/config");
  ASSERT_TRUE(next);
  EXPECT_EQ(next->role, Role::primary);
}

// The main thread reads every connection without blocking: one dripping a byte every 150 ms and
// eight that send nothing hold nothing up, and are dropped after their time limit, while a
// launch arriving meanwhile is served at once.
TEST_F(SingleInstanceTest, SlowAndSilentConnectionsNeverHoldUpTheRunningCopy) {
  auto first = claim(home / "home/config");
  ASSERT_TRUE(first && first->role == Role::primary);
  auto& primary = *first->primary;
  std::vector<int> silent;
  for (int i = 0; i < 8; ++i)
    silent.push_back(
        connectTo(SingleInstance::pathsFor(runtimeFolder, home / "home/config").socket));
  // Ends 0 once the running copy closed on it, before it sent everything.
  const pid_t dripping = inChild([&] {
    const int fd = connectTo(SingleInstance::pathsFor(runtimeFolder, home / "home/config").socket);
    for (int i = 0; i < 40; ++i) {
      if (send(fd, "r", 1, MSG_NOSIGNAL) != 1) return 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    return 1;
  });
  std::vector<std::string> messages;
  takeUntil(
      primary, messages, [] { return false; }, std::chrono::milliseconds(300));
  const pid_t later = inChild([&] { return roleStatus(claim(home / "home/config")); });
  takeUntil(primary, messages, [&] { return !messages.empty(); });
  EXPECT_EQ(messages, std::vector<std::string>{"reopen"});
  EXPECT_EQ(exitWithin(later, 10.0), kForwarded);
  // Dropped after its time limit, it ends 0 long before it could have sent every byte.
  std::optional<int> drippingStatus;
  takeUntil(primary, messages, [&] {
    int status = 0;
    if (waitpid(dripping, &status, WNOHANG) != dripping) return false;
    drippingStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
  });
  if (!drippingStatus) drippingStatus = exitWithin(dripping, 0.0);
  EXPECT_EQ(drippingStatus, 0) << "the dripping connection was kept, or still drips after 10 s";
  for (int fd : silent) {
    char byte;
    EXPECT_EQ(recv(fd, &byte, 1, MSG_DONTWAIT), 0) << "a silent connection was kept";
    close(fd);
  }
  // No call waited for a byte: each took far less than the gap between two of them.
  EXPECT_LT(longestCall, std::chrono::milliseconds(100));
}

// A crowd of this user's connections, each sending a byte now and then but never a line, fills
// every place for waiting connections. The running copy keeps serving (nothing spins), and a
// launch arriving meanwhile is either taken and answered or says it was not: never both
// "forwarded" and lost.
TEST_F(SingleInstanceTest, ACrowdOfTalkingConnectionsNeitherFreezesTheRunningCopyNorLosesALaunch) {
  constexpr int kGotReopen = 0, kNoReopen = 3;
  int toChild[2], fromChild[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(fromChild), 0);
  auto signal = [](int fd) { return write(fd, "x", 1) == 1; };
  auto await = [](int fd) {
    char byte;
    return read(fd, &byte, 1) == 1;
  };
  // The running copy in a child of its own, so that a call that never returns fails the test
  // rather than hanging it.
  const pid_t running = inChild([&] {
    auto held = claim(home / "home/config");
    if (!held || held->role != Role::primary || !signal(fromChild[1])) return 1;
    auto& primary = *held->primary;
    if (!await(toChild[0])) return 1;
    (void)primary.takeMessages();  // takes in the crowd
    if (!signal(fromChild[1]) || !await(toChild[0])) return 1;
    const auto deadline = Clock::now() + std::chrono::seconds(8);
    while (Clock::now() < deadline) {
      pollfd ready{primary.descriptor(), POLLIN, 0};
      poll(&ready, 1, 20);
      for (const auto& message : primary.takeMessages()) {
        if (message == SingleInstance::kReopenMessage) return kGotReopen;
      }
    }
    return kNoReopen;
  });
  ASSERT_TRUE(await(fromChild[0]));
  const auto socket = SingleInstance::pathsFor(runtimeFolder, home / "home/config").socket;
  std::vector<int> crowd;
  for (std::size_t i = 0; i < SingleInstance::kMostWaitingConnections; ++i) {
    crowd.push_back(connectTo(socket));
    ASSERT_GE(crowd.back(), 0);
    ASSERT_EQ(send(crowd.back(), "r", 1, MSG_NOSIGNAL), 1);
  }
  ASSERT_TRUE(signal(toChild[1]));
  ASSERT_TRUE(await(fromChild[0]));
  // Every one of them readable at once.
  for (int fd : crowd) ASSERT_EQ(send(fd, "r", 1, MSG_NOSIGNAL), 1);
  const pid_t launch = inChild([&] { return roleStatus(claim(home / "home/config")); });
  ASSERT_TRUE(signal(toChild[1]));

  const auto launched = exitWithin(launch, 10.0);
  const auto served = exitWithin(running, 10.0);
  ASSERT_TRUE(served.has_value()) << "the running copy froze";
  EXPECT_EQ(launched == kForwarded, served == kGotReopen)
      << "launch " << launched.value_or(-1) << ", running copy " << *served;
  // The crowd's time runs out well within the launch's, so it gets through.
  EXPECT_EQ(launched, kForwarded);
  EXPECT_EQ(served, kGotReopen);
  for (int fd : crowd) close(fd);
  for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
}

// A running copy that was stopped accepts and answers nothing; its backlog fills and every later
// launch gives up within its limit instead of hanging in connect or waiting for an answer.
TEST_F(SingleInstanceTest, StoppedRunningCopyLetsEveryLaunchReturnWithinItsLimit) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t running = inChild([&] {
    auto held = claim(home / "home/config");
    [[maybe_unused]] auto wrote = write(ready[1], "x", 1);
    raise(SIGSTOP);
    return held ? 0 : 1;
  });
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(running, &status, WUNTRACED), running);
  ASSERT_TRUE(WIFSTOPPED(status));

  std::vector<pid_t> launches;
  for (int i = 0; i < 24; ++i) {
    launches.push_back(inChild([&] { return roleStatus(claim(home / "home/config")); }));
  }
  int unanswered = 0;
  const auto limit = std::chrono::duration<double>(SingleInstance::kForwardTimeLimit).count();
  for (pid_t launch : launches) {
    const auto role = exitWithin(launch, limit + 8.0);
    ASSERT_TRUE(role == kForwarded || role == kUnanswered) << "a launch hung or failed";
    unanswered += role == kUnanswered ? 1 : 0;
  }
  EXPECT_EQ(unanswered, 24);
  kill(running, SIGKILL);
  waitpid(running, &status, 0);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(SingleInstanceTest, RuntimeFolderMustBeThisUsersAlone) {
  EXPECT_TRUE(checkPrivateFolder(runtimeFolder));
  std::filesystem::permissions(runtimeFolder, std::filesystem::perms::group_exec,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(checkPrivateFolder(runtimeFolder).message(),
            "The runtime folder " + runtimeFolder.string() + " is open to other users.");
  EXPECT_FALSE(claim(home / "home/config"));
  std::filesystem::create_directory_symlink(home / "home", home / "link");
  EXPECT_FALSE(checkPrivateFolder(home / "link"));
  const auto fallback = privateRuntimeFolder(nullptr);
  ASSERT_TRUE(fallback) << fallback.message();
  EXPECT_EQ(*fallback, "/tmp/corvane-" + std::to_string(geteuid()));
  EXPECT_EQ(privateRuntimeFolder(runtimeFolder.c_str()).message(),
            checkPrivateFolder(runtimeFolder).message());
}

// Run as root, the test plays the other user (nobody) in a child.
TEST_F(SingleInstanceTest, AnotherUserNeitherReachesTheRunningCopyNorIsTakenForIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  const uid_t otherUser = nobody->pw_uid;
  const gid_t otherGroup = nobody->pw_gid;
  auto first = claim(home / "home/config");
  ASSERT_TRUE(first && first->role == Role::primary);
  const auto paths = SingleInstance::pathsFor(runtimeFolder, home / "home/config");

  // Another user can neither connect to the socket nor use the folder for a claim of its own.
  const pid_t intruder = inChild([&] {
    if (setgid(otherGroup) != 0 || setuid(otherUser) != 0) return 1;
    const int fd = connectTo(paths.socket);
    if (fd >= 0) {
      [[maybe_unused]] auto sent = send(fd, "reopen\n", 7, MSG_NOSIGNAL);
      return 2;
    }
    return roleStatus(claim(home / "home/config"));
  });
  EXPECT_EQ(exitWithin(intruder, 10.0), kRefused);
  std::vector<std::string> messages;
  takeUntil(
      *first->primary, messages, [] { return false; }, std::chrono::milliseconds(200));
  EXPECT_TRUE(messages.empty());

  // A socket of another user's in the place a running copy would be: this launch hands it
  // nothing and runs on its own. (Its files are made as root, then it listens as nobody: the
  // peer's credentials are those it listened with.)
  first.value().primary.reset();
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t squatter = inChild([&] {
    const int lock = open(paths.lock.c_str(), O_RDWR | O_CREAT, 0600);
    flock(lock, LOCK_EX);
    unlink(paths.socket.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, paths.socket.c_str(), sizeof address.sun_path - 1);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 1;
    if (setgid(otherGroup) != 0 || setuid(otherUser) != 0 || listen(fd, 4) != 0) return 1;
    [[maybe_unused]] auto wrote = write(ready[1], "x", 1);
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, 3000) <= 0) return 0;
    const int peer = accept(fd, nullptr, nullptr);
    char text[16] = {};
    pollfd line{peer, POLLIN, 0};
    return poll(&line, 1, 500) > 0 && recv(peer, text, sizeof text, 0) > 0 ? 2 : 0;
  });
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  auto refused = claim(home / "home/config");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.message(),
            "The single-instance socket belongs to another user; this copy runs on its own.");
  kill(squatter, SIGTERM);
  EXPECT_NE(exitWithin(squatter, 10.0), 2) << "the other user got a message";
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
}  // namespace corvane::wiring
