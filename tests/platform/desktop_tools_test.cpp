#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/desktop_entry.h"
#include "platform/files.h"
#include "platform/linux/desktop_settings_opener.h"
#include "platform/linux/proc_process_table.h"
#include "platform/linux/tool_desktop_icon_preference.h"
#include "platform/process.h"
#include "platform/program_path.h"
#include "support/polling.h"
#include "support/temporary_folder.h"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

// Writes an executable shell script.
fs::path writeScript(const fs::path& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

TEST(ProcProcessTableTest, FindsAWindowlessProcessByItsDesktopEntryAndAsksItToQuit) {
  testing::TemporaryFolder folder;
  const auto entry = folder / "com.pemberquist.halvermoor.desktop";
  // A program with no window that waits to be told to quit.
  const auto program =
      writeScript(folder / "tray-only", "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec sleep 30");
  auto pid =
      launchDetachedProcess({program, {}, {{"GIO_LAUNCHED_DESKTOP_FILE", entry.string()}}, {}});
  ASSERT_TRUE(pid.ok()) << pid.message();

  ProcProcessTable table;
  std::optional<ProcessRecord> found;
  ASSERT_TRUE(testing::pollUntil([&] {
    for (const auto& record : table.processes()) {
      // Running `sleep` after the exec: the environment came with it. Mid-exec the new image
      // is already `sleep` while its environment is not yet in place, so wait for both.
      if (record.processIdentifier == pid.value() && record.executable.filename() == "sleep" &&
          record.launchedDesktopFile) {
        found = record;
      }
    }
    return found.has_value();
  }));
  EXPECT_EQ(found->launchedDesktopFile, entry);
  EXPECT_FALSE(found->flatpakId);

  // Only a listed process is signalled, through the handle taken when it was listed.
  ProcessRecord named = *found;
  named.handle = nullptr;
  EXPECT_FALSE(table.terminate(named).ok());
  EXPECT_FALSE(table.terminate(ProcessRecord{}).ok());
  ASSERT_TRUE(found->handle);
  ASSERT_TRUE(table.terminate(*found).ok());
  EXPECT_TRUE(
      testing::pollUntil([&] { return !fs::exists("/proc/" + std::to_string(pid.value())); }));
  EXPECT_FALSE(table.terminate(*found).ok());
}

// Starts `sleep 30` as process `pid` exactly, by asking the kernel to give out the number after
// pid - 1 next (root only); other processes may take it first, so it tries a few times.
std::optional<int> launchSleepAs(int pid) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    {
      std::ofstream next("/proc/sys/kernel/ns_last_pid");
      next << pid - 1;
      next.flush();
      if (!next) return std::nullopt;
    }
    auto launched = launchDetachedProcess({"/bin/sleep", {"30"}, {}, {}});
    if (!launched) return std::nullopt;
    if (launched.value() == pid) return pid;
    ::kill(launched.value(), SIGKILL);
  }
  return std::nullopt;
}

TEST(ProcProcessTableTest, ARecordNeverSignalsALaterProcessGivenItsNumber) {
  auto first = launchDetachedProcess({"/bin/sleep", {"30"}, {}, {}});
  ASSERT_TRUE(first.ok());
  const int pid = first.value();
  ProcProcessTable table;
  std::optional<ProcessRecord> found;
  ASSERT_TRUE(testing::pollUntil([&] {
    for (const auto& record : table.processes()) {
      if (record.processIdentifier == pid && record.executable.filename() == "sleep")
        found = record;
    }
    return found.has_value();
  }));
  ::kill(pid, SIGKILL);
  ASSERT_TRUE(testing::pollUntil([&] { return !fs::exists("/proc/" + std::to_string(pid)); }));

  const auto reused = launchSleepAs(pid);
  if (!reused) GTEST_SKIP() << "the next process number cannot be chosen here";
  EXPECT_FALSE(table.terminate(*found).ok());
  // Still running and never asked to quit.
  const auto status = readFile("/proc/" + std::to_string(pid) + "/status", 65536);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(status.value().find("\nState:\tZ"), std::string::npos);
  EXPECT_NE(status.value().find("\nShdPnd:\t0000000000000000"), std::string::npos);
  EXPECT_NE(status.value().find("\nSigPnd:\t0000000000000000"), std::string::npos);
  ::kill(pid, SIGKILL);
}

