#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/permissions.h"
#include "platform/x11/sampling_while_read.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_event_pump.h"

namespace corvane::platform::x11 {

// Why this session cannot be captured at all, from its environment: a Wayland session (no
// portal can leave applications out of a capture). Absent for an X11 session.
std::optional<std::string> waylandSessionRefusal(const std::map<std::string, std::string>& env);
std::map<std::string, std::string> processEnvironment();

// Capture is granted when the root window can be read; accessibility when XTEST is present.
// Every check runs on one connection of its own, opened by the first check and kept (opened
// again after the server went away), on its pump's thread: a caller waits for the answer at most
// a bounded time.
class X11Permissions final : public Permissions {
 public:
  explicit X11Permissions(std::string displayName = {},
                          std::map<std::string, std::string> environment = processEnvironment());
  ~X11Permissions() override;

  bool screenCapturePreflight() const override { return !screenCaptureDenialReason(); }
  bool requestScreenCapture() override { return screenCapturePreflight(); }
  std::optional<std::string> screenCaptureDenialReason() const override;
  bool accessibilityTrusted() const override;

 private:
  // Runs `check` on the checks' connection (null when it cannot be opened) and returns its
  // answer; nothing when none came in time.
  template <class Value>
  std::optional<Value> probe(std::function<Value(XConnection*)> check) const;

  std::string displayName_;
  std::map<std::string, std::string> environment_;
  mutable std::mutex mutex_;
  mutable std::unique_ptr<XEventPump> pump_;
};

// Seconds since the last input, from the MIT-SCREEN-SAVER extension, sampled by a thread of
// its own every kSampleInterval while it is read; a call reads the last sample plus the time
// since it, so a server that stops answering never holds up the caller. Once nobody has read it
// for kRestAfter seconds the thread rests (no request to the server) until the next call, which
// wakes it. 0 before the first sample and on waking (so the caller never takes an unknown for a
// long idle time). Not a number (unknown) while the server has not answered the sampler for
// kUnansweredAfter seconds: another client holding the server keeps what happened meanwhile from
// view, and the last sample would read as input the screen never followed.
class X11InputIdleness final : public InputIdleness {
 public:
  static runtime::Result<std::shared_ptr<X11InputIdleness>> open(
      const std::string& displayName = {});
  ~X11InputIdleness() override;
  double secondsSinceLastInput() const override;

  static constexpr double kSampleInterval = 0.1;
  static constexpr double kRestAfter = 10.0;
  static constexpr double kUnansweredAfter = 1.0;

 private:
  X11InputIdleness() = default;
  void sample(XConnection& connection);

  mutable std::mutex mutex_;
  std::optional<double> idleAtSample_;
  double sampledAt_ = 0;
  mutable bool awaitingFreshSample_ = false;
  mutable double freshSampleAskedAt_ = 0;
  mutable SamplingWhileRead sampling_{kRestAfter};
  mutable XEventPump pump_;
};

}  // namespace corvane::platform::x11
