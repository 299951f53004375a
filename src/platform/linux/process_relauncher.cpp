#include "platform/linux/process_relauncher.h"

#include <charconv>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/process.h"

namespace corvane::platform {
namespace {

constexpr auto kExitPollInterval = std::chrono::milliseconds(20);

// Whether /proc still shows the process as something other than a zombie.
bool isRunning(std::int32_t processIdentifier) {
  std::ifstream stat("/proc/" + std::to_string(processIdentifier) + "/stat");
  if (!stat) return false;
  std::string line;
  std::getline(stat, line);
  // "<pid> (<comm>) <state> ...": the name may hold spaces and parentheses, the state follows
  // the last ")".
  const auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return false;
  const char state = line[close + 2];
  return state != 'Z' && state != 'X';
}

}  // namespace

std::optional<std::int32_t> processToAwait(const std::vector<std::string>& arguments) {
  const std::string_view flag(kWaitForExitFlag);
  for (const auto& argument : arguments) {
    if (!argument.starts_with(flag)) continue;
    const std::string_view value = std::string_view(argument).substr(flag.size());
    std::int32_t pid = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pid);
    if (error != std::errc{} || end != value.data() + value.size() || pid <= 0) return std::nullopt;
    return pid;
  }
  return std::nullopt;
}

bool waitForProcessExit(std::int32_t processIdentifier, double timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(timeoutSeconds));
  while (isRunning(processIdentifier)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kExitPollInterval);
  }
  return true;
}

ProcessRelauncher::ProcessRelauncher(std::filesystem::path executable,
                                     std::int32_t ownProcessIdentifier)
    : executable_(std::move(executable)), ownProcessIdentifier_(ownProcessIdentifier) {}

runtime::Status ProcessRelauncher::relaunch() {
  auto started = launchDetachedProcess(ProcessRequest{
      executable_, {kWaitForExitFlag + std::to_string(ownProcessIdentifier_)}, {}, {}});
  if (!started) return started.error();
  return runtime::Status::success();
}

}  // namespace corvane::platform
