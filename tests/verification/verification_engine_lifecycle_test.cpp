#include <gtest/gtest.h>

#include "verification_engine_harness.h"

namespace corvane::verification {
namespace {

using model::ProtectedSharePhase;
using testing::VerificationEngineHarness;

capture::ProtectedCapturedFrame frameAt(std::uint64_t sequence) {
  auto pixels = std::make_shared<platform::PixelBuffer>(8, 8);
  return capture::ProtectedCapturedFrame::make(pixels, static_cast<double>(sequence) / 1e6, 0);
}

TEST(VerificationEngineStateTest, ANewEngineIsIdleAndItsGenerationsDropLateWork) {
  VerificationEngineHarness h;
  auto& engine = *h.engine;
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::idle);
  EXPECT_EQ(engine.statusMessage.value(), "Protected Share is idle");
  EXPECT_FALSE(engine.renderedFrame.value());
  EXPECT_EQ(engine.metrics.value(), model::ProtectedShareMetrics::empty());
  EXPECT_TRUE(engine.framePipeline());
  EXPECT_FALSE(engine.records().deliveryState->configuration().isAcceptingFrames);

  engine.advanceCaptureGeneration(3);
  engine.advanceCaptureGeneration(2);
  EXPECT_EQ(engine.cleanFramesRequiredBeforePublish(), 3) << "never lowered";
  const auto previous = engine.captureGeneration();
  engine.advanceCaptureGeneration(1);
  EXPECT_EQ(engine.records().deliveryState->configuration().generation, previous + 1);
  EXPECT_FALSE(engine.records().mailbox->offer(frameAt(10), previous));
  EXPECT_FALSE(engine.hasPendingBaselineApproval());

  // An analysis of another generation is left alone; the phase still follows the output.
  engine.finishAnalysisIfCurrent(previous);
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::analyzing);
}

TEST(VerificationEngineStateTest, StartCapturesUnderTheFilterAndPublishesNothingUnverified) {
  VerificationEngineHarness h;
  h.start();
  auto& engine = *h.engine;
  ASSERT_EQ(engine.phase.value(), ProtectedSharePhase::analyzing) << engine.statusMessage.value();
  ASSERT_EQ(h.desktop->liveStreams().size(), 1u);
  const auto filter = h.desktop->liveStreams()[0]->filterInForce();
  EXPECT_TRUE(filter.excludesApplication(testing::kVaultID, h.vault));
  EXPECT_TRUE(filter.excludesApplication(testing::kSystemSurfaceID, 0));
  EXPECT_TRUE(filter.excludesApplication(testing::kOwnBundleID, h.ownProcess));
  EXPECT_EQ(filter.exceptingWindowIDs, std::set<std::uint32_t>{h.overlayWindow});
  EXPECT_EQ(engine.activeCaptureOverlayWindowIDs(), std::set<std::uint32_t>{h.overlayWindow});
  EXPECT_EQ(engine.activeDisplayID(), 1u);
  EXPECT_EQ(engine.metrics.value().outputWidth, 320);
  const auto configuration = engine.records().deliveryState->configuration();
  EXPECT_TRUE(configuration.isAcceptingFrames);
  EXPECT_EQ(configuration.minimumAnalysisInterval, 0.45);
  EXPECT_TRUE(h.recorded("protected_share_stream_started"));

  h.loop.advance(1.0);
  EXPECT_GT(engine.receivedSampleCount.value(), 0);
  EXPECT_GT(engine.candidatesReceived(), 0u) << "frames reach the pipeline and its analysis";
  EXPECT_FALSE(engine.outputSurface()->snapshot()) << "no frame out before one is verified";
  EXPECT_FALSE(engine.renderedFrame.value());

  const auto generation = engine.captureGeneration();
  h.stop();
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::idle);
  EXPECT_EQ(engine.statusMessage.value(), "Protected Share is idle");
  EXPECT_EQ(h.runningStreams(), 0);
  EXPECT_GT(engine.captureGeneration(), generation);
  EXPECT_FALSE(engine.records().deliveryState->configuration().isAcceptingFrames);
  EXPECT_TRUE(h.recorded("protected_share_stopped"));
}

