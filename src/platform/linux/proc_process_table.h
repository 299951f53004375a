#pragma once

#include <sys/types.h>
#include <filesystem>

#include "platform/process_table.h"

namespace corvane::platform {

// The process list read from /proc: the current user's processes only (all of their user ids
// this user's), each held through a pidfd and described by its executable, the desktop entry it
// was launched from and its flatpak id where known. A /proc tree of a test's own is read the
// same way; its processes are named but not held, so they cannot be signalled.
class ProcProcessTable final : public ProcessTable {
 public:
  explicit ProcProcessTable(std::filesystem::path procRoot = "/proc");

  std::vector<ProcessRecord> processes() const override;
  runtime::Status terminate(const ProcessRecord& process) override;

 private:
  std::filesystem::path procRoot_;
  uid_t user_;
};

}  // namespace corvane::platform
