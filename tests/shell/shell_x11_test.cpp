// The built application on a private X server with a window manager: one instance, reopen,
// and an orderly end on a signal.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include <cstdlib>

#include "shell/running_corvane.h"
#include "support/x11/test_client.h"
#include "ui_x11/tray_host.h"

namespace corvane::shell {
namespace {

using testing::CorvaneHome;
using testing::hasViewableWindow;

struct ShellOnX11 : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    ASSERT_TRUE(server.startWindowManager());
  }
  corvane::testing::XvfbServer server{1280, 800};
};

TEST_F(ShellOnX11, SecondLaunchForwardsReopenAndExits) {
  // A tray to hold the icon: without one the setup window would open at launch.
  pid_t trayer = ui::testing::startTrayHost(server);
  ASSERT_GT(trayer, 0) << "trayer did not start";
  CorvaneHome home(server.name());
  home.seedSetupDone();
  pid_t first = home.launch();
  ASSERT_TRUE(home.waitForEvent("app_initialized"));
  // Setup was done: nothing opens at launch.
  EXPECT_FALSE(hasViewableWindow(server.name(), "Corvane Setup"));

  pid_t second = home.launch();
  EXPECT_EQ(home.exitStatus(second, 5.0), 0);
  // The first one got "reopen" with no window open, and shows the setup window.
  EXPECT_TRUE(corvane::testing::waitUntil(
      [&] { return hasViewableWindow(server.name(), "Corvane Setup"); }, 5.0));
  const auto events = home.events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "app_shell_initialized"), 1);
  EXPECT_EQ(home.exitStatus(first, 0.0), std::nullopt) << "the first instance ended";
  corvane::testing::endProcess(trayer);
}

// The inodes of the sockets `pid` holds open.
std::set<std::string> socketInodes(pid_t pid) {
  std::set<std::string> inodes;
  std::error_code error;
  const auto folder = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
  }
  return inodes;
}

// Sends "reopen" to every named socket /proc/net/unix lists among `inodes` (what another user
// can see of a process's sockets); the number it reached.
int reopenEveryNamedSocket(const std::set<std::string>& inodes) {
  std::ifstream table("/proc/net/unix");
  int reached = 0;
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string field, inode, name;
    for (int i = 0; i < 7 && fields >> field; ++i) inode = field;
    if (!(fields >> name) || !inodes.contains(inode) ||
        name.size() >= sizeof(sockaddr_un::sun_path)) {
      continue;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.data(), name.size());
    if (name.front() == '@') address.sun_path[0] = '\0';  // abstract
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
        send(fd, "reopen\n", 7, MSG_NOSIGNAL) == 7) {
      ++reached;
    }
    close(fd);
  }
  return reached;
}

// The test, run as root, plays another local user (nobody) in a child: finding the running
// copy's socket gets it nowhere.
TEST_F(ShellOnX11, AnotherUserCannotReopenTheRunningCopy) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // A tray to hold the icon: without one the setup window would open at launch.
  pid_t trayer = ui::testing::startTrayHost(server);
  ASSERT_GT(trayer, 0) << "trayer did not start";
  CorvaneHome home(server.name());
  home.seedSetupDone();
  pid_t corvane = home.launch();
  ASSERT_TRUE(home.waitForEvent("app_initialized"));
  const auto inodes = socketInodes(corvane);
  ASSERT_FALSE(inodes.empty());
  const pid_t intruder = fork();
  if (intruder == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(1);
    _exit(reopenEveryNamedSocket(inodes) > 0 ? 2 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(intruder, &status, 0), intruder);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another user reached it";
  // Had the running copy taken the message, it would show its setup window.
  EXPECT_FALSE(corvane::testing::waitUntil(
      [&] { return hasViewableWindow(server.name(), "Corvane Setup"); }, 2.0));
  EXPECT_EQ(home.exitStatus(corvane, 0.0), std::nullopt) << "the running copy ended";
  corvane::testing::endProcess(trayer);
}

