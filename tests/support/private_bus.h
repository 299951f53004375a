#pragma once

// A private D-Bus session bus for a test, on a socket in a folder of the test's.
#include <fcntl.h>
#include <spawn.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/x11/xvfb_server.h"

namespace corvane::testing {

class PrivateBus {
 public:
  // Starts the bus daemon, with `environment` besides the test's ("NAME=value": what the services
  // it starts get, such as their display); with `attributes`, spawned with them (a process group
  // of the caller's).
  explicit PrivateBus(const std::filesystem::path& folder,
                      const std::vector<std::string>& environment = {},
                      const posix_spawnattr_t* attributes = nullptr) {
    address_ = "unix:path=" + (folder / "bus").string();
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_ = spawnProgram(
        {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address_},
        environment, &quiet, attributes);
    posix_spawn_file_actions_destroy(&quiet);
    waitUntil([&] { return std::filesystem::exists(folder / "bus"); });
  }
  ~PrivateBus() { endProcess(pid_); }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const std::string& address() const { return address_; }
  pid_t pid() const { return pid_; }
  // Hands the daemon over to the caller, who ends it and waits for it.
  pid_t takeProcess() { return std::exchange(pid_, -1); }

 private:
  std::string address_;
  pid_t pid_ = -1;
};

}  // namespace corvane::testing
