#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "capture/protected_capture_filter.h"
#include "capture/protected_capture_operation.h"
#include "capture/protected_capture_stall_check.h"
#include "capture/protected_content_input_activity.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::capture {
namespace {

runtime::Task<void> waitInto(ProtectedCaptureOperation operation, double timeout,
                             std::shared_ptr<platform::Completion> slot,
                             std::shared_ptr<std::optional<runtime::Status>> outcome) {
  auto waiter = ProtectedCaptureOperationAwaiter::wait(
      operation, timeout, [slot](platform::Completion completion) { *slot = completion; });
  auto status = co_await std::move(waiter);
  *outcome = status;
}

struct AwaiterRun {
  std::shared_ptr<platform::Completion> slot = std::make_shared<platform::Completion>();
  std::shared_ptr<std::optional<runtime::Status>> outcome =
      std::make_shared<std::optional<runtime::Status>>();
  runtime::TaskHandle<void> handle;
  AwaiterRun(ProtectedCaptureOperation operation, double timeout)
      : handle(runtime::spawn(waitInto(operation, timeout, slot, outcome))) {}
};

TEST(ProtectedCaptureOperationAwaiterTest, ReturnsTheCompletionWithinTheTimeOut) {
  runtime::VirtualRunLoop loop;
  AwaiterRun run(ProtectedCaptureOperation::start, 5.0);
  loop.advance(1.0);
  ASSERT_TRUE(*run.slot);
  (*run.slot)(runtime::Status::failure("No display"));
  loop.runUntilIdle();
  ASSERT_TRUE(run.outcome->has_value());
  EXPECT_EQ(run.outcome->value().message(), "No display");
}

TEST(ProtectedCaptureOperationAwaiterTest, TimesOutWithItsSentenceAndIgnoresALateCompletion) {
  runtime::VirtualRunLoop loop;
  AwaiterRun start(ProtectedCaptureOperation::start, 5.0);
  AwaiterRun stop(ProtectedCaptureOperation::stop, 1.5);
  loop.advance(1.49);
  EXPECT_FALSE(stop.outcome->has_value());
  loop.advance(0.02);
  ASSERT_TRUE(stop.outcome->has_value());
  EXPECT_EQ(stop.outcome->value().message(), "Screen capture stop timed out");
  loop.advance(3.5);
  ASSERT_TRUE(start.outcome->has_value());
  EXPECT_EQ(start.outcome->value().message(), "Screen capture start timed out");

  (*start.slot)(runtime::Status::success());
  loop.runUntilIdle();
  EXPECT_FALSE(start.outcome->value().ok()) << "exactly one outcome";
  EXPECT_TRUE(start.handle.isDone());
}

TEST(ProtectedCaptureOperationAwaiterTest, ASynchronousCompletionIsDeliveredOnce) {
  runtime::VirtualRunLoop loop;
  auto outcome = std::make_shared<std::optional<runtime::Status>>();
  auto run = [](std::shared_ptr<std::optional<runtime::Status>> out) -> runtime::Task<void> {
    auto waiter = ProtectedCaptureOperationAwaiter::wait(
        ProtectedCaptureOperation::stop, 1.5, [](platform::Completion completion) {
          completion(runtime::Status::success());
          completion(runtime::Status::failure("second"));
        });
    *out = co_await std::move(waiter);
  };
  auto handle = runtime::spawn(run(outcome));
  loop.runUntilIdle();
  ASSERT_TRUE(outcome->has_value());
  EXPECT_TRUE(outcome->value().ok());
}

class FixedIdleness final : public platform::InputIdleness {
 public:
  explicit FixedIdleness(double seconds) : seconds_(seconds) {}
  double secondsSinceLastInput() const override { return seconds_; }

