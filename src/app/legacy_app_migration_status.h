#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvane::app {

// Where a copy of the product under its former name was found and whether one runs. Shown by
// the setup checklist; a running copy refuses a session.
struct LegacyAppMigrationStatus {
  // A running copy's desktop entry or executable, else the installed desktop entry.
  std::optional<std::filesystem::path> applicationURL;
  bool isRunning = false;
  // The processes a quit request would end, as the user reads them: "halvermoor (process 4242)".
  std::vector<std::string> runningProcesses;

  static LegacyAppMigrationStatus clear() { return {}; }
  bool needsAttention() const { return applicationURL.has_value() || isRunning; }

  bool operator==(const LegacyAppMigrationStatus&) const = default;
};

// The outcome of asking the former copies to quit.
enum class LegacyAppQuitResult {
  notRunning,  // none was running; nothing was asked
  confirmed,   // they were asked and none runs any more
  timedOut,    // they were asked and one still runs after the last wait
};

}  // namespace corvane::app
