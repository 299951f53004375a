#include "main/single_instance.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace corvane::wiring {
namespace {

constexpr int kClaimAttempts = 3;

// "\0com.pemberquist.corvane.<uid>.<hash of key>": abstract, so no file is left behind.
socklen_t addressFor(const std::string& key, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const std::string name = "com.pemberquist.corvane." + std::to_string(getuid()) + "." +
                           std::to_string(std::hash<std::string>{}(key));
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

std::string errorText(const char* step) {
  return std::string("The single-instance socket could not be ") + step + ": " +
         std::strerror(errno) + ".";
}

// Sends `message` to the running instance; false when nobody listens any more.
bool forward(const sockaddr_un& address, socklen_t length, const std::string& message) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool sent = false;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
    const std::string line = message + "\n";
    sent = send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
  }
  close(fd);
  return sent;
}

}  // namespace

runtime::Result<SingleInstance::Claim> SingleInstance::claim(const std::string& key,
                                                             const std::string& message) {
  sockaddr_un address;
  const socklen_t length = addressFor(key, address);
  // Binding is the lock; between a failed bind and the connect the first one may have gone, so
  // try again a few times.
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return runtime::Error{errorText("made")};
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
      if (listen(fd, 8) != 0) {
        const auto error = errorText("listened on");
        close(fd);
        return runtime::Error{error};
      }
      return Claim{std::unique_ptr<SingleInstance>(new SingleInstance(fd)), false};
    }
    const int bindError = errno;
    close(fd);
    if (bindError != EADDRINUSE) {
      errno = bindError;
      return runtime::Error{errorText("bound")};
    }
    if (forward(address, length, message)) return Claim{nullptr, true};
  }
  return runtime::Error{"Another Corvane holds the single-instance socket but does not answer."};
}

SingleInstance::~SingleInstance() {
  if (listening_ >= 0) close(listening_);
}

std::vector<std::string> SingleInstance::takeMessages() {
  std::vector<std::string> messages;
  for (;;) {
    const int fd = accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) break;
    // The later launch writes its one line right after connecting; a peer that sends nothing is
    // dropped after a short wait rather than holding the main thread.
    timeval wait{0, 200000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string text;
    char buffer[256];
    for (;;) {
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      text.append(buffer, static_cast<std::size_t>(got));
      if (text.find('\n') != std::string::npos || text.size() > 4096) break;
    }
    close(fd);
    if (const auto end = text.find('\n'); end != std::string::npos) {
      messages.push_back(text.substr(0, end));
    }
  }
  return messages;
}

}  // namespace corvane::wiring
