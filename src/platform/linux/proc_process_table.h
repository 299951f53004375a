#pragma once

#include <sys/types.h>
#include <filesystem>

#include "platform/process_table.h"

namespace corvane::platform {

// The process list read from /proc: the current user's processes only, each with its
// executable, the desktop entry it was launched from and its flatpak id where known.
class ProcProcessTable final : public ProcessTable {
 public:
  explicit ProcProcessTable(std::filesystem::path procRoot = "/proc");

  std::vector<ProcessRecord> processes() const override;
  runtime::Status terminate(std::int32_t processIdentifier) override;

 private:
  bool belongsToThisUser(std::int32_t processIdentifier) const;

  std::filesystem::path procRoot_;
  uid_t user_;
};

}  // namespace corvane::platform
