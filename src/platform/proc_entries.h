#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvane::platform {

// Readers of one process's entries under a /proc tree (a test can pass its own tree). Each gives
// nothing when the process is gone or the entry cannot be read.

// The flatpak application id: [Application] name= of the sandbox's .flatpak-info, else the id in
// the app-flatpak-<id>-<n>.scope cgroup.
std::optional<std::string> readProcFlatpakId(const std::filesystem::path& procRoot,
                                             std::int32_t processID);
// GIO_LAUNCHED_DESKTOP_FILE from the process's environment, only when GIO_LAUNCHED_DESKTOP_FILE_PID
// names the process itself (children inherit both variables).
std::optional<std::filesystem::path> readProcLaunchedDesktopFile(
    const std::filesystem::path& procRoot, std::int32_t processID);
// The same, telling an environment without the entry from one that cannot be read: a process that
// is not dumpable (prctl PR_SET_DUMPABLE 0) keeps its environment from everyone but root.
struct LaunchRecord {
  bool readable = false;
  std::optional<std::filesystem::path> desktopFile;
  // The entry a launcher recorded for another process, whose environment this one inherited (a
  // helper its application started, or anything started from a terminal the menu launched).
  std::optional<std::filesystem::path> inheritedDesktopFile;
  // The AppImage the process, or a process it descends from, was started from (APPIMAGE).
  std::optional<std::filesystem::path> appImage;
};
LaunchRecord readProcLaunchRecord(const std::filesystem::path& procRoot, std::int32_t processID);
// The desktop ids of the launch units (systemd scopes and services that desktop launchers put
// applications in) of the process's cgroups, each unit's likeliest reading first. Readable for
// every process.
std::vector<std::string> readProcLaunchUnitIds(const std::filesystem::path& procRoot,
                                               std::int32_t processID);
// The words of the command line the process was started with; readable even when the process is
// not dumpable (its executable link then is not).
std::vector<std::string> readProcCommandLine(const std::filesystem::path& procRoot,
                                             std::int32_t processID);
// The executable the process runs (the exe link, without a " (deleted)" mark).
std::optional<std::filesystem::path> readProcExecutable(const std::filesystem::path& procRoot,
                                                        std::int32_t processID);
// The folder the process works in (the cwd link): what a relative path on its command line
// names.
std::optional<std::filesystem::path> readProcWorkingDirectory(const std::filesystem::path& procRoot,
                                                              std::int32_t processID);
// The short command name (comm), for a process whose exe link cannot be read.
std::optional<std::string> readProcCommandName(const std::filesystem::path& procRoot,
                                               std::int32_t processID);

// When the process started, in clock ticks after boot (field 22 of stat): with the id, it tells
// one process from a later one that was given the same id.
std::optional<std::uint64_t> readProcStartTime(const std::filesystem::path& procRoot,
                                               std::int32_t processID);
// The parent (field 4 of stat; 0 for none) and the start time, read at once.
struct ProcessParentage {
  std::int32_t parent = 0;
  std::uint64_t startTime = 0;
};
std::optional<ProcessParentage> readProcParentage(const std::filesystem::path& procRoot,
                                                  std::int32_t processID);

// The user a process runs as, from the Uid: line of its status; present only when its real,
// effective and saved user ids are one and the same (a set-user-id program is nobody's).
std::optional<uid_t> readProcUser(const std::filesystem::path& procRoot, std::int32_t processID);

}  // namespace corvane::platform
