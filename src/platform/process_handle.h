#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "runtime/result.h"

namespace corvane::platform {

// One process held from the moment it was found. On the real system it holds a pidfd, so a
// signal sent through it reaches that process or none, never a later one given the same number.
// A handle made without a pidfd only names the process (a simulated one, or a /proc tree of a
// test's own) and can signal nothing.
class ProcessHandle {
 public:
  // Holds the process running now as `processIdentifier`; nullptr when there is none. Where the
  // system gives no pidfd (an old kernel, a sandbox forbidding it) the handle only names the
  // process: it is still found, but never signalled.
  static std::shared_ptr<const ProcessHandle> hold(std::int32_t processIdentifier);

  explicit ProcessHandle(std::int32_t processIdentifier) : processIdentifier_(processIdentifier) {}
  ~ProcessHandle();
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;

  std::int32_t processIdentifier() const { return processIdentifier_; }
  bool isHeld() const { return pidfd_ >= 0; }
  // The held process has not ended (a zombie still counts). False without a pidfd.
  bool isRunning() const;
  // The held process runs as `user`; read afresh and confirmed to describe the held process.
  bool runsAs(uid_t user) const;
  // Asks the held process to quit (SIGTERM), only while it runs as `user`.
  runtime::Status terminate(uid_t user) const;

 private:
  ProcessHandle(std::int32_t processIdentifier, int pidfd)
      : processIdentifier_(processIdentifier), pidfd_(pidfd) {}

  std::int32_t processIdentifier_ = 0;
  int pidfd_ = -1;
};

}  // namespace corvane::platform
