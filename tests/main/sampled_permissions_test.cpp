#include "main/sampled_permissions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

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

}  // namespace
}  // namespace corvane::wiring