// No tray host runs here: the watch falls back to the taskbar window.
TEST_F(ShellOnX11, FirstLaunchOpensSetupFallsBackAndSignalsEndItCleanly) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    CorvaneHome home(server.name());
    pid_t corvane = home.launch();
    ASSERT_TRUE(home.waitForEvent("app_initialized"));
    EXPECT_TRUE(corvane::testing::waitUntil(
        [&] { return hasViewableWindow(server.name(), "Corvane Setup"); }, 5.0));
    if (signal == SIGTERM) {
      // No tray host: the fall-back comes at once; its window does not hold up the end.
      EXPECT_TRUE(corvane::testing::waitUntil(
          [&] { return hasViewableWindow(server.name(), "Corvane"); }, 10.0));
    }

    kill(corvane, signal);
    EXPECT_EQ(home.exitStatus(corvane, 10.0), 0);
    EXPECT_TRUE(home.waitForEvent("workspace_restored_for_termination", 0.0));
    // Crash reporting was on (it keeps its marker file open): a clean end leaves no report and
    // no signal marker.
    ASSERT_TRUE(std::filesystem::exists(home.crashReports() / "signal.markers"));
    EXPECT_EQ(std::filesystem::file_size(home.crashReports() / "signal.markers"), 0u);
    for (const auto& entry : std::filesystem::directory_iterator(home.crashReports())) {
      EXPECT_NE(entry.path().extension(), ".json") << entry.path();
    }
  }
}

// Ctrl+Q in one of Corvane's windows ends it as a signal does: the workspace put back, a clean
// exit, no crash report.
TEST_F(ShellOnX11, CtrlQInTheSetupWindowQuitsCleanly) {
  CorvaneHome home(server.name());
  pid_t corvane = home.launch();
  ASSERT_TRUE(home.waitForEvent("app_initialized"));
  ASSERT_TRUE(corvane::testing::waitUntil(
      [&] { return hasViewableWindow(server.name(), "Corvane Setup"); }, 5.0));
  const std::string keys = "DISPLAY=" + server.name() +
                           " xdotool search --onlyvisible --name '^Corvane Setup$' "
                           "windowactivate --sync key --clearmodifiers ctrl+q";
  ASSERT_EQ(std::system(keys.c_str()), 0);
  EXPECT_EQ(home.exitStatus(corvane, 10.0), 0);
  EXPECT_TRUE(home.waitForEvent("workspace_restored_for_termination", 0.0));
  for (const auto& entry : std::filesystem::directory_iterator(home.crashReports())) {
    EXPECT_NE(entry.path().extension(), ".json") << entry.path();
  }
}

TEST_F(ShellOnX11, LaunchAutomationRecordsItsSequence) {
  corvane::testing::TestClientOptions notes;
  notes.windowClass = "NotesApp";
  notes.colour = 0x20C040;
  notes.x = 60;
  notes.y = 90;
  notes.width = 400;
  notes.height = 300;
  corvane::testing::TestClient client(server.name(), notes);
  ASSERT_NE(client.window(), 0u);
  CorvaneHome home(server.name());
  home.seedSetupDone();
  pid_t corvane = home.launch({"--qa-start-protected-share", "--qa-pause-after-first-frame",
                               "--qa-resume-after=0.5", "--qa-stop-after=0.5"});
  ASSERT_TRUE(home.waitForEvent("demo_mode_stopped", 20.0));
  const auto events = home.events();
  auto after = events.begin();
  for (const char* step :
       {"demo_mode_started", "protected_share_first_frame_published", "protected_share_paused",
        "protected_share_resumed", "demo_mode_stopped"}) {
    after = std::find(after, events.end(), step);
    ASSERT_NE(after, events.end()) << step << " missing or out of order";
  }
  kill(corvane, SIGTERM);
  EXPECT_EQ(home.exitStatus(corvane, 10.0), 0);
}

// A quit while the scripted session is still waiting for its first step: the automation ends
// with the application and starts nothing after the workspace was restored.
TEST_F(ShellOnX11, QuittingBeforeTheScriptedStartStartsNoSession) {
  std::mt19937 random(36);
  for (int run = 0; run < 3; ++run) {
    const auto delay =
        std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 450)(random));
    SCOPED_TRACE(::testing::Message() << "SIGTERM " << delay.count() << " ms after start-up");
    CorvaneHome home(server.name());
    home.seedSetupDone();
    pid_t corvane = home.launch({"--qa-start-protected-share"});
    ASSERT_TRUE(home.waitForEvent("app_initialized"));
    std::this_thread::sleep_for(delay);
    kill(corvane, SIGTERM);
    EXPECT_EQ(home.exitStatus(corvane, 10.0), 0);
    const auto events = home.events();
    const auto restored =
        std::find(events.begin(), events.end(), "workspace_restored_for_termination");
    ASSERT_NE(restored, events.end());
    EXPECT_TRUE(std::find(restored, events.end(), "demo_mode_started") == events.end())
        << "a session started after the workspace was restored";
  }
}

}  // namespace
}  // namespace corvane::shell
