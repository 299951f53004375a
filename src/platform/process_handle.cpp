#include "platform/process_handle.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/proc_entries.h"

namespace corvane::platform {
namespace {

std::string processName(std::int32_t processIdentifier) {
  return "Process " + std::to_string(processIdentifier);
}

}  // namespace

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
  const auto owner = readProcUser("/proc", processIdentifier_);
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
