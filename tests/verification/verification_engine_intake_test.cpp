#include <gtest/gtest.h>

#include <random>

#include "verification/verification_capture_filter.h"
#include "verification_engine_harness.h"

namespace corvane::verification {
namespace {

using testing::VerificationEngineHarness;

TEST(VerificationCaptureFilterTest, KeepsOnlyThisApplicationsOverlaysThatAreShownOnTheDisplay) {
  platform::ShareableDisplay display{1, platform::Rect{{0, 0}, {100, 100}}, 100, 100};
  const platform::ShareableApplication own{testing::kOwnBundleID, "Corvane", 10};
  const platform::ShareableApplication other{"org.example.Editor", "Editor", 11};
  platform::ShareableContent content;
  content.displays = {display};
  content.applications = {own,
                          other,
                          {"org.example.Vault.helper", "Helper", 12},
                          {"org.example.Vaultish", "Vaultish", 13}};
  auto window = [](std::uint32_t id, std::optional<platform::ShareableApplication> owner,
                   platform::Rect frame, bool onScreen) {
    platform::ShareableWindow w;
    w.windowID = id;
    w.owningApplication = std::move(owner);
    w.frame = frame;
    w.isOnScreen = onScreen;
    return w;
  };
  content.windows = {window(1, own, {{10, 10}, {20, 20}}, true),
                     window(2, own, {{10, 10}, {20, 20}}, false),   // hidden
                     window(3, own, {{200, 10}, {20, 20}}, true),   // another display
                     window(4, other, {{10, 10}, {20, 20}}, true),  // not ours
                     window(5, own, {{10, 10}, {20, 20}}, true)};   // not an overlay
  capture::CaptureExclusionPolicy policy;
  policy.protectedBundleIDs = {"org.example.Vault"};
  policy.ownBundleIdentifier = testing::kOwnBundleID;
  const auto snapshot = verificationFilterSnapshot(display, content, policy, {1, 2, 3, 4});
  EXPECT_EQ(snapshot.filter.exceptingWindowIDs, (std::set<std::uint32_t>{1}));
  EXPECT_TRUE(snapshot.excludedBundleIDs.contains("org.example.Vault.helper"));
  EXPECT_FALSE(snapshot.excludedBundleIDs.contains("org.example.Vaultish"));
  EXPECT_TRUE(snapshot.excludedBundleIDs.contains(testing::kOwnBundleID));
}

TEST(VerificationCaptureFilterTest, AnalysisIntervalFollowsInputAndPointerStaysOnTheDisplay) {
  EXPECT_EQ(analysisIntervalForInput(0.3, 0.45), 0.45);
  EXPECT_EQ(analysisIntervalForInput(0.3, 0.01), 0.025);
  EXPECT_EQ(analysisIntervalForInput(1.0, 0.01), 0.05);
  EXPECT_EQ(analysisIntervalForInput(60, 0.01), 0.15);
  EXPECT_EQ(analysisIntervalForInput(std::numeric_limits<double>::infinity(), 0.0), 0.15);

  const platform::Rect display{{100, 50}, {200, 100}};
  EXPECT_EQ(normalizedPointer(platform::Point{150, 75}, display), (platform::Point{0.25, 0.25}));
  EXPECT_FALSE(normalizedPointer(platform::Point{99, 75}, display));
  EXPECT_FALSE(normalizedPointer(std::nullopt, display));
  EXPECT_FALSE(normalizedPointer(platform::Point{0, 0}, platform::Rect{}));
}

TEST(VerificationEngineIntakeTest, IdleSamplesAndPausedFramesAreCountedButNeverAnalysed) {
  VerificationEngineHarness h;
  h.desktop->captureScript().sampleStatus = platform::FrameStatus::idle;
  h.start();
  auto& engine = *h.engine;
  h.loop.advance(3.0);
  EXPECT_EQ(engine.candidatesReceived(), 0u) << "an unchanged screen is nothing to analyse";
  const auto callbacks = h.eventsNamed("protected_share_capture_callbacks");
  ASSERT_FALSE(callbacks.empty());
  EXPECT_EQ(callbacks.back().fields.at("pixels"), callbacks.back().fields.at("callbacks"));
  EXPECT_FALSE(h.recorded("protected_share_first_sample_received"));

  h.desktop->captureScript().sampleStatus = platform::FrameStatus::complete;
  engine.setPublishingPaused(true);
  const auto cursorRevision = engine.outputSurface()->cursorState().revision;
  h.desktop->moveCursor({50, 50});
  h.loop.advance(1.0);
  EXPECT_EQ(engine.candidatesReceived(), 0u);
  EXPECT_EQ(engine.outputSurface()->cursorState().revision, cursorRevision);
  EXPECT_GE(engine.receivedSampleCount.value(), 2) << "paused frames still count";
  EXPECT_TRUE(h.recorded("protected_share_first_sample_received"));
  EXPECT_TRUE(h.recorded("protected_share_live_samples_resumed"));

  engine.setPublishingPaused(false);
  h.loop.advance(0.5);
  EXPECT_GT(engine.candidatesReceived(), 0u);
  const auto cursor = engine.outputSurface()->cursorState().normalizedPosition;
  ASSERT_TRUE(cursor);
  EXPECT_NEAR(cursor->x, 50.0 / 320.0, 1e-9);
  EXPECT_NEAR(cursor->y, 50.0 / 180.0, 1e-9);
}

TEST(VerificationEngineIntakeTest, FramesEnterThePipelineAtMostThirtyTimesASecond) {
  VerificationEngineHarness h;
  // Every analysis fails at once, so no frame becomes a baseline that keeps the pipeline busy.
  h.recognizer->setRecognitionFailsFor([](const auto&) { return true; });
  h.start();
  auto& engine = *h.engine;
  auto streams = h.desktop->liveStreams();
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]->configuration().queueDepth, 8) << "the stream's queue depth";
  h.loop.advance(0.5);
  const int countedBefore = engine.receivedSampleCount.value();
  // The pipeline hands out a candidate per admitted frame here (each is turned down at once), so
  // candidates count the frames that passed the cadence.
  const auto candidatesBefore = engine.candidatesReceived();
  h.loop.advance(2.0);
  const auto admitted = engine.candidatesReceived() - candidatesBefore;
  EXPECT_GE(engine.receivedSampleCount.value() - countedBefore, 110) << "60 frames a second come";
  EXPECT_GE(admitted, 55u);
  EXPECT_LE(admitted, 61u);
}

