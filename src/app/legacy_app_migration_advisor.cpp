#include "app/legacy_app_migration_advisor.h"

#include <algorithm>
#include <set>

#include "app/legacy_app_migration_launchers.h"
#include "platform/desktop_entry.h"
#include "platform/program_path.h"

namespace corvane::app {
namespace {

// Symbolic links resolved and the path made standard, so two ways to one file compare equal.
std::filesystem::path resolvedPath(const std::filesystem::path& path) {
  std::error_code error;
  auto resolved = std::filesystem::weakly_canonical(path, error);
  return error ? path.lexically_normal() : resolved;
}

std::optional<std::filesystem::path> locationOf(const platform::ProcessRecord& record) {
  if (record.launchedDesktopFile) return record.launchedDesktopFile;
  if (!record.executable.empty()) return record.executable;
  return std::nullopt;
}

std::string describe(const std::string& name, std::int32_t pid) {
  const std::string number = "process " + std::to_string(pid);
  return name.empty() ? number : name + " (" + number + ")";
}

std::string describe(const platform::ProcessRecord& record) {
  if (record.flatpakId) return describe(*record.flatpakId, record.processIdentifier);
  return describe(record.executable.filename().string(), record.processIdentifier);
}

}  // namespace

LegacyAppMigrationAdvisor::LegacyAppMigrationAdvisor(LegacyAppMigrationAdvisorServices services)
    : services_(std::move(services)) {}

std::vector<std::filesystem::path> LegacyAppMigrationAdvisor::legacyApplicationLocations() const {
  std::vector<std::filesystem::path> locations;
  for (const auto& folder : services_.systemApplicationDirectories) {
    locations.push_back(folder / formerDesktopEntryName);
  }
  if (services_.userApplicationDirectory) {
    locations.push_back(*services_.userApplicationDirectory / formerDesktopEntryName);
  }
  return locations;
}

std::vector<LegacyAppMigrationAdvisor::InstalledCopy> LegacyAppMigrationAdvisor::installedCopies()
    const {
  const auto ownExecutable = resolvedPath(services_.ownExecutable);
  std::vector<InstalledCopy> copies;
  for (const auto& location : legacyApplicationLocations()) {
    std::error_code error;
    if (!std::filesystem::exists(location, error)) continue;
    InstalledCopy copy{location, std::nullopt, std::nullopt};
    if (const auto entry = platform::loadDesktopEntry(location)) {
      const auto words = entry->execWords();
      if (auto flatpak = flatpakApplicationOf(words)) {
        copy.flatpakId = std::move(flatpak);
      } else if (!words.empty()) {
        const auto program = platform::findProgram(words.front(), services_.programSearchPath);
        // A launcher or interpreter runs many programs: its process says nothing about which.
        if (program && !isLauncherProgram(words.front()) && !isLauncherProgram(*program) &&
            !isLauncherProgram(resolvedPath(*program))) {
          copy.program = resolvedPath(*program);
        }
      }
    }
    // This application installed under the former entry's name is not a former copy.
    if (copy.program && !services_.ownExecutable.empty() && *copy.program == ownExecutable) {
      continue;
    }
    copies.push_back(std::move(copy));
  }
  return copies;
}

std::vector<LegacyAppMigrationAdvisor::RunningCopy> LegacyAppMigrationAdvisor::runningCopies()
    const {
  const auto records = services_.processes ? services_.processes->processes()
                                           : std::vector<platform::ProcessRecord>{};
  auto recordOf = [&](std::int32_t pid) -> const platform::ProcessRecord* {
    for (const auto& record : records) {
      if (record.processIdentifier == pid) return &record;
    }
    return nullptr;
  };

  std::vector<RunningCopy> copies;
  std::set<std::int32_t> listed;
  if (services_.workspace) {
    for (const auto& application : services_.workspace->runningApplications()) {
      if (application.bundleIdentifier != formerApplicationIdentifier) continue;
      if (application.processIdentifier == services_.ownProcessIdentifier) continue;
      if (!listed.insert(application.processIdentifier).second) continue;
      const auto* record = recordOf(application.processIdentifier);
      copies.push_back({application.processIdentifier, true,
                        record != nullptr ? locationOf(*record) : std::nullopt, std::nullopt,
                        describe(application.localizedName, application.processIdentifier)});
    }
  }

  // A launch file counts only where the former entry is installed: the same file name in any
  // other folder is anybody's.
  std::set<std::filesystem::path> entryLocations;
  for (const auto& location : legacyApplicationLocations()) {
    entryLocations.insert(location.lexically_normal());
    entryLocations.insert(resolvedPath(location));
  }
  std::set<std::filesystem::path> installedPrograms;
  std::set<std::string> flatpakIds{formerApplicationIdentifier};
  for (const auto& installed : installedCopies()) {
    if (installed.program) installedPrograms.insert(*installed.program);
    if (installed.flatpakId) flatpakIds.insert(*installed.flatpakId);
  }
  for (const auto& record : records) {
    if (record.processIdentifier == services_.ownProcessIdentifier) continue;
    if (listed.contains(record.processIdentifier)) continue;
    const bool fromFlatpak = record.flatpakId && flatpakIds.contains(*record.flatpakId);
    const bool fromEntry =
        record.launchedDesktopFile &&
        (entryLocations.contains(record.launchedDesktopFile->lexically_normal()) ||
         entryLocations.contains(resolvedPath(*record.launchedDesktopFile)));
    const bool runsInstalledProgram =
        !record.executable.empty() && installedPrograms.contains(resolvedPath(record.executable));
    if (!fromFlatpak && !fromEntry && !runsInstalledProgram) continue;
    listed.insert(record.processIdentifier);
    copies.push_back(
        {record.processIdentifier, false, locationOf(record), record, describe(record)});
  }
  return copies;
}

LegacyAppMigrationStatus LegacyAppMigrationAdvisor::status() const {
  LegacyAppMigrationStatus status;
  const auto running = runningCopies();
  status.isRunning = !running.empty();
  for (const auto& copy : running) status.runningProcesses.push_back(copy.description);
  if (!running.empty() && running.front().location) {
    status.applicationURL = running.front().location;
  } else if (const auto installed = installedCopies(); !installed.empty()) {
    status.applicationURL = installed.front().entry;
  }
  return status;
}

runtime::Task<LegacyAppQuitResult> LegacyAppMigrationAdvisor::quitPreviousCopy(
    std::shared_ptr<const LegacyAppMigrationAdvisor> self, int maximumPollAttempts,
    double pollInterval) {
  const auto copies = self->runningCopies();
  if (copies.empty()) co_return LegacyAppQuitResult::notRunning;
  for (const auto& copy : copies) {
    // A refused request is not an error here: the checks below tell whether the copy is gone.
    if (copy.ownsWindows && self->services_.workspace) {
      self->services_.workspace->terminate(copy.processIdentifier);
    } else if (copy.process && self->services_.processes) {
      (void)self->services_.processes->terminate(*copy.process);
    }
  }
  const int attempts = std::max(maximumPollAttempts, 1);
  if (self->runningCopies().empty()) co_return LegacyAppQuitResult::confirmed;
  for (int counted = 1;; ++counted) {
    co_await runtime::sleep(pollInterval);
    const bool running = !self->runningCopies().empty();
    if (!running) co_return LegacyAppQuitResult::confirmed;
    if (counted >= attempts) co_return LegacyAppQuitResult::timedOut;
  }
}

}  // namespace corvane::app
