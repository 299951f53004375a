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

  // Waits at most `seconds` for the server to have redirected the windows for it, and for its
  // thread to find its connection still open; false when it has not (it could not, or has not
  // yet, or its connection was lost, however shortly before).
  bool awaitHeld(double seconds);
  // True once it will never be held (any more): it could not be opened, or its connection ended.
  bool hasEnded() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  XEventPump pump_;
};

// The lasting redirect of one display, kept while any stream of a share holds it: a stream made
// to replace another holds it before the other one ends. One whose connection ended (another
// client killed it, the server refused a new connection) is opened again when it is next needed.
class LastingRedirects {
 public:
  explicit LastingRedirects(std::string displayName);

  // While any hold lives, a redirect is kept (opened now unless one is held).
  using Hold = std::shared_ptr<void>;
  Hold hold();
  // For a stream that ends while other streams hold: waits at most `seconds` for a redirect to be
  // in place for them, opening one again when the last one ended. True when it is, or when no
  // other stream holds (there is nothing to hand over); false when none could be had, so the
  // caller's windows would lose their redirect.
  bool handOver(double seconds);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace corvane::platform::x11
