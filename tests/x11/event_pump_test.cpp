#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>

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

}  // namespace
}  // namespace corvane::platform::x11::testing
