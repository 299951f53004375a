#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/result.h"

namespace corvane::platform {

// A program to run: an executable and its arguments as an array, never a shell string.
struct ProcessRequest {
  std::filesystem::path executable;
  std::vector<std::string> arguments;
  std::map<std::string, std::string> extraEnvironment;
  std::optional<std::filesystem::path> workingDirectory;
};

struct ProcessOutput {
  int exitStatus = -1;  // the exit code, or 128 + signal number
  std::string standardOutput;
  std::string standardError;
};

// Runs the program to its end, or kills it once `timeoutSeconds` have passed (an error then).
runtime::Result<ProcessOutput> runProcess(const ProcessRequest& request, double timeoutSeconds);

// Starts the program in a new session and does not wait for it; returns its process id.
runtime::Result<int> launchDetachedProcess(const ProcessRequest& request);

}  // namespace corvane::platform
