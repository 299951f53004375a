#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/result.h"

namespace corvane::wiring {

// One running Corvane per settings folder. The first process binds a local socket named after
// the folder (an abstract socket: nothing is left behind when it dies); a later launch finds it
// taken, sends its message to the first one and ends.
class SingleInstance {
 public:
  // What a launch is: the first (it owns the socket) or a later one whose message was handed to
  // the first.
  struct Claim {
    std::unique_ptr<SingleInstance> primary;  // null for a later launch
    bool forwarded = false;
  };

  static constexpr const char* kReopenMessage = "reopen";

  // `key` names the instance (the settings folder). A socket that can be neither bound nor
  // reached is an error: the caller then runs without the single-instance guard.
  static runtime::Result<Claim> claim(const std::string& key, const std::string& message);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // The listening socket, readable when a later launch connects.
  int descriptor() const { return listening_; }
  // Accepts the waiting launches and returns their messages.
  std::vector<std::string> takeMessages();

 private:
  explicit SingleInstance(int listening) : listening_(listening) {}
  int listening_ = -1;
};

}  // namespace corvane::wiring
