#include <gtest/gtest.h>

#include "capture/protected_capture_operation.h"
#include "verification_engine_harness.h"

namespace corvane::verification {
namespace {

using model::ProtectedSharePhase;
using testing::VerificationEngineHarness;

constexpr CaptureFilterRefreshResult kNotApplied{false, false};
constexpr CaptureFilterRefreshResult kHeld{true, false};
constexpr CaptureFilterRefreshResult kClean{true, true};

class VerificationFilterRefreshTest : public ::testing::Test {
 protected:
  VerificationFilterRefreshTest() { h.start(); }

  // A helper of the protected application starts: the filter must change.
  std::int32_t launchVaultHelper() {
    const auto helper =
        h.desktop->launchApplication({"org.example.Vault.helper", "Helper"}).value();
    (void)h.desktop->addWindow(helper, {platform::Rect{{0, 100}, {50, 50}}});
    return helper;
  }

  VerificationEngineHarness h;
};

TEST_F(VerificationFilterRefreshTest, AChangedFilterReplacesTheStreamAndOwesTwoCleanCaptures) {
  // Frames still come and are counted, but none is analysed: only the refreshes count holds.
  h.engine->setPublishingPaused(true);
  const auto generation = h.engine->captureGeneration();
  const auto helper = launchVaultHelper();
  EXPECT_EQ(h.refresh(capture::CaptureApplicationIdentity{"org.example.Other", 1}), kNotApplied);
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Waiting for the new protected app to enter the capture filter");

  EXPECT_EQ(h.refresh(capture::CaptureApplicationIdentity{"org.example.Vault.helper", helper}),
            kHeld);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 2);
  EXPECT_EQ(h.runningStreams(), 1);
  EXPECT_TRUE(h.desktop->liveStreams().back()->filterInForce().excludesApplication(
      "org.example.Vault.helper", helper));
  EXPECT_GT(h.engine->captureGeneration(), generation);
  EXPECT_TRUE(h.engine->records().deliveryState->configuration().isAcceptingFrames);
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Updated protected app capture filter; holding current frame");
  const auto replaced = h.eventsNamed("protected_share_stream_replaced_for_filter");
  ASSERT_EQ(replaced.size(), 1u);
  EXPECT_EQ(replaced[0].fields.at("filterChanged"), "true");
  EXPECT_EQ(replaced[0].fields.at("displayChanged"), "false");

  EXPECT_EQ(h.engine->cleanFramesRequiredBeforePublish(), 2);
  EXPECT_EQ(h.refresh(), kHeld);
  EXPECT_EQ(h.engine->statusMessage.value(), "Confirming clean capture before first frame");
  EXPECT_EQ(h.refresh(), kHeld);
  EXPECT_EQ(h.engine->cleanFramesRequiredBeforePublish(), 0);
  EXPECT_EQ(h.refresh(), kClean);
  EXPECT_EQ(h.engine->metrics.value().heldFrames, 3);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 2);
  h.loop.advance(1.0);
  EXPECT_GT(h.engine->receivedSampleCount.value(), 0) << "the new stream's frames come in";
}

TEST_F(VerificationFilterRefreshTest, ANewResolutionOfTheSameDisplayReplacesTheStream) {
  (void)h.desktop->updateDisplay(
      platform::sim::SimDesktop::makeDisplay(1, platform::Rect{{0, 0}, {640, 360}}, 1, true));
  h.loop.advance(0.1);
  EXPECT_EQ(h.refresh(), kHeld);
  const auto replaced = h.eventsNamed("protected_share_stream_replaced_for_filter");
  ASSERT_EQ(replaced.size(), 1u);
  EXPECT_EQ(replaced[0].fields.at("displayChanged"), "true");
  EXPECT_EQ(replaced[0].fields.at("filterChanged"), "false");
  EXPECT_EQ(h.engine->metrics.value().outputWidth, 640);
  EXPECT_EQ(h.engine->activeDisplayFrame().width(), 640);
}

TEST_F(VerificationFilterRefreshTest, WithoutItsMaskOverlaysTheOutputHolds) {
  LegacySourceProtectionConfiguration configuration;
  configuration.protectedAppBundleIDs = {testing::kVaultID};
  h.engine->configure(configuration);
  EXPECT_EQ(h.refresh(), kNotApplied);
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Source mask surface is unavailable; holding the current protected output");
  EXPECT_EQ(h.engine->metrics.value().heldFrames, 1);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 1);
}

TEST_F(VerificationFilterRefreshTest, AFailedOrTimedOutReplacementFailsTheEngineWithNoStreamLeft) {
  launchVaultHelper();
  h.desktop->captureScript().start.hangs = true;
  EXPECT_EQ(h.refresh(), kNotApplied);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Protected capture filter could not be applied. Stop Protected Share and try again.");
  const auto failed = h.eventsNamed("protected_share_stream_replacement_failed");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].fields.at("error"),
            capture::timedOutMessage(capture::ProtectedCaptureOperation::start));
  h.loop.advance(2.0);
  EXPECT_EQ(h.runningStreams(), 0);

  h.desktop->captureScript().start.hangs = false;
  h.start();
  h.desktop->captureScript().start.failure = "The display went to sleep";
  (void)h.desktop->launchApplication({"org.example.Vault.agent", "Agent"});
  EXPECT_EQ(h.refresh(), kNotApplied);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.eventsNamed("protected_share_stream_replacement_failed").back().fields.at("error"),
            "The display went to sleep");
  h.loop.advance(2.0);
  EXPECT_EQ(h.runningStreams(), 0);
}

TEST_F(VerificationFilterRefreshTest, AStopDuringTheReplacementUndoesItAndFailsNothing) {
  launchVaultHelper();
  h.desktop->captureScript().start = platform::sim::SimOperationScript::answeringAfter(1.0);
  auto refresh = runtime::spawn(h.engine->refreshCaptureFilter());
  h.loop.advance(0.3);
  h.stop();
  for (int i = 0; i < 300 && !refresh.isDone(); ++i) h.loop.advance(0.01);
  ASSERT_TRUE(refresh.isDone());
  EXPECT_EQ(refresh.result(), kNotApplied);
  h.loop.advance(2.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::idle);
  EXPECT_FALSE(h.engine->lastError.value());
  EXPECT_EQ(h.runningStreams(), 0);
  EXPECT_FALSE(h.recorded("protected_share_stream_replacement_failed"));
  EXPECT_FALSE(h.engine->isRefreshingCaptureFilter());
}

TEST_F(VerificationFilterRefreshTest, TwoRefreshesAtOnceMakeOneReplacement) {
  launchVaultHelper();
  auto first = runtime::spawn(h.engine->refreshCaptureFilter());
  auto second = runtime::spawn(h.engine->refreshCaptureFilter());
  EXPECT_TRUE(h.engine->isRefreshingCaptureFilter());
  for (int i = 0; i < 300 && !(first.isDone() && second.isDone()); ++i) h.loop.advance(0.01);
  ASSERT_TRUE(first.isDone() && second.isDone());
  EXPECT_EQ(first.result(), kHeld);
  EXPECT_EQ(second.result(), kHeld);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 2);
  EXPECT_EQ(h.eventsNamed("protected_share_stream_replaced_for_filter").size(), 1u);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::analyzing);
  EXPECT_EQ(h.runningStreams(), 1);
  EXPECT_FALSE(h.engine->isRefreshingCaptureFilter());
}

}  // namespace
}  // namespace corvane::verification