TEST(ProcProcessTableTest, ReadsAProcTreeOfItsOwn) {
  testing::TemporaryFolder folder;
  const auto proc = folder / "proc";
  fs::create_directories(proc / "812/root");
  fs::create_directories(proc / "self");
  fs::create_directories(proc / "notapid");
  std::ofstream(proc / "812/root/.flatpak-info")
      << "[Application]\nname=com.pemberquist.halvermoor\n";
  const std::string environ("HOME=/home/u\0LANG=C\0", 20);
  std::ofstream(proc / "812/environ") << environ;
  fs::create_symlink("/opt/halvermoor/bin/run (deleted)", proc / "812/exe");
  // Processes are this user's when all their user ids are: another user's and a set-user-id
  // program's are not listed.
  const auto user = std::to_string(::getuid());
  const auto writeStatus = [&](const std::string& pid, const std::string& uids) {
    fs::create_directories(proc / pid);
    std::ofstream(proc / pid / "status") << "Name:\tx\nUmask:\t0022\nUid:\t" << uids << "\n";
  };
  writeStatus("812", user + "\t" + user + "\t" + user + "\t" + user);
  writeStatus("813", "54321\t54321\t54321\t54321");
  writeStatus("814", user + "\t54321\t54321\t54321");
  // A process's own root may hold a FIFO where the sandbox file would be: never waited on.
  writeStatus("815", user + "\t" + user + "\t" + user + "\t" + user);
  fs::create_directories(proc / "815/root");
  ASSERT_EQ(::mkfifo((proc / "815/root/.flatpak-info").c_str(), 0600), 0);

  ProcProcessTable table(proc);
  auto records = table.processes();
  std::sort(records.begin(), records.end(),
            [](const auto& a, const auto& b) { return a.processIdentifier < b.processIdentifier; });
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].processIdentifier, 812);
  EXPECT_EQ(records[0].executable, "/opt/halvermoor/bin/run");
  EXPECT_EQ(records[0].flatpakId, "com.pemberquist.halvermoor");
  EXPECT_FALSE(records[0].launchedDesktopFile);
  EXPECT_EQ(records[1].processIdentifier, 815);
  EXPECT_FALSE(records[1].flatpakId);
  // Named, not held: a process of a tree of one's own is never signalled.
  ASSERT_TRUE(records[0].handle);
  EXPECT_FALSE(table.terminate(records[0]).ok());
}

struct ToolFixture {
  ToolFixture() { fs::create_directories(bin); }
  ToolDesktopIconPreference preference(double timeout = 5.0) {
    return ToolDesktopIconPreference(*desktopIconTool(DesktopKind::gnome), timeout, bin.string());
  }
  testing::TemporaryFolder folder;
  fs::path bin = folder / "bin";
  fs::path log = folder / "arguments";
};

TEST(DesktopIconPreferenceTest, RunsTheDesktopsToolWithItsArguments) {
  ToolFixture f;
  writeScript(f.bin / "gsettings", "echo \"$@\" >> '" + f.log.string() + "'");
  auto preference = f.preference();
  EXPECT_EQ(preference.desktopName(), "GNOME");
  ASSERT_TRUE(preference.setShowsDesktopIcons(true).ok());
  ASSERT_TRUE(preference.setShowsDesktopIcons(false).ok());
  ASSERT_TRUE(preference.resetShowsDesktopIcons().ok());
  EXPECT_EQ(readFile(f.log).value(),
            "set org.gnome.desktop.background show-desktop-icons true\n"
            "set org.gnome.desktop.background show-desktop-icons false\n"
            "reset org.gnome.desktop.background show-desktop-icons\n");

  const auto xfce = desktopIconTool(DesktopKind::xfce);
  ASSERT_TRUE(xfce);
  EXPECT_EQ(xfce->program, "xfconf-query");
  EXPECT_EQ(xfce->hideArguments.back(), "0");
  EXPECT_EQ(xfce->resetArguments.back(), "-r");
  EXPECT_EQ(desktopIconTool(DesktopKind::cinnamon)->showArguments[1], "org.nemo.desktop");
  EXPECT_EQ(desktopIconTool(DesktopKind::mate)->showArguments[1], "org.mate.background");
  EXPECT_FALSE(desktopIconTool(DesktopKind::kde));
}

