#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/legacy_app_migration_advisor.h"
#include "platform/files.h"
#include "platform/linux/proc_process_table.h"
#include "platform/process.h"
#include "platform/program_path.h"
#include "runtime/virtual_run_loop.h"
#include "support/polling.h"
#include "support/temporary_folder.h"

namespace corvane::app {
namespace {

namespace fs = std::filesystem;

bool isListed(const platform::ProcessTable& table, int pid, const std::string& executableName) {
  for (const auto& record : table.processes()) {
    if (record.processIdentifier == pid && record.executable.filename() == executableName) {
      return true;
    }
  }
  return false;
}

// Alive, not ending, and no request to quit waiting for it (SIGTERM, or the SIGKILL a fatal
// signal turns into while the process ends).
bool runsUntouched(int pid) {
  const auto status = platform::readFile("/proc/" + std::to_string(pid) + "/status", 65536);
  if (!status) return false;
  std::istringstream lines(status.value());
  std::string line;
  while (std::getline(lines, line)) {
    if (line.starts_with("State:") && line.find_first_of("ZX", 6) != std::string::npos) {
      return false;
    }
    if (line.starts_with("SigPnd:") || line.starts_with("ShdPnd:")) {
      const auto mask = std::stoull(line.substr(7), nullptr, 16);
      if ((mask & ((1ull << (SIGTERM - 1)) | (1ull << (SIGKILL - 1)))) != 0) return false;
    }
  }
  return true;
}

struct RunningProgram {
  explicit RunningProgram(platform::ProcessRequest request)
      : pid(platform::launchDetachedProcess(request).valueOr(-1)) {}
  ~RunningProgram() {
    if (pid > 0) ::kill(pid, SIGKILL);
  }
  int pid;
};

// Real processes of this user: the former copy started from its installed entry, a program
// started from an entry of the same name elsewhere, and an unrelated python3 while the former
// entry starts its program through python3. Only the first is a former copy.
TEST(FormerBrandProcessesTest, QuitEndsOnlyTheFormerCopy) {
  testing::TemporaryFolder folder;
  const auto applications = folder / "applications";
  const auto elsewhere = folder / "downloads";
  fs::create_directories(applications);
  fs::create_directories(elsewhere);
  const auto entryName = LegacyAppMigrationAdvisor::formerDesktopEntryName;
  std::ofstream(applications / entryName) << "[Desktop Entry]\nType=Application\nName=Halvermoor\n"
                                             "Exec=python3 /opt/halvermoor/main.py %U\n";
  std::ofstream(elsewhere / entryName)
      << "[Desktop Entry]\nType=Application\nName=Halvermoor\nExec=halvermoor\n";
  const auto launched = folder / "launched";
  std::ofstream(launched) << "#!/bin/sh\nexport GIO_LAUNCHED_DESKTOP_FILE_PID=$$\nexec sleep 30\n";
  fs::permissions(launched, fs::perms::owner_all);
  // The system's python3, found the way the advisor looks the entry's program up.
  const std::string searchPath = "/usr/bin:/bin";
  const auto python = platform::findProgram("python3", searchPath);
  ASSERT_TRUE(python) << "python3 is needed";

  RunningProgram former(
      {launched, {}, {{"GIO_LAUNCHED_DESKTOP_FILE", (applications / entryName).string()}}, {}});
  RunningProgram lookalike(
      {launched, {}, {{"GIO_LAUNCHED_DESKTOP_FILE", (elsewhere / entryName).string()}}, {}});
  RunningProgram unrelated({*python, {"-c", "import time; time.sleep(30)"}, {}, {}});
  ASSERT_GT(former.pid, 0);
  ASSERT_GT(lookalike.pid, 0);
  ASSERT_GT(unrelated.pid, 0);

  auto table = std::make_shared<platform::ProcProcessTable>();
  const auto pythonName = fs::canonical(*python).filename().string();
  ASSERT_TRUE(testing::pollUntil([&] {
    return isListed(*table, former.pid, "sleep") && isListed(*table, lookalike.pid, "sleep") &&
           isListed(*table, unrelated.pid, pythonName);
  }));

  LegacyAppMigrationAdvisorServices services;
  services.processes = table;
  services.userApplicationDirectory = applications;
  services.programSearchPath = searchPath;
  services.ownExecutable = fs::read_symlink("/proc/self/exe");
  services.ownProcessIdentifier = static_cast<std::int32_t>(::getpid());
  auto advisor = std::make_shared<LegacyAppMigrationAdvisor>(services);

  // The program's own environment needs a moment after the exec to be readable.
  ASSERT_TRUE(testing::pollUntil([&] { return advisor->status().isRunning; }));
  const auto status = advisor->status();
  EXPECT_EQ(status.runningProcesses,
            std::vector<std::string>{"sleep (process " + std::to_string(former.pid) + ")"});
  EXPECT_EQ(status.applicationURL, applications / entryName);

  runtime::VirtualRunLoop loop;
  auto quit = runtime::spawn(LegacyAppMigrationAdvisor::quitPreviousCopy(advisor, 1, 0.1));
  loop.advance(0.1);
  ASSERT_TRUE(quit.isDone());
  ASSERT_TRUE(
      testing::pollUntil([&] { return !fs::exists("/proc/" + std::to_string(former.pid)); }));
  EXPECT_TRUE(runsUntouched(lookalike.pid));
  EXPECT_TRUE(runsUntouched(unrelated.pid));
  EXPECT_FALSE(advisor->status().isRunning);
}

}  // namespace
}  // namespace corvane::app
