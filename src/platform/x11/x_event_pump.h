#pragma once

#include "platform/x11/xlib.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/x11/x_connection.h"
#include "runtime/result.h"

namespace corvane::platform::x11 {

// A thread of its own with its own X connection: it reads events, runs posted jobs and wakes
// for the owner's timers, so that the work of its owner (capture, window and desktop watching,
// the cursor) never waits on the server from the main actor. The connection is bound to the
// thread: what is built on it belongs to the thread and checks so (assertEventPumpThread). Not
// every X request of the process goes through a pump: the share window's image puts and the tray
// panel's probe use Qt's own connection on the main actor (src/platform/x11/README.md).
class XEventPump {
 public:
  struct Callbacks {
    // Runs on the pump's thread once the connection is open; a failure ends the thread.
    std::function<runtime::Status(XConnection&)> setup;
    // Reports the outcome of opening and setup.
    std::function<void(runtime::Status)> ready;
    std::function<void(XEvent&)> event;
    // Every pass, after the jobs and a bounded share of the queued events (so it runs under a
    // flood of events too); returns the seconds until it wants to run again.
    std::function<std::optional<double>()> idle;
    // The connection was lost (the server went away, or another client killed it); unless it is
    // opened again, the thread ends after this without teardown.
    std::function<void()> connectionLost;
    // Opens a lost connection again (soon, then less often while the server refuses it) and runs
    // `setup` on the new one, for as long as the pump is not stopped; jobs posted meanwhile run
    // once it is open. A first opening or setup that fails is tried again the same way, after
    // `ready` has reported the failure. For the pumps that follow the desktop for as long as
    // they live.
    bool reopensLostConnection = false;
    // Runs on the thread just before the connection closes after a stop.
    std::function<void()> teardown;
    // With a limit, a thread that has waited on the server this many seconds without an
    // answer is cut off: `stalled` runs (on a watchdog thread), then the connection is shut so
    // the thread ends through `connectionLost`. The watchdog runs the two hooks below too.
    double stallLimit = 0;
    std::function<void()> stalled;
    // Runs (on the watchdog thread) once the opening and setup have waited on the server for
    // `waitingAfter` seconds without `ready` being reported yet: another client holding the
    // server, most likely.
    double waitingAfter = 0;
    std::function<void()> waitingOnServer;
    // A thread asked to stop that is still waiting on the server `cutAfterStop` seconds later
    // has its connection shut, if `mayCutOnStop` (run on the watchdog thread) agrees, so that the
    // stop does not wait for the server; the thread then ends through `connectionLost`.
    double cutAfterStop = 0;
    std::function<bool()> mayCutOnStop;
  };

  XEventPump() = default;
  // Stops the thread; waits for it unless called from the thread itself (or its watchdog).
  ~XEventPump();
  XEventPump(const XEventPump&) = delete;
  XEventPump& operator=(const XEventPump&) = delete;

  void start(std::string displayName, Callbacks callbacks);
  // Starts, then waits at most `timeout` seconds for the outcome of opening and setup; a
  // server that does not answer in time fails with `timeoutMessage`.
  runtime::Status startAndWait(std::string displayName, Callbacks callbacks, double timeout,
                               std::string timeoutMessage);
  // Runs `job` on the pump's thread with its connection. A job that can no longer run there
  // (the pump has ended or is ending) runs with a null connection instead, so completions it
  // carries are never lost.
  void post(std::function<void(XConnection*)> job);
  // Asks the thread to end after its teardown, without waiting.
  void requestStop();
  // Asks the thread to end and waits for it (not from the thread itself). A thread still
  // waiting on a server that does not answer after kStopGrace has its connection shut.
  void stop();
  // Asks the thread to end and waits at most kStopGrace for it, never shutting its connection:
  // a thread still waiting on the server then ends by itself, its connection shut only when
  // `mayCutOnStop` agrees (on the watchdog's thread), or by the stall limit.
  void stopWithoutCutting();
  bool isRunning() const;

 private:
  static constexpr double kStopGrace = 0.5;
  bool onOwnThread() const;

  struct State;
  std::shared_ptr<State> state_;
  std::thread thread_;
  std::thread watchdog_;
};

// Monotonic seconds for the pumps' own timers: these threads run in real time whatever clock
// the main actor keeps.
double pumpClock();

}  // namespace corvane::platform::x11
