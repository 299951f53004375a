#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "runtime/result.h"

namespace corvane::wiring {

// One running Corvane per settings folder. The first launch takes a lock file in the user's
// private runtime folder and listens on a socket next to it; a later launch finds the lock taken,
// hands its message to the first one, waits for the answer that it was taken, and ends. Both ends
// check that the other is this user.
class SingleInstance {
 public:
  // What a launch is.
  enum class Role {
    primary,     // the running copy: it holds the lock and listens
    forwarded,   // a later launch whose message the running copy answered
    unanswered,  // a later launch the running copy did not answer within the time limit
  };
  struct Claim {
    Role role = Role::primary;
    std::unique_ptr<SingleInstance> primary;  // set for the primary only
  };

  static constexpr const char* kReopenMessage = "reopen";
  // What the running copy sends back once it has taken a line.
  static constexpr const char* kAnswer = "ok\n";
  // How long a later launch tries to reach the running copy (a stopped one never answers).
  static constexpr std::chrono::milliseconds kForwardTimeLimit{2000};
  // How long a connection may take to send its line, and how long a line may be.
  static constexpr std::chrono::milliseconds kMessageTimeLimit{1000};
  static constexpr std::size_t kLongestMessage = 64;
  // Connections waiting for their line at once; more are closed unanswered when they come (the
  // launch tries again within its time limit).
  static constexpr std::size_t kMostWaitingConnections = 16;

  // `settingsFolder` names the instance however it is spelled; the lock and the socket go into
  // `runtimeFolder`, which must be private to this user. An error (a folder that is not private,
  // a lock held by another user's process) means: run without the guard, and say why.
  static runtime::Result<Claim> claim(const std::filesystem::path& runtimeFolder,
                                      const std::filesystem::path& settingsFolder,
                                      const std::string& message);
  // The lock file and the socket of the instance named by `settingsFolder`.
  struct Paths {
    std::filesystem::path lock;
    std::filesystem::path socket;
  };
  static Paths pathsFor(const std::filesystem::path& runtimeFolder,
                        const std::filesystem::path& settingsFolder);

  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Readable whenever takeMessages() has something to do: a launch connecting, a line arriving,
  // a slow connection's time running out.
  int descriptor() const { return events_; }
  // Accepts the waiting launches of this user, answers those whose line is complete and returns
  // those lines. Never blocks: partial lines wait for the next call, within their time limit.
  std::vector<std::string> takeMessages();

 private:
  struct Connection {
    int descriptor;
    std::string text;
    std::chrono::steady_clock::time_point deadline;
  };
  SingleInstance(int lock, int listening, std::filesystem::path socketPath);
  void acceptWaiting();
  // Reads what `connection` sent; true when it is done with (its line taken, or dropped).
  bool readFrom(Connection& connection, std::vector<std::string>& messages);
  void close(Connection& connection);
  void armTimerForEarliestDeadline();

  int lock_;
  int listening_;
  int events_ = -1;  // epoll over the socket, the connections and the timer
  int timer_ = -1;
  std::filesystem::path socketPath_;
  std::vector<Connection> connections_;
};

}  // namespace corvane::wiring
