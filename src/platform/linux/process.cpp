#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>

#include "runtime/thread_signal_stack.h"

extern char** environ;

namespace corvane::platform {
namespace {

// Output beyond this is read and dropped, so a chatty child can neither fill memory nor block.
constexpr std::size_t maxCapturedBytes = 16 * 1024 * 1024;

std::string errnoText(int error) {
  return std::strerror(error);
}

// The argument and environment arrays posix_spawn wants, owning their strings.
struct SpawnArguments {
  std::vector<std::string> storage;
  std::vector<char*> argv;
  std::vector<std::string> environmentStorage;
  std::vector<char*> envp;

  explicit SpawnArguments(const ProcessRequest& request) {
    storage.push_back(request.executable.string());
    storage.insert(storage.end(), request.arguments.begin(), request.arguments.end());
    for (auto& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);

    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
      const std::string_view variable(*entry);
      const auto name = variable.substr(0, variable.find('='));
      if (!request.extraEnvironment.contains(std::string(name))) {
        environmentStorage.emplace_back(variable);
      }
    }
    for (const auto& [name, value] : request.extraEnvironment) {
      environmentStorage.push_back(name + "=" + value);
    }
    for (auto& variable : environmentStorage) envp.push_back(variable.data());
    envp.push_back(nullptr);
  }
};

class SpawnFileActions {
 public:
  SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

struct Pipe {
  int readEnd = -1;
  int writeEnd = -1;
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  bool open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd = fds[0];
    writeEnd = fds[1];
    return true;
  }
  void closeRead() {
    if (readEnd >= 0) ::close(std::exchange(readEnd, -1));
  }
  void closeWrite() {
    if (writeEnd >= 0) ::close(std::exchange(writeEnd, -1));
  }
};

// Children start with default signal handling, whatever the parent has blocked or ignored.
void resetSignals(SpawnAttributes& attributes, short extraFlags) {
  sigset_t all;
  sigfillset(&all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(attributes.get(), &all);
  posix_spawnattr_setsigmask(attributes.get(), &none);
  posix_spawnattr_setflags(
      attributes.get(),
      static_cast<short>(POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | extraFlags));
}

runtime::Status prepareWorkingDirectory(SpawnFileActions& actions, const ProcessRequest& request) {
  if (!request.workingDirectory) return runtime::Status::success();
  if (posix_spawn_file_actions_addchdir_np(actions.get(), request.workingDirectory->c_str()) != 0) {
    return runtime::Status::failure("Could not set the working folder for " +
                                    request.executable.string() + ".");
  }
  return runtime::Status::success();
}

int exitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

void readAvailable(int& fd, std::string& into) {
  char buffer[65536];
  const ssize_t count = ::read(fd, buffer, sizeof buffer);
  if (count > 0) {
    const auto room = maxCapturedBytes - std::min(maxCapturedBytes, into.size());
    into.append(buffer, std::min(room, static_cast<std::size_t>(count)));
    return;
  }
  if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
    ::close(fd);
    fd = -1;
  }
}

int waitForChild(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return exitStatusOf(status);
}

}  // namespace

runtime::Result<ProcessOutput> runProcess(const ProcessRequest& request, double timeoutSeconds) {
  using Failure = runtime::Result<ProcessOutput>;
  Pipe output;
  Pipe errors;
  if (!output.open() || !errors.open()) {
    return Failure::failure("Could not run " + request.executable.string() + ": " +
                            errnoText(errno) + ".");
  }
  SpawnFileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), output.writeEnd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), errors.writeEnd, STDERR_FILENO);
  if (auto prepared = prepareWorkingDirectory(actions, request); !prepared) {
    return prepared.error();
  }
  SpawnAttributes attributes;
  // Its own process group, so a time-out also ends whatever the child started.
  posix_spawnattr_setpgroup(attributes.get(), 0);
  resetSignals(attributes, POSIX_SPAWN_SETPGROUP);
  SpawnArguments arguments(request);
  pid_t pid = -1;
  const int spawnError =
      posix_spawn(&pid, request.executable.c_str(), actions.get(), attributes.get(),
                  arguments.argv.data(), arguments.envp.data());
  if (spawnError != 0) {
    return Failure::failure("Could not run " + request.executable.string() + ": " +
                            errnoText(spawnError) + ".");
  }
  output.closeWrite();
  errors.closeWrite();

  ProcessOutput result;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(std::max(0.0, timeoutSeconds)));
  bool timedOut = false;
  while (output.readEnd >= 0 || errors.readEnd >= 0) {
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (remaining.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd fds[2] = {{output.readEnd, POLLIN, 0}, {errors.readEnd, POLLIN, 0}};
    const int ready =
        ::poll(fds, 2, static_cast<int>(std::min<long long>(remaining.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    if (output.readEnd >= 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      readAvailable(output.readEnd, result.standardOutput);
    }
    if (errors.readEnd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      readAvailable(errors.readEnd, result.standardError);
    }
  }

  // Both streams closed: wait for the exit, still bounded by the time-out.
  while (!timedOut) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      result.exitStatus = exitStatusOf(status);
      return result;
    }
    if (done < 0 && errno != EINTR) {
      return Failure::failure("Could not wait for " + request.executable.string() + ": " +
                              errnoText(errno) + ".");
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  waitForChild(pid);
  char limit[32];
  std::snprintf(limit, sizeof limit, "%g", timeoutSeconds);
  return Failure::failure(request.executable.filename().string() + " did not finish within " +
                          limit + " seconds and was stopped.");
}

runtime::Result<int> launchDetachedProcess(const ProcessRequest& request) {
  SpawnFileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (auto prepared = prepareWorkingDirectory(actions, request); !prepared) {
    return prepared.error();
  }
  SpawnAttributes attributes;
  resetSignals(attributes, POSIX_SPAWN_SETSID);
  SpawnArguments arguments(request);
  pid_t pid = -1;
  const int spawnError =
      posix_spawn(&pid, request.executable.c_str(), actions.get(), attributes.get(),
                  arguments.argv.data(), arguments.envp.data());
  if (spawnError != 0) {
    return runtime::Result<int>::failure("Could not start " + request.executable.string() + ": " +
                                         errnoText(spawnError) + ".");
  }
  // Reap the child when it ends so it never lingers as a zombie; nobody waits for it otherwise.
  std::thread([pid] {
    runtime::ThreadSignalStack signalStack;
    waitForChild(pid);
  }).detach();
  return static_cast<int>(pid);
}

}  // namespace corvane::platform
