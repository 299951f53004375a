#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/process_handle.h"
#include "runtime/result.h"

namespace corvane::platform {

// One running process of this user, as the system's process list describes it.
struct ProcessRecord {
  std::int32_t processIdentifier = 0;
  std::filesystem::path executable;  // empty when it cannot be read
  // GIO_LAUNCHED_DESKTOP_FILE: the desktop entry the process was started from.
  std::optional<std::filesystem::path> launchedDesktopFile;
  std::optional<std::string> flatpakId;  // the sandbox's application id
  // The process itself, held since it was listed: signals go through it, never by number.
  std::shared_ptr<const ProcessHandle> handle;

  bool operator==(const ProcessRecord&) const = default;
};

// The processes of the current user, including those without a window (a tray-only program is
// never listed by the workspace).
class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  virtual std::vector<ProcessRecord> processes() const = 0;
  // Asks the listed process to quit (SIGTERM) through its handle; refused for a process of
  // another user or one that has ended (whatever runs under its number now).
  virtual runtime::Status terminate(const ProcessRecord& process) = 0;
};

}  // namespace corvane::platform
