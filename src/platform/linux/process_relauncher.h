#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/application_relauncher.h"

namespace corvane::platform {

// The argument that makes a starting copy wait for an earlier one: "--wait-for-exit-of=<pid>".
inline constexpr const char* kWaitForExitFlag = "--wait-for-exit-of=";

// The process id a starting copy was asked to wait for; absent without the flag or with a value
// that is not a whole positive number.
std::optional<std::int32_t> processToAwait(const std::vector<std::string>& arguments);

// Waits until the process has exited (or is a zombie), at most `timeoutSeconds`; true when it
// has. Polls /proc, so it also works for a process that is not our child.
bool waitForProcessExit(std::int32_t processIdentifier, double timeoutSeconds);

// Starts the installed program again as an argument array (no shell), asking it to wait for
// this process to exit.
class ProcessRelauncher final : public ApplicationRelauncher {
 public:
  ProcessRelauncher(std::filesystem::path executable, std::int32_t ownProcessIdentifier);
  runtime::Status relaunch() override;

 private:
  std::filesystem::path executable_;
  std::int32_t ownProcessIdentifier_;
};

}  // namespace corvane::platform
