#include "platform/process_handle.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "platform/files.h"

namespace corvane::platform {
namespace {

std::string processName(std::int32_t processIdentifier) {
  return "Process " + std::to_string(processIdentifier);
}

// The next unsigned number in `text`, skipping blanks before it.
std::optional<uid_t> takeNumber(std::string_view& text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  uid_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end == text.data()) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

}  // namespace

std::optional<uid_t> processUser(const std::filesystem::path& procRoot,
                                 std::int32_t processIdentifier) {
  if (processIdentifier <= 0) return std::nullopt;
  const auto status = readFile(procRoot / std::to_string(processIdentifier) / "status", 64 * 1024);
  if (!status) return std::nullopt;
  std::string_view text = status.value();
  constexpr std::string_view label = "\nUid:";
  const auto start = text.find(label);
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start + label.size());
  // Real, effective, saved set and file-system user ids.
  const auto real = takeNumber(text);
  const auto effective = takeNumber(text);
  const auto saved = takeNumber(text);
  if (!real || real != effective || real != saved) return std::nullopt;
  return real;
}

std::shared_ptr<const ProcessHandle> ProcessHandle::hold(std::int32_t processIdentifier) {
  if (processIdentifier <= 0) return nullptr;
  const long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(processIdentifier), 0u);
  if (fd >= 0) {
    return std::shared_ptr<const ProcessHandle>(
        new ProcessHandle(processIdentifier, static_cast<int>(fd)));
  }
  if (errno == ESRCH) return nullptr;
  return std::make_shared<const ProcessHandle>(processIdentifier);
}

ProcessHandle::~ProcessHandle() {
  if (pidfd_ >= 0) ::close(pidfd_);
}

bool ProcessHandle::isRunning() const {
  return pidfd_ >= 0 && ::syscall(SYS_pidfd_send_signal, pidfd_, 0, nullptr, 0u) == 0;
}

bool ProcessHandle::runsAs(uid_t user) const {
  // Read first, then confirm the held process still runs: a number is not given to another
  // process while the one holding it has not ended, so what was read was about the held one.
  const auto owner = processUser("/proc", processIdentifier_);
  return owner == user && isRunning();
}

runtime::Status ProcessHandle::terminate(uid_t user) const {
  const auto name = processName(processIdentifier_);
  if (pidfd_ < 0) {
    return runtime::Status::failure(name + " is not held and cannot be asked to quit.");
  }
  if (!isRunning()) return runtime::Status::failure(name + " has ended.");
  if (!runsAs(user)) return runtime::Status::failure(name + " is not running under this user.");
  if (::syscall(SYS_pidfd_send_signal, pidfd_, SIGTERM, nullptr, 0u) != 0) {
    return runtime::Status::failure(name + " could not be asked to quit: " + std::strerror(errno) +
                                    ".");
  }
  return runtime::Status::success();
}

}  // namespace corvane::platform
