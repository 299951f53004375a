#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/x11/x_event_pump.h"

namespace corvane::platform::x11 {

// Keeps every top-level window of a display redirected, on a thread and connection of its own,
// for as long as it lives. Each capture session redirects the windows on its connection too and
// ends that redirect when it ends; while this one lasts, a session ending changes nothing on the
// server. Without it, a session replaced by another (a new filter) would end its redirect before
// the next one began: every window would then get a new backing pixmap copied from the screen,
// which in a window without a background holds whatever other windows showed there.
class LastingRedirect {
 public:
  explicit LastingRedirect(std::string displayName);
  // The server ends the redirect with the connection.
  ~LastingRedirect();
  LastingRedirect(const LastingRedirect&) = delete;
  LastingRedirect& operator=(const LastingRedirect&) = delete;

  // Waits at most `seconds` for the server to have redirected the windows for it; false when it
  // has not (it could not, or has not yet).
  bool awaitHeld(double seconds);

 private:
  struct State;
  std::shared_ptr<State> state_;
  XEventPump pump_;
};

// The lasting redirect of one display, shared by the streams made while any of them holds it: a
// stream made to replace another holds it before the other one ends.
class LastingRedirects {
 public:
  explicit LastingRedirects(std::string displayName) : displayName_(std::move(displayName)) {}
  // The one held now, or a new one when nobody holds it.
  std::shared_ptr<LastingRedirect> hold();

 private:
  std::string displayName_;
  std::mutex mutex_;
  std::weak_ptr<LastingRedirect> current_;
};

}  // namespace corvane::platform::x11
