#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "runtime/result.h"

namespace corvane::platform {

// One running process of this user, as the system's process list describes it.
struct ProcessRecord {
  std::int32_t processIdentifier = 0;
  std::filesystem::path executable;  // empty when it cannot be read
  // GIO_LAUNCHED_DESKTOP_FILE: the desktop entry the process was started from.
  std::optional<std::filesystem::path> launchedDesktopFile;
  std::optional<std::string> flatpakId;  // the sandbox's application id

  bool operator==(const ProcessRecord&) const = default;
};

// The processes of the current user, including those without a window (a tray-only program is
// never listed by the workspace).
class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  virtual std::vector<ProcessRecord> processes() const = 0;
  // Asks the process to quit (SIGTERM); refused for a process of another user or one that is gone.
  virtual runtime::Status terminate(std::int32_t processIdentifier) = 0;
};

}  // namespace corvane::platform
