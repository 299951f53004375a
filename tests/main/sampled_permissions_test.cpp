#include "main/sampled_permissions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace corvane::wiring {
namespace {

// Permissions whose every check waits on `server`: holding it is a server that stopped answering.
struct FreezablePermissions final : platform::Permissions {
  bool screenCapturePreflight() const override { return !screenCaptureDenialReason(); }
  bool requestScreenCapture() override {
    ++requests;
    return screenCapturePreflight();
  }
  std::optional<std::string> screenCaptureDenialReason() const override {
    std::lock_guard answering(server);
    ++checks;
    return reason;
  }
  bool accessibilityTrusted() const override {
    std::lock_guard answering(server);
    ++checks;
    return trusted;
  }

  mutable std::mutex server;
  mutable std::atomic<int> checks{0};
  std::atomic<int> requests{0};
  std::optional<std::string> reason = "Log in to an X11 session.";
  bool trusted = true;
};

// Waits (on state, not on a set time) until `condition` holds; false after a generous bound.
template <class Condition>
bool eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(SampledPermissions, MainActorChecksNeverWaitForTheServer) {
  auto desktop = std::make_shared<FreezablePermissions>();
  // An hour apart: only the first sample and the ones the test asks for are taken.
  SampledPermissions sampled(desktop, 3600);
  EXPECT_FALSE(sampled.screenCapturePreflight());
  EXPECT_EQ(sampled.screenCaptureDenialReason(), "Log in to an X11 session.");
  EXPECT_TRUE(sampled.accessibilityTrusted());

  {
    std::lock_guard frozen(desktop->server);
    const int checksBefore = desktop->checks;
    // Each of these would wait forever if it asked the server.
    for (int i = 0; i < 100; ++i) {
      EXPECT_FALSE(sampled.screenCapturePreflight());
      EXPECT_TRUE(sampled.screenCaptureDenialReason().has_value());
      EXPECT_TRUE(sampled.accessibilityTrusted());
    }
    EXPECT_EQ(desktop->checks, checksBefore);
  }

  // The next sample brings the change; a request asks the desktop and samples again.
  desktop->reason.reset();
  desktop->trusted = false;
  EXPECT_FALSE(sampled.screenCapturePreflight());
  sampled.sampleNow();
  EXPECT_TRUE(sampled.screenCapturePreflight());
  EXPECT_FALSE(sampled.accessibilityTrusted());
  desktop->reason = "Capture refused.";
  EXPECT_FALSE(sampled.requestScreenCapture());
  EXPECT_EQ(desktop->requests, 1);
  EXPECT_EQ(sampled.screenCaptureDenialReason(), "Capture refused.");
}

TEST(SampledPermissions, SamplesOnlyWhileCheckedAndACheckWakesIt) {
  auto desktop = std::make_shared<FreezablePermissions>();
  // Samples back to back while checked; rests as soon as nothing checks.
  SampledPermissions sampled(desktop, 0.0, 0.0);
  ASSERT_TRUE(eventually([&] { return sampled.resting(); }));
  const int checksAtRest = desktop->checks;
  desktop->reason.reset();
  // The check that wakes it answers from the last sample; the fresh one follows.
  EXPECT_FALSE(sampled.screenCapturePreflight());
  ASSERT_TRUE(eventually([&] { return desktop->checks > checksAtRest; }));
  ASSERT_TRUE(eventually([&] { return sampled.resting(); }));
  EXPECT_TRUE(sampled.screenCapturePreflight());

  // Checked all along, it keeps sampling and never rests.
  SampledPermissions checked(desktop, 0.0, 3600);
  const int checksBefore = desktop->checks;
  ASSERT_TRUE(eventually([&] { return desktop->checks > checksBefore + 10; }));
  EXPECT_FALSE(checked.resting());
}

}  // namespace
}  // namespace corvane::wiring
