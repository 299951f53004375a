#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/x11/server_hold.h"
#include "platform/x11/x_connection.h"
#include "support/x11/x_clients.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

using corvane::testing::PingClient;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A hold lets the server go after its bound however stuck its owner is, is refused while a
// connection of this process is being opened, and keeps that opening waiting while it lasts.
TEST(ServerHoldTest, AHoldIsBoundedAndNeverMeetsAConnectionBeingOpened) {
  XvfbServer server(320, 240);
  ASSERT_TRUE(server.ok());
  auto holder = XConnection::open(server.name());
  auto other = XConnection::open(server.name());
  ASSERT_TRUE(holder.ok() && other.ok());
  ServerHold::forgetRecord();

  // The owner holds the server, then waits for the test; another client is answered once the
  // bound is over, and the owner learns that its hold was cut short.
  std::promise<void> held, released;
  std::promise<bool> cutShort;
  auto releasedFuture = released.get_future().share();
  std::thread owner([&] {
    ServerHold hold((*holder)->display(), 0.3);
    ServerHold inner((*holder)->display());  // nested: shares the outer bound
    held.set_value();
    releasedFuture.wait();
    cutShort.set_value(hold.held() && hold.cutShort() && inner.cutShort());
  });
  held.get_future().wait();
  const auto asked = Clock::now();
  XSync((*other)->display(), False);
  const double waited = secondsSince(asked);
  EXPECT_GE(waited, 0.2);
  EXPECT_LT(waited, 3.0);
  released.set_value();
  EXPECT_TRUE(cutShort.get_future().get());
  owner.join();
  EXPECT_EQ(ServerHold::record().cutShort, 1u);
  EXPECT_LT(ServerHold::record().longestSeconds, 1.0);

  {
    ConnectionOpening opening;
    ServerHold refused((*holder)->display());
    EXPECT_FALSE(refused.held());
  }
  // An opening waits for the hold in place: here until its bound lets the server go.
  ServerHold hold((*holder)->display(), 0.2);
  ASSERT_TRUE(hold.held());
  const auto heldAt = Clock::now();
  std::atomic<double> openedAfter{-1};
  std::thread opener([&] {
    ConnectionOpening opening;
    openedAfter = secondsSince(heldAt);
  });
  ASSERT_TRUE(waitUntil([&] { return openedAfter.load() >= 0; }));
  opener.join();
  EXPECT_GE(openedAfter.load(), 0.15);
  EXPECT_TRUE(hold.cutShort());
}

// 35 clients map a window at the same moment while a private application is left out, other
// windows keep changing (so frames fail and some are held) and the filter's list of what can be
// captured is read again and again, each time on a new connection, as launches make the engine
// do: the server never stops answering other clients for long, and the stream goes on.
TEST(ServerHoldTest, ManyWindowsMappedAtOnceNeitherFreezeTheServerNorEndTheStream) {
  XvfbServer server(1024, 768);
  ASSERT_TRUE(server.ok());
  X11ScreenCapture capture(server.name(), plainIdentities());
  TestClient secret(server.name(), {.windowClass = "Secret", .colour = kBlue, .width = 300});
  TestClient churner(server.name(), {.windowClass = "Churner", .x = 700, .y = 500});
  churner.send("churn 40 2");
  std::vector<std::unique_ptr<TestClient>> many;
  for (int i = 0; i < 35; ++i) {
    many.push_back(std::make_unique<TestClient>(
        server.name(), TestClientOptions{.windowClass = "Many" + std::to_string(i),
                                         .colour = kGreen,
                                         .x = 20 * i,
                                         .y = 12 * i,
                                         .width = 260,
                                         .height = 180,
                                         .unmapped = true}));
    ASSERT_NE(many.back()->window(), 0u);
  }
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  auto stream = capture.makeStream(excluding({"Secret"}), {}, recorder.output(), queue);
  ASSERT_TRUE(startStream(*stream).ok());
  ASSERT_TRUE(recorder.waitForMoreFrames(1));

  // Refreshes as several launches at once ask for them.
  std::atomic<bool> refreshing{true};
  std::atomic<int> refreshes{0};
  std::vector<std::thread> refreshers;
  for (int i = 0; i < 4; ++i) {
    refreshers.emplace_back([&] {
      while (refreshing.load()) {
        std::promise<void> done;
        capture.shareableContent([&](runtime::Result<ShareableContent>) { done.set_value(); });
        done.get_future().wait();
        ++refreshes;
      }
    });
  }
  PingClient ping(server.name());
  ASSERT_TRUE(ping.ok());
  ServerHold::forgetRecord();
  const auto started = Clock::now();
  for (auto& client : many) client->send("remap");
  const std::size_t before = recorder.frameCount();
  // A frame composed after the windows came shows them (under the churn only held frames come).
  EXPECT_TRUE(static_cast<bool>(recorder.waitForFrame(
      before, [](const PixelBuffer& frame) { return countPixels(frame, kGreen) > 100000; })));
  while (secondsSince(started) < 3.0 && recorder.errors().empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const double elapsed = secondsSince(started);
  refreshing = false;
  for (auto& refresher : refreshers) refresher.join();

  EXPECT_TRUE(recorder.errors().empty()) << recorder.errors().front();
  EXPECT_GT(refreshes.load(), 10);
  EXPECT_LT(ping.longestGapSeconds(), 1.0);
  const auto holds = ServerHold::record();
  EXPECT_GE(holds.taken, 1u) << "no frame was held: the churn did not make frames fail";
  EXPECT_LT(holds.longestSeconds, ServerHold::kLongestHold + 0.1);
  // Never back to back: a hold at most every quarter of a second.
  EXPECT_LE(holds.taken, static_cast<std::uint64_t>(elapsed / 0.25) + 2);
  EXPECT_TRUE(stopStream(*stream).ok());
}

}  // namespace
}  // namespace corvane::platform::x11::testing