TEST(DesktopIconPreferenceTest, FailingMissingAndHungToolsAreErrors) {
  ToolFixture f;
  EXPECT_NE(f.preference().resetShowsDesktopIcons().message().find("gsettings is not installed"),
            std::string::npos);

  writeScript(f.bin / "gsettings", "echo 'No such schema' >&2; exit 1");
  const auto failed = f.preference().setShowsDesktopIcons(true);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.message(), "gsettings failed with status 1: No such schema.");

  // A tool that never returns is stopped at the time-out instead of holding up launch.
  writeScript(f.bin / "gsettings", "exec sleep 30");
  const auto started = std::chrono::steady_clock::now();
  const auto hung = f.preference(0.2).setShowsDesktopIcons(true);
  ASSERT_FALSE(hung.ok());
  EXPECT_NE(hung.message().find("did not finish"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(DesktopSessionTest, DesktopKindsAndSettingsCommands) {
  EXPECT_EQ(desktopKindFrom("ubuntu:GNOME"), DesktopKind::gnome);
  EXPECT_EQ(desktopKindFrom("X-Cinnamon"), DesktopKind::cinnamon);
  EXPECT_EQ(desktopKindFrom("MATE"), DesktopKind::mate);
  EXPECT_EQ(desktopKindFrom("XFCE"), DesktopKind::xfce);
  EXPECT_EQ(desktopKindFrom("KDE"), DesktopKind::kde);
  EXPECT_EQ(desktopKindFrom(""), DesktopKind::unknown);
  EXPECT_EQ(desktopKindFrom("Hyprland"), DesktopKind::unknown);
  EXPECT_EQ(notificationSettingsCommand(DesktopKind::gnome)->arguments,
            std::vector<std::string>{"notifications"});

  testing::TemporaryFolder folder;
  const auto marker = folder / "opened";
  writeScript(folder / "xfce4-notifyd-config", "touch '" + marker.string() + "'");
  DesktopSettingsOpener xfce(DesktopKind::xfce, folder.path().string());
  EXPECT_TRUE(xfce.openNotificationSettings());
  EXPECT_TRUE(testing::pollUntil([&] { return fs::exists(marker); }));
  EXPECT_FALSE(xfce.openScreenCaptureSettings());  // X11 has no such pane
  EXPECT_FALSE(DesktopSettingsOpener(DesktopKind::gnome, folder.path().string())
                   .openNotificationSettings());  // not installed
  EXPECT_FALSE(DesktopSettingsOpener(DesktopKind::unknown, "/usr/bin").openNotificationSettings());
}

TEST(ProgramPathTest, ExecProgramAndLookup) {
  DesktopEntry entry;
  entry.exec = "\"/opt/My App/run\" --flag %U";
  EXPECT_EQ(entry.execProgram(), "/opt/My App/run");
  entry.exec = "  halvermoor %F";
  EXPECT_EQ(entry.execProgram(), "halvermoor");
  entry.exec = "";
  EXPECT_EQ(entry.execProgram(), "");
  entry.exec = "flatpak run \"--command=my tool\" org.example.App  %U";
  EXPECT_EQ(entry.execWords(), (std::vector<std::string>{"flatpak", "run", "--command=my tool",
                                                         "org.example.App", "%U"}));

  testing::TemporaryFolder folder;
  fs::create_directories(folder / "a");
  fs::create_directories(folder / "b");
  std::ofstream(folder / "a/tool") << "not executable";
  writeScript(folder / "b/tool", "true");
  const std::string path = (folder / "a").string() + "::" + (folder / "b").string();
  EXPECT_EQ(findProgram("tool", path), folder / "b/tool");
  EXPECT_FALSE(findProgram("absent", path));
  EXPECT_EQ(findProgram((folder / "b/tool").string(), ""), folder / "b/tool");
}

// An entry file is whatever the folder holds: a FIFO in its place is refused at once, never
// waited on; a huge file is read only as far as the limit, its keys there still counting.
TEST(DesktopEntryFileTest, SpecialAndOversizedFilesAreRefusedWithoutWaiting) {
  testing::TemporaryFolder folder;
  const auto applications = folder / "applications";
  fs::create_directories(applications);
  ASSERT_EQ(::mkfifo((applications / "fifo.desktop").c_str(), 0600), 0);
  std::ofstream(applications / "huge.desktop")
      << "[Desktop Entry]\nType=Application\nName=Huge\nComment=" << std::string(2 << 20, 'x')
      << "\nStartupWMClass=TooLate\n";
  std::ofstream(applications / "plain.desktop")
      << "[Desktop Entry]\nType=Application\nName=Plain\n";

  const auto fifo = loadDesktopEntry(applications / "fifo.desktop");
  ASSERT_FALSE(fifo.ok());
  EXPECT_NE(fifo.message().find("not a regular file"), std::string::npos);
  const auto huge = loadDesktopEntry(applications / "huge.desktop");
  ASSERT_TRUE(huge.ok()) << huge.message();
  EXPECT_EQ(huge->name, "Huge");
  EXPECT_EQ(huge->startupWMClass, "");
  EXPECT_EQ(loadDesktopEntry(applications / "plain.desktop", {applications})->id, "plain");
}

}  // namespace
}  // namespace corvane::platform