TEST(VerificationEngineStateTest, AStreamThatStopsWithAnErrorFailsTheEngineOnlyWhenItIsCurrent) {
  VerificationEngineHarness h;
  h.start();
  auto& engine = *h.engine;
  const auto oldStream = engine.records().deliveryState->configuration().streamIdentity;
  h.stop();
  h.start();
  ASSERT_EQ(engine.phase.value(), ProtectedSharePhase::analyzing);
  engine.failStreamAfterDelegateError("old stream went away", oldStream);
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::analyzing);
  EXPECT_FALSE(engine.lastError.value());
  EXPECT_TRUE(h.recorded("protected_share_stale_stream_error_ignored"));

  const auto generation = engine.captureGeneration();
  const auto stopsBefore = h.desktop->captureCounters().stopRequests;
  h.desktop->stopStreamsWithError("The display was disconnected");
  h.loop.advance(0.1);
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(engine.lastError.value(), "The display was disconnected");
  EXPECT_EQ(engine.statusMessage.value(), "The display was disconnected");
  EXPECT_GT(engine.captureGeneration(), generation);
  EXPECT_FALSE(engine.records().deliveryState->configuration().isAcceptingFrames);
  EXPECT_EQ(h.desktop->captureCounters().stopRequests, stopsBefore) << "not asked to stop again";
  ASSERT_EQ(h.eventsNamed("protected_share_stream_stopped_with_error").size(), 1u);
  EXPECT_EQ(h.eventsNamed("protected_share_stream_stopped_with_error")[0].fields.at("error"),
            "The display was disconnected");

  // A failed engine starts again.
  h.start();
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::analyzing);
  EXPECT_FALSE(engine.lastError.value());
}

TEST(VerificationEngineStateTest, FailingTheActiveStreamStopsItWithinItsTimeLimit) {
  VerificationEngineHarness h;
  auto& engine = *h.engine;
  // Without a stream the failure finishes at once.
  auto idleFailure = runtime::spawn(engine.failActiveStream("Nothing to stop"));
  h.loop.runUntilIdle();
  EXPECT_TRUE(idleFailure.isDone());
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::failed);

  h.start();
  h.desktop->captureScript().stop.hangs = true;
  auto failure = runtime::spawn(engine.failActiveStream("Capture went wrong"));
  h.loop.advance(1.4);
  EXPECT_FALSE(failure.isDone()) << "waits for the stop";
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(engine.lastError.value(), "Capture went wrong");
  EXPECT_FALSE(engine.hasStream());
  h.loop.advance(0.2);
  EXPECT_TRUE(failure.isDone()) << "a stop that hangs is given up after 1.5 s";
}

TEST(VerificationEngineStateTest,
     ASourceContextTransitionHoldsAndItsEndStartsANewCaptureGeneration) {
  VerificationEngineHarness h;
  h.start();
  auto& engine = *h.engine;
  h.loop.advance(0.5);
  const auto context = engine.sourceContextGeneration();
  const auto generation = engine.captureGeneration();
  engine.beginSourceContextTransition("Switching desktops");
  EXPECT_EQ(engine.sourceContextGeneration(), context + 1);
  EXPECT_TRUE(engine.records().deliveryState->configuration().isPaused);
  EXPECT_EQ(engine.sourceContextRecoveryMessage.value(), "Switching desktops");

  const auto samples = h.desktop->captureCounters().samplesComposed;
  h.loop.advance(0.3);  // the queued candidate of the old context goes by
  const auto candidates = engine.candidatesReceived();
  h.loop.advance(1.0);
  EXPECT_GT(h.desktop->captureCounters().samplesComposed, samples) << "frames still come";
  EXPECT_EQ(engine.candidatesReceived(), candidates) << "and stop at the hold";

  engine.endSourceContextTransition();
  EXPECT_GT(engine.captureGeneration(), generation);
  EXPECT_FALSE(engine.records().deliveryState->configuration().isPaused);
  EXPECT_EQ(engine.records().deliveryState->configuration().sourceContextGeneration, context + 1);
  h.loop.advance(1.0);
  EXPECT_GT(engine.candidatesReceived(), candidates)
      << "the pipeline takes frames of the new context instead of dropping them for good";
}

TEST(VerificationEngineStateTest, AStartWithoutCapturePermissionWaitsForIt) {
  VerificationEngineHarness h;
  h.desktop->setScreenCaptureAllowed(false);
  h.start();
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::permissionRequired);
  EXPECT_EQ(h.engine->lastError.value(), platform::sim::SimDesktop::kDefaultDenialReason);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 0);
}

}  // namespace
}  // namespace corvane::verification
