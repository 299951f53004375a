#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/legacy_app_migration_status.h"
#include "platform/process_table.h"
#include "platform/workspace.h"
#include "runtime/task.h"

namespace corvane::app {

// What the advisor looks at: the workspace's applications, every process of this user (a copy
// living only in the tray owns no window, so the workspace does not list it), and the
// application folders where the former copy's desktop entry may be installed.
struct LegacyAppMigrationAdvisorServices {
  std::shared_ptr<platform::Workspace> workspace;
  std::shared_ptr<platform::ProcessTable> processes;
  // Searched in this order: the system's folders, then the user's.
  std::vector<std::filesystem::path> systemApplicationDirectories;
  std::optional<std::filesystem::path> userApplicationDirectory;
  std::string programSearchPath;  // resolves a bare Exec= program
  std::filesystem::path ownExecutable;
  std::int32_t ownProcessIdentifier = 0;
};

// Finds a copy of the product under its former name, installed or running (never this process
// or this executable), and asks running copies to quit. Every call looks afresh. Main actor.
class LegacyAppMigrationAdvisor : public std::enable_shared_from_this<LegacyAppMigrationAdvisor> {
 public:
  static constexpr const char* formerApplicationIdentifier = "com.pemberquist.halvermoor";
  static constexpr const char* formerDesktopEntryName = "com.pemberquist.halvermoor.desktop";

  explicit LegacyAppMigrationAdvisor(LegacyAppMigrationAdvisorServices services);

  LegacyAppMigrationStatus status() const;

  // Asks every running copy to quit (the workspace's close request for a copy with windows,
  // SIGTERM through the process's handle for one without), then checks after each of at most
  // `maximumPollAttempts` (at least 1) waits of `pollInterval` seconds.
  static runtime::Task<LegacyAppQuitResult> quitPreviousCopy(
      std::shared_ptr<const LegacyAppMigrationAdvisor> self, int maximumPollAttempts,
      double pollInterval);

  // Where an installed copy's desktop entry may be, in search order.
  std::vector<std::filesystem::path> legacyApplicationLocations() const;

 private:
  struct RunningCopy {
    std::int32_t processIdentifier = 0;
    bool ownsWindows = false;  // listed by the workspace
    std::optional<std::filesystem::path> location;
    std::optional<platform::ProcessRecord> process;  // how the process list knows it
    std::string description;                         // "halvermoor (process 4242)"
  };
  // An installed entry that is not this application, and how its running copies are known:
  // by the program it starts, or by the Flatpak application it runs.
  struct InstalledCopy {
    std::filesystem::path entry;
    std::optional<std::filesystem::path> program;
    std::optional<std::string> flatpakId;
  };

  std::vector<RunningCopy> runningCopies() const;
  std::vector<InstalledCopy> installedCopies() const;

  LegacyAppMigrationAdvisorServices services_;
};

}  // namespace corvane::app
