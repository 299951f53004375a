#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/files.h"
#include "support/temporary_folder.h"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

TEST(RunProcessTest, PassesArgumentsVerbatimAndCapturesBothStreams) {
  ProcessRequest request{"/bin/sh",
                         {"-c", "printf '%s|' \"$@\"; echo oops >&2; exit 3", "sh", "two words",
                          "$HOME", "; rm -rf /"},
                         {},
                         {}};
  auto result = runProcess(request, 10);
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(result->exitStatus, 3);
  EXPECT_EQ(result->standardOutput, "two words|$HOME|; rm -rf /|");
  EXPECT_EQ(result->standardError, "oops\n");
}

TEST(RunProcessTest, EnvironmentAndWorkingFolder) {
  testing::TemporaryFolder folder;
  ProcessRequest request{"/bin/sh",
                         {"-c", "printf '%s %s' \"$CORVANE_TEST_VALUE\" \"$(pwd -P)\""},
                         {{"CORVANE_TEST_VALUE", "hello"}},
                         fs::canonical(folder.path())};
  auto result = runProcess(request, 10);
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(result->standardOutput, "hello " + fs::canonical(folder.path()).string());
}

TEST(RunProcessTest, SignalledChildReportsTheSignal) {
  auto result = runProcess({"/bin/sh", {"-c", "kill -TERM $$"}, {}, {}}, 10);
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(result->exitStatus, 128 + SIGTERM);
}

TEST(RunProcessTest, MissingExecutableIsAnError) {
  auto result = runProcess({"/nonexistent/tool", {}, {}, {}}, 10);
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.message().find("/nonexistent/tool"), std::string::npos);
}

// A process that still runs; a zombie waiting for a parent that never reaps it (as under a
// container's minimal init) has ended.
bool processRuns(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(RunProcessTest, TimeOutKillsTheChildAndWhatItStarted) {
  testing::TemporaryFolder folder;
  const fs::path pids = folder / "pids";
  // The shell starts a grandchild, records both ids, and both would sleep far past the limit.
  ProcessRequest request{
      "/bin/sh",
      {"-c", "sleep 30 & echo $! > \"$1\"; echo $$ >> \"$1\"; wait", "sh", pids.string()},
      {},
      {}};
  const auto started = std::chrono::steady_clock::now();
  auto result = runProcess(request, 0.5);
  const auto elapsed = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.message().find("did not finish within 0.5 seconds"), std::string::npos);
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  auto text = readFile(pids);
  ASSERT_TRUE(text.ok());
  std::istringstream ids(text.value());
  pid_t grandchild = 0;
  pid_t child = 0;
  ids >> grandchild >> child;
  ASSERT_GT(grandchild, 0);
  EXPECT_FALSE(processRuns(child));
  // The grandchild was killed with the group; it is reaped by init shortly after.
  for (int i = 0; i < 200 && processRuns(grandchild); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(processRuns(grandchild));
}

TEST(LaunchDetachedProcessTest, StartsInANewSessionWithoutWaiting) {
  testing::TemporaryFolder folder;
  const fs::path marker = folder / "marker";
  auto pid = launchDetachedProcess(
      {"/bin/sh",
       {"-c", "cut -d' ' -f6 /proc/$$/stat > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"", "sh",
        marker.string()},
       {},
       {}});
  ASSERT_TRUE(pid.ok()) << pid.message();
  for (int i = 0; i < 500 && !fs::exists(marker); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  auto text = readFile(marker);
  ASSERT_TRUE(text.ok()) << text.message();
  EXPECT_EQ(std::stoi(text.value()), pid.value());  // it leads its own session
  EXPECT_NE(::getsid(0), pid.value());

  auto missing = launchDetachedProcess({"/nonexistent/tool", {}, {}, {}});
  EXPECT_FALSE(missing.ok());
}

}  // namespace
}  // namespace corvane::platform
