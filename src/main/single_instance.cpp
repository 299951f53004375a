#include "main/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <thread>

#include "main/private_runtime_folder.h"

namespace corvane::wiring {
namespace {

using Clock = std::chrono::steady_clock;

// A later launch tries again this often while the running copy is starting or busy.
constexpr std::chrono::milliseconds kForwardRetryInterval{20};

std::string errorText(const std::string& step) {
  return "The single-instance socket could not be " + step + ": " + std::strerror(errno) + ".";
}

// FNV-1a: the same name for the same folder in every build.
std::string hashText(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

std::optional<sockaddr_un> socketAddress(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, path.c_str(), path.native().size());
  return address;
}

bool peerIsThisUser(int descriptor) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
         peer.uid == geteuid();
}

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// Waits (within the deadline) until `descriptor` can take `events`.
bool waitFor(int descriptor, short events, Clock::time_point deadline) {
  pollfd entry{descriptor, events, 0};
  for (;;) {
    const int ready = poll(&entry, 1, millisecondsUntil(deadline));
    if (ready > 0) return (entry.revents & events) != 0;
    if (ready == 0 || errno != EINTR) return false;
  }
}

enum class Handover {
  answered,      // the running copy took the line and said so
  dropped,       // the running copy closed on it without taking it (it was too busy)
  notListening,  // nobody accepted the connection
  notThisUser,
  unanswered,  // sent, but no answer came within the deadline
  failed,
};

// After its line, the launch waits for the running copy to say it took it.
Handover awaitAnswer(int fd, Clock::time_point deadline) {
  std::string answer;
  char buffer[16];
  for (;;) {
    if (!waitFor(fd, POLLIN, deadline)) return Handover::unanswered;
    const ssize_t got = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (got <= 0) return Handover::dropped;
    answer.append(buffer, static_cast<std::size_t>(got));
    if (answer.size() >= std::strlen(SingleInstance::kAnswer)) {
      return answer == SingleInstance::kAnswer ? Handover::answered : Handover::failed;
    }
  }
}

// One attempt to hand `line` to the socket's owner and hear it was taken, never past the
// deadline: the socket is non-blocking, so a running copy that stopped (its backlog full) makes
// connect fail at once rather than hang.
Handover handOver(const sockaddr_un& address, const std::string& line, Clock::time_point deadline) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Handover::failed;
  Handover outcome = Handover::failed;
  int connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (connected != 0 && errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline)) {
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    connected = error == 0 ? 0 : -1;
  }
  if (connected != 0) {
    outcome = Handover::notListening;
  } else if (!peerIsThisUser(fd)) {
    outcome = Handover::notThisUser;
  } else {
    std::size_t sent = 0;
    while (sent < line.size()) {
      const ssize_t wrote = send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
      if (wrote > 0) {
        sent += static_cast<std::size_t>(wrote);
      } else if (wrote < 0 && (errno == EAGAIN || errno == EINTR) &&
                 waitFor(fd, POLLOUT, deadline)) {
        continue;
      } else {
        break;
      }
    }
    if (sent == line.size()) outcome = awaitAnswer(fd, deadline);
  }
  ::close(fd);
  return outcome;
}

int listenOn(const sockaddr_un& address) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, static_cast<int>(SingleInstance::kMostWaitingConnections)) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

SingleInstance::Paths SingleInstance::pathsFor(const std::filesystem::path& runtimeFolder,
                                               const std::filesystem::path& settingsFolder) {
  const std::string base = "corvane-" + hashText(canonicalFolderKey(settingsFolder));
  return {runtimeFolder / (base + ".lock"), runtimeFolder / (base + ".socket")};
}

runtime::Result<SingleInstance::Claim> SingleInstance::claim(
    const std::filesystem::path& runtimeFolder, const std::filesystem::path& settingsFolder,
    const std::string& message) {
  if (auto checked = checkPrivateFolder(runtimeFolder); !checked) return checked.error();
  const auto [lockPath, socketPath] = pathsFor(runtimeFolder, settingsFolder);
  const auto address = socketAddress(socketPath);
  if (!address) return runtime::Error{"The runtime folder's path is too long for a socket."};
  const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock < 0) return runtime::Error{errorText("locked")};

  // The lock decides who runs; the kernel lets it go when its holder ends, however it ends. While
  // someone else holds it, their socket may not be up yet, or they may just have ended: try
  // again until the time limit.
  const auto deadline = Clock::now() + kForwardTimeLimit;
  for (;;) {
    if (flock(lock, LOCK_EX | LOCK_NB) == 0) {
      unlink(socketPath.c_str());  // left by a copy that ended without removing it
      const int listening = listenOn(*address);
      if (listening < 0) {
        const auto error = errorText("listened on");
        ::close(lock);
        return runtime::Error{error};
      }
      return Claim{Role::primary, std::unique_ptr<SingleInstance>(
                                      new SingleInstance(lock, listening, socketPath))};
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      const auto error = errorText("locked");
      ::close(lock);
      return runtime::Error{error};
    }
    const auto handover = handOver(*address, message + "\n", deadline);
    if (handover == Handover::answered) break;
    if (handover == Handover::notThisUser) {
      ::close(lock);
      return runtime::Error{
          "The single-instance socket belongs to another user; this copy runs on its own."};
    }
    // Dropped or not accepted: the running copy may be starting or busy; try again in time.
    if (handover == Handover::unanswered || Clock::now() + kForwardRetryInterval >= deadline) {
      ::close(lock);
      return Claim{Role::unanswered, nullptr};
    }
    std::this_thread::sleep_for(kForwardRetryInterval);
  }
  ::close(lock);
  return Claim{Role::forwarded, nullptr};
}

