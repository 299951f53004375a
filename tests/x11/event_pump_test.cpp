#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/x11/x_event_pump.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// Xlib writes to its socket without asking the kernel to spare the signal: a write after the
// server hung up must fail with EPIPE on the pump's thread rather than end the process.
TEST(EventPumpTest, AWriteToAClosedPeerOnThePumpThreadFailsInsteadOfEndingTheProcess) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  std::atomic<int> failure{-1};
  XEventPump pump;
  pump.start(server.name(), {});
  pump.post([&failure](XConnection* connection) {
    if (connection == nullptr) return;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    close(ends[0]);
    const char byte = 0;
    failure = write(ends[1], &byte, 1) < 0 ? errno : 0;
    close(ends[1]);
  });
  ASSERT_TRUE(waitUntil([&] { return failure.load() >= 0; }));
  EXPECT_EQ(failure.load(), EPIPE);
}

// A pump's connection is its thread's: usable there, in its callbacks and jobs, and nowhere
// else; a connection opened outside a pump belongs to no thread.
TEST(EventPumpTest, ThePumpsConnectionBelongsToItsThread) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  std::atomic<XConnection*> owned{nullptr};
  std::atomic<int> usableThere{-1};
  XEventPump pump;
  XEventPump::Callbacks callbacks;
  callbacks.setup = [&owned](XConnection& connection) {
    owned = &connection;
    return runtime::Status::success();
  };
  ASSERT_TRUE(pump.startAndWait(server.name(), std::move(callbacks), 10.0, "timed out").ok());
  pump.post([&](XConnection* connection) {
    usableThere = connection != nullptr && connection->isUsableOnThisThread() ? 1 : 0;
  });
  ASSERT_TRUE(waitUntil([&] { return usableThere.load() >= 0; }));
  EXPECT_EQ(usableThere.load(), 1);
  ASSERT_NE(owned.load(), nullptr);
  EXPECT_FALSE(owned.load()->isUsableOnThisThread());
  auto free = XConnection::open(server.name());
  ASSERT_TRUE(free.ok());
  EXPECT_TRUE((*free)->isUsableOnThisThread());
  assertEventPumpThread(**free);
  pump.stop();
}

// The watchdog calls the server stalled when one call waits too long, not when the pump is kept
// busy: work that keeps coming, each piece answered by the server, goes on past the limit.
TEST(EventPumpTest, SteadyWorkAnsweredByTheServerIsNotAStall) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  constexpr double kLimit = 0.3;
  std::atomic<bool> stalled{false};
  std::atomic<bool> done{false};
  XEventPump pump;
  XEventPump::Callbacks callbacks;
  callbacks.stallLimit = kLimit;
  callbacks.stalled = [&stalled] { stalled = true; };
  pump.start(server.name(), std::move(callbacks));
  // Each round trip posts the next, so the pump never waits; it stops after three limits.
  const double began = pumpClock();
  std::function<void(XConnection*)> roundTrip = [&](XConnection* connection) {
    if (connection == nullptr || done.load()) return;
    XSync(connection->display(), False);
    if (pumpClock() - began > 3 * kLimit) {
      done = true;
      return;
    }
    pump.post(roundTrip);
  };
  pump.post(roundTrip);
  ASSERT_TRUE(waitUntil([&] { return done.load() || stalled.load(); }));
  EXPECT_FALSE(stalled.load()) << "busy, not stalled";
  pump.stop();
}

// Events that come faster than they are handled (each takes a while, as the window model's
// round trips do) neither starve the idle work nor hold up a stop.
TEST(EventPumpTest, AFloodOfEventsLeavesTurnsForIdleWorkAndForAStop) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  std::atomic<int> idlePasses{0};
  std::atomic<int> events{0};
  std::atomic<bool> tornDown{false}, lost{false};
  XEventPump pump;
  XEventPump::Callbacks callbacks;
  callbacks.setup = [](XConnection& connection) {
    XSelectInput(connection.display(), connection.root(), PropertyChangeMask);
    XSync(connection.display(), False);
    return runtime::Status::success();
  };
  callbacks.event = [&events](XEvent&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    events.fetch_add(1);
  };
  callbacks.idle = [&idlePasses]() -> std::optional<double> {
    idlePasses.fetch_add(1);
    return 0.01;
  };
  callbacks.teardown = [&tornDown] { tornDown = true; };
  callbacks.connectionLost = [&lost] { lost = true; };
  ASSERT_TRUE(pump.startAndWait(server.name(), std::move(callbacks), 10, "no start").ok());

  // Another client changes a root property without pause until the test ends.
  struct Flood {
    explicit Flood(const std::string& displayName)
        : thread([this, displayName] {
            Display* display = XOpenDisplay(displayName.c_str());
            if (display == nullptr) return;
            const Atom atom = XInternAtom(display, "CORVANE_TEST_FLOOD", False);
            long value = 0;
            while (going.load()) {
              for (int i = 0; i < 64; ++i, ++value) {
                XChangeProperty(display, DefaultRootWindow(display), atom, XA_CARDINAL, 32,
                                PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
              }
              XSync(display, False);
            }
            XCloseDisplay(display);
          }) {}
    ~Flood() {
      going = false;
      if (thread.joinable()) thread.join();
    }
    std::atomic<bool> going{true};
    std::thread thread;
  } flood(server.name());
  ASSERT_TRUE(waitUntil([&] { return events.load() > 100; }))
      << "the flood did not come: " << events.load() << " events";
  const int before = idlePasses.load();
  EXPECT_TRUE(waitUntil([&] { return idlePasses.load() > before + 5; }))
      << "no idle pass amid the flood";
  pump.stop();
  EXPECT_TRUE(tornDown.load()) << "stopped in its own time, not cut off";
  EXPECT_FALSE(lost.load());
}

}  // namespace
}  // namespace corvane::platform::x11::testing