// The engine's cadence: a frame passes only when at least 1/30 s has passed since the last one
// that passed, whatever the rhythm of the source (a frame 20 ms after the last is held back).
TEST(VerificationEngineIntakeTest, NoTwoAcceptedFramesAreCloserThanAThirtiethOfASecond) {
  VerificationEngineHarness h;
  const auto gate = h.engine->records().cadenceGate;
  const double interval = LegacySourceProtectionEngine::kFrameCadenceInterval;
  for (std::uint32_t seed = 1; seed <= 25; ++seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> gap(0.004, 0.05);
    double now = 10.0 * seed;
    ASSERT_TRUE(gate->accept(seed, now)) << "a generation's first frame passes";
    double lastAccepted = now;
    int accepted = 0;
    for (int frame = 0; frame < 300; ++frame) {
      now += gap(random);
      const bool passes = gate->accept(seed, now);
      ASSERT_EQ(passes, now - lastAccepted >= interval - 1e-9)
          << "seed " << seed << " at " << now - lastAccepted << " s after the last";
      if (passes) {
        lastAccepted = now;
        ++accepted;
      }
    }
    EXPECT_GT(accepted, 150);
  }
}

TEST(VerificationEngineIntakeTest,
     ADeliveryReportLiftsTheSampleCountAndTheFirstSampleIsLoggedOnce) {
  VerificationEngineHarness h;
  h.start();
  h.loop.advance(2.0);
  EXPECT_EQ(h.eventsNamed("protected_share_first_sample_received").size(), 1u);
  EXPECT_EQ(h.eventsNamed("protected_share_live_samples_resumed").size(), 1u);
  // Reports come at most every 0.25 s: the published count trails by at most that much.
  const int accepted = h.engine->records().deliveryState->acceptedFrameCount();
  EXPECT_LE(h.engine->receivedSampleCount.value(), accepted);
  EXPECT_GE(h.engine->receivedSampleCount.value(), accepted - 16);
  EXPECT_EQ(h.engine->metrics.value().capturedFrames, 0) << "metrics wait for a verified frame";
}

}  // namespace
}  // namespace corvane::verification