SingleInstance::SingleInstance(int lock, int listening, std::filesystem::path socketPath)
    : lock_(lock), listening_(listening), socketPath_(std::move(socketPath)) {
  events_ = epoll_create1(EPOLL_CLOEXEC);
  timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  for (int fd : {listening_, timer_}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(events_, EPOLL_CTL_ADD, fd, &event);
  }
}

SingleInstance::~SingleInstance() {
  for (auto& connection : connections_) ::close(connection.descriptor);
  // Still holding the lock: no later copy has bound the path yet.
  unlink(socketPath_.c_str());
  for (int fd : {events_, timer_, listening_, lock_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::vector<std::string> SingleInstance::takeMessages() {
  // One look empties the ready list (it names each descriptor once, and there are at most this
  // many); the work below looks at every descriptor anyway. Level-triggered descriptors are
  // listed again at every look while they stay readable, so looking until the list is short
  // would never end under a crowd of talking connections.
  epoll_event ready[kMostWaitingConnections + 2];
  epoll_wait(events_, ready, static_cast<int>(std::size(ready)), 0);
  std::uint64_t expirations = 0;
  [[maybe_unused]] const auto drained = ::read(timer_, &expirations, sizeof expirations);

  acceptWaiting();
  std::vector<std::string> messages;
  std::erase_if(connections_, [&](Connection& connection) {
    if (!readFrom(connection, messages) && Clock::now() < connection.deadline) return false;
    close(connection);
    return true;
  });
  armTimerForEarliestDeadline();
  return messages;
}

void SingleInstance::acceptWaiting() {
  for (;;) {
    const int fd = accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    // Another user's process (root reaching past the folder's permissions) is not listened to.
    if (!peerIsThisUser(fd) || connections_.size() >= kMostWaitingConnections) {
      ::close(fd);
      continue;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(events_, EPOLL_CTL_ADD, fd, &event);
    connections_.push_back({fd, {}, Clock::now() + kMessageTimeLimit});
  }
}

bool SingleInstance::readFrom(Connection& connection, std::vector<std::string>& messages) {
  char buffer[kLongestMessage + 1];
  for (;;) {
    const ssize_t got = recv(connection.descriptor, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    if (got <= 0) return true;  // hung up or failed without a whole line
    connection.text.append(buffer, static_cast<std::size_t>(got));
    if (const auto end = connection.text.find('\n'); end != std::string::npos) {
      if (end <= kLongestMessage) {
        messages.push_back(connection.text.substr(0, end));
        // The launch waits for this; an empty socket buffer always has room for it.
        [[maybe_unused]] const auto answered =
            send(connection.descriptor, kAnswer, std::strlen(kAnswer), MSG_DONTWAIT | MSG_NOSIGNAL);
      }
      return true;
    }
    if (connection.text.size() > kLongestMessage) return true;
  }
}

void SingleInstance::close(Connection& connection) {
  epoll_ctl(events_, EPOLL_CTL_DEL, connection.descriptor, nullptr);
  ::close(connection.descriptor);
}

void SingleInstance::armTimerForEarliestDeadline() {
  itimerspec when{};
  if (!connections_.empty()) {
    const auto earliest =
        std::min_element(connections_.begin(), connections_.end(),
                         [](const auto& a, const auto& b) { return a.deadline < b.deadline; });
    const auto left = std::max(std::chrono::nanoseconds(1),
                               std::chrono::nanoseconds(earliest->deadline - Clock::now()));
    when.it_value.tv_sec = static_cast<time_t>(left.count() / 1000000000);
    when.it_value.tv_nsec = static_cast<long>(left.count() % 1000000000);
  }
  timerfd_settime(timer_, 0, &when, nullptr);
}

}  // namespace corvane::wiring