 private:
  double seconds_;
};

TEST(ProtectedContentInputActivityTest, ReadsTheGivenIdlenessOrReportsNoInput) {
  EXPECT_TRUE(std::isinf(ProtectedContentInputActivity::secondsSinceLastEvent(nullptr)));
  const FixedIdleness idle(2.5);
  EXPECT_EQ(ProtectedContentInputActivity::secondsSinceLastEvent(&idle), 2.5);
  const FixedIdleness unknown(std::nan(""));
  EXPECT_TRUE(std::isinf(ProtectedContentInputActivity::secondsSinceLastEvent(&unknown)));
}

TEST(CaptureFilterTest, ExcludesProtectedAppsTheirHelpersAndCorvaneOnly) {
  const std::set<std::string> protectedIDs{"org.example.Vault"};
  EXPECT_TRUE(shouldExcludeCaptureApplication("org.example.Vault", "com.corvane", protectedIDs));
  EXPECT_TRUE(
      shouldExcludeCaptureApplication("org.example.Vault.helper", "com.corvane", protectedIDs));
  EXPECT_FALSE(
      shouldExcludeCaptureApplication("org.example.VaultViewer", "com.corvane", protectedIDs));
  EXPECT_FALSE(shouldExcludeCaptureApplication("org.example", "com.corvane", protectedIDs));
  EXPECT_TRUE(shouldExcludeCaptureApplication("com.corvane", "com.corvane", protectedIDs));
  EXPECT_FALSE(shouldExcludeCaptureApplication("", "", protectedIDs));
}

TEST(CaptureFilterTest, AStreamFilterMatchesHelpersAndWindowClassesWithoutRegardToCase) {
  platform::ContentFilter filter;
  filter.excludedApplications = {{"xscreensaver", "", 0}, {"org.example.Vault", "", 0}};
  // An id taken from WM_CLASS: the class or the instance, in any case.
  EXPECT_TRUE(filter.excludesApplication("XScreenSaver", 0, {"saver", "XScreenSaver"}));
  EXPECT_TRUE(filter.excludesApplication("Saver", 0, {"XSCREENSAVER", "Saver"}));
  EXPECT_FALSE(filter.excludesApplication("XScreenSaver", 0)) << "other ids compare exactly";
  // Helpers, also those that were not running when the filter was made.
  EXPECT_TRUE(filter.excludesApplication("org.example.Vault.helper", 0));
  EXPECT_TRUE(filter.excludesApplication("Org.Example.Vault.Agent", 0,
                                         {"org.example.vault.agent", "Org.Example.Vault.Agent"}));
  EXPECT_FALSE(
      filter.excludesApplication("org.example.VaultViewer", 0, {"org.example.vaultviewer"}));
  EXPECT_FALSE(filter.excludesApplication("org.example.Vault.", 0));
  EXPECT_FALSE(filter.excludesApplication("Notes", 0, {"notes", "Notes"}));
}

TEST(CaptureFilterTest, BuildsTheFilterFromTheRunningApplications) {
  platform::ShareableContent content;
  content.displays = {{7, {{0, 0}, {160, 90}}, 160, 90}};
  content.applications = {{"org.example.Editor", "Editor", 11},
                          {"org.example.Vault.helper", "Vault Helper", 12},
                          {"com.corvane", "Corvane", 13},
                          {"org.example.Notifier", "Notifier", 14}};
  content.windows = {{501, std::nullopt, "Desktop", {{0, 0}, {160, 90}}, true, true, -1}};
  CaptureExclusionPolicy policy;
  policy.protectedBundleIDs = {"org.example.Vault"};
  policy.alwaysExcludedBundleIDs = {"org.example.Notifier"};
  policy.ownBundleIdentifier = "com.corvane";
  policy.ownProcessIdentifier = 13;
  policy.hideDesktopIcons = true;

  const auto snapshot = buildCaptureFilter(content.displays[0], content, policy);
  EXPECT_EQ(snapshot.filter.displayID, 7u);
  EXPECT_TRUE(snapshot.filter.excludeDesktopWindows);
  EXPECT_EQ(snapshot.filter.excludedWindowIDs, (std::set<std::uint32_t>{501}));
  EXPECT_EQ(
      snapshot.applicationIdentities,
      (std::set<CaptureApplicationIdentity>{
          {"org.example.Vault.helper", 12}, {"com.corvane", 13}, {"org.example.Notifier", 14}}));
  EXPECT_FALSE(snapshot.filter.excludesApplication("org.example.Editor", 11));
  EXPECT_TRUE(snapshot.filter.excludesApplication("org.example.Vault", 99))
      << "a protected app that starts later is left out by its id";

  policy.hideDesktopIcons = false;
  const auto withIcons = buildCaptureFilter(content.displays[0], content, policy);
  EXPECT_TRUE(withIcons.filter.excludedWindowIDs.empty());
  EXPECT_FALSE(withIcons.leavesOutTheSameAs(snapshot));
}

TEST(CaptureFilterTest, ChoosesTheDisplayAndScalesTheOutputDownOnly) {
  platform::ShareableContent content;
  content.displays = {{1, {}, 100, 100}, {2, {}, 100, 100}, {3, {}, 100, 100}};
  EXPECT_EQ(chooseCaptureDisplay(content, 3, 2, 1)->displayID, 3u);
  EXPECT_EQ(chooseCaptureDisplay(content, 9, 2, 1)->displayID, 2u);
  EXPECT_EQ(chooseCaptureDisplay(content, std::nullopt, std::nullopt, 1)->displayID, 1u);
  EXPECT_EQ(chooseCaptureDisplay(content, std::nullopt, std::nullopt, 8)->displayID, 1u);
  EXPECT_FALSE(chooseCaptureDisplay({}, 1, 1, 1));

  EXPECT_EQ(outputDimensions(5120, 2880, 4096), std::make_pair(4096, 2304));
  EXPECT_EQ(outputDimensions(1280, 800, 4096), std::make_pair(1280, 800));
  EXPECT_EQ(outputDimensions(0, 800, 4096), std::make_pair(1, 1));
}

}  // namespace
}  // namespace corvane::capture

namespace corvane::capture {
namespace {

TEST(ProtectedCaptureStallCheckTest, OnlyInputLeftUnansweredByAQuietCaptureIsAStall) {
  const double inf = std::numeric_limits<double>::infinity();
  ProtectedCaptureStallCheck check;
  // Quiet for a minute with nobody at the keyboard: a static screen, not a stall.
  EXPECT_FALSE(check.hasStalled({100, 40, 40, inf}));
  EXPECT_FALSE(check.hasStalled({100, 40, 40, 80}));  // input before the last activity
  // Input 1 s ago, after the last activity: unanswered, but not yet for long enough.
  EXPECT_FALSE(check.hasStalled({100, 40, std::nullopt, 1}));
  EXPECT_FALSE(check.hasStalled({101, 40, std::nullopt, 0.5}));
  EXPECT_TRUE(check.hasStalled({102, 40, std::nullopt, 0.2})) << "3 s since the first input";
  // A sample answers it and starts the count again.
  EXPECT_FALSE(check.hasStalled({103, 102.5, std::nullopt, 0.1}));
  EXPECT_FALSE(check.hasStalled({113, 102.5, std::nullopt, 0.1}));
  EXPECT_FALSE(check.hasStalled({115, 102.5, std::nullopt, 0.1}));
  EXPECT_TRUE(check.hasStalled({116, 102.5, std::nullopt, 0.1}));
}

}  // namespace
}  // namespace corvane::capture
