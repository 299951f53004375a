#include "app/legacy_app_migration_advisor.h"

#include <algorithm>
#include <set>

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

std::optional<std::filesystem::path> LegacyAppMigrationAdvisor::programOf(
    const std::filesystem::path& entry) const {
  const auto loaded = platform::loadDesktopEntry(entry);
  if (!loaded) return std::nullopt;
  const auto program = platform::findProgram(loaded->execProgram(), services_.programSearchPath);
  if (!program) return std::nullopt;
  return resolvedPath(*program);
}

std::vector<std::pair<std::filesystem::path, std::optional<std::filesystem::path>>>
LegacyAppMigrationAdvisor::installedCopies() const {
  const auto ownExecutable = resolvedPath(services_.ownExecutable);
  std::vector<std::pair<std::filesystem::path, std::optional<std::filesystem::path>>> copies;
  for (const auto& location : legacyApplicationLocations()) {
    std::error_code error;
    if (!std::filesystem::exists(location, error)) continue;
    auto program = programOf(location);
    // This application installed under the former entry's name is not a former copy.
    if (program && !services_.ownExecutable.empty() && *program == ownExecutable) continue;
    copies.emplace_back(location, std::move(program));
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
                        record != nullptr ? locationOf(*record) : std::nullopt});
    }
  }

  std::set<std::filesystem::path> installedPrograms;
  for (const auto& [entry, program] : installedCopies()) {
    if (program) installedPrograms.insert(*program);
  }
  for (const auto& record : records) {
    if (record.processIdentifier == services_.ownProcessIdentifier) continue;
    if (listed.contains(record.processIdentifier)) continue;
    const bool fromFlatpak = record.flatpakId == formerApplicationIdentifier;
    const bool fromEntry = record.launchedDesktopFile &&
                           record.launchedDesktopFile->filename() == formerDesktopEntryName;
    const bool runsInstalledProgram =
        !record.executable.empty() && installedPrograms.contains(resolvedPath(record.executable));
    if (!fromFlatpak && !fromEntry && !runsInstalledProgram) continue;
    listed.insert(record.processIdentifier);
    copies.push_back({record.processIdentifier, false, locationOf(record)});
  }
  return copies;
}

LegacyAppMigrationStatus LegacyAppMigrationAdvisor::status() const {
  LegacyAppMigrationStatus status;
  const auto running = runningCopies();
  status.isRunning = !running.empty();
  if (!running.empty() && running.front().location) {
    status.applicationURL = running.front().location;
  } else if (const auto installed = installedCopies(); !installed.empty()) {
    status.applicationURL = installed.front().first;
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
    } else if (self->services_.processes) {
      (void)self->services_.processes->terminate(copy.processIdentifier);
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
