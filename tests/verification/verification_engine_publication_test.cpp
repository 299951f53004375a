#include <gtest/gtest.h>

#include "frame_images.h"
#include "verification/protected_gpu_compositor.h"
#include "verification_engine_harness.h"
#include "verification_engine_test_access.h"

namespace corvane::verification {
namespace {

using Access = LegacySourceProtectionEngineTestAccess;
using model::ProtectedFrameAnalysisResult;
using model::ProtectedRedaction;
using model::ProtectedRedactionScope;
using model::ProtectedSharePhase;
using platform::Rect;

ProtectedRedaction box(Rect frame,
                       ProtectedRedactionScope scope = ProtectedRedactionScope::sensitiveText) {
  ProtectedRedaction redaction;
  redaction.normalizedFrame = frame;
  redaction.scope = scope;
  redaction.confidence = 0.9;
  return redaction;
}
const Rect kSecretLine{{0.1, 0.2}, {0.3, 0.05}};

// The engine's publication steps on a real pipeline and output surface, with the analysis
// result handed over by the test: candidates come from the pipeline and are admitted the way
// admission does it.
class VerifiedPublicationTest : public ::testing::Test {
 protected:
  VerifiedPublicationTest() {
    engine.phase.set(ProtectedSharePhase::analyzing);
    engine.advanceCaptureGeneration(0);
    pipeline = ProtectedFramePipeline::make(
        engine.outputSurface(), nullptr, [] {},
        [this](SharedAnalysisCandidate candidate) { candidates.push_back(std::move(candidate)); },
        FrameChangeDetector::make(64, std::make_shared<runtime::WorkerThreads>(1)));
    pipeline->reset(engine.captureGeneration(), engine.sourceContextGeneration());
    Access::usePipeline(engine, pipeline);
    h.loop.runUntilIdle();
  }

  // Feeds a frame to the pipeline; returns the candidate it handed out, admitted to analysis.
  SharedAnalysisCandidate candidateFor(const platform::SharedPixelBuffer& pixels) {
    sequence += 1000;
    auto frame = capture::ProtectedCapturedFrame::make(pixels, sequence / 1e6, sequence);
    const auto before = candidates.size();
    pipeline->ingest(frame, engine.captureGeneration(), engine.sourceContextGeneration(), 0, false,
                     std::nullopt);
    h.loop.runUntilIdle();
    if (candidates.size() == before) return nullptr;
    Access::admit(engine, *candidates.back());
    return candidates.back();
  }
  // `pixels` with a band of rows changed.
  static platform::SharedPixelBuffer changed(const platform::SharedPixelBuffer& pixels, int row) {
    auto copy = testing::copyOf(*pixels);
    for (int y = row; y < row + 20; ++y)
      for (int x = 0; x < 200; ++x) copy->setPixel(x, y, 0xffe0e0e0);
    return copy;
  }
  // Publishes the analysis result of `candidate`, admitted under the expected snapshot (or, when
  // given, under an earlier revision of it).
  void publish(const SharedAnalysisCandidate& candidate, std::vector<ProtectedRedaction> redactions,
               std::vector<ProtectedRedaction> sourceMasks = {}, bool masksInCapture = false,
               std::optional<std::uint64_t> admittedRevision = std::nullopt) {
    ProtectedFrameAnalysisResult result;
    result.analysisSucceeded = true;
    result.redactions = std::move(redactions);
    result.durationMS = 120;
    result.sourceMasksVerifiedInCapture = masksInCapture;
    const bool review =
        !engine.renderedFrame.value() || (candidate->fullFrameAuditRequestID &&
                                          candidate->fullFrameAuditRequestID == refreshRequestID);
    const auto& snapshot = Access::expectedSnapshot(engine);
    Access::publish(engine, candidate, result, std::move(sourceMasks), review,
                    admittedRevision.value_or(snapshot.revision), snapshot.redactions);
    h.loop.runUntilIdle();
  }
  // A first frame, approved and published.
  void publishBaseline() {
    publish(candidateFor(first), {});
    ASSERT_TRUE(engine.approvePendingBaseline());
    h.loop.runUntilIdle();
    ASSERT_TRUE(engine.renderedFrame.value());
  }
  int held() const { return engine.metrics.value().heldFrames; }

  testing::VerificationEngineHarness h;
  LegacySourceProtectionEngine& engine = *h.engine;
  std::shared_ptr<ProtectedFramePipeline> pipeline;
  std::vector<SharedAnalysisCandidate> candidates;
  platform::SharedPixelBuffer first = testing::texturedFrame(640, 384);
  std::uint64_t sequence = 0;
  std::optional<std::uint64_t> refreshRequestID;
};

// A replaced stream, a new desktop and a failure leave the last verified frame on the output,
// and `renderedFrame` says so; only a run's start or stop clears it.
TEST_F(VerifiedPublicationTest, ANewCaptureGenerationKeepsTheLastVerifiedFrameOnTheOutput) {
  publishBaseline();
  const auto shown = engine.outputSurface()->snapshot();
  ASSERT_TRUE(shown);
  for (int round = 0; round < 2; ++round) {
    if (round == 0) {
      engine.continueCaptureInNewGeneration(2);
    } else {
      Access::tearDownCapture(engine);
    }
    h.loop.runUntilIdle();
    const auto kept = engine.outputSurface()->snapshot();
    ASSERT_TRUE(kept) << "round " << round;
    EXPECT_EQ(kept->image, shown->image);
    EXPECT_TRUE(engine.renderedFrame.value());
  }
  engine.advanceCaptureGeneration(0);
  h.loop.runUntilIdle();
  EXPECT_FALSE(engine.outputSurface()->snapshot()) << "a run's start or stop clears it";
}

TEST_F(VerifiedPublicationTest, TheFirstFrameWaitsForApprovalThenChangesPublishOnceClean) {
  publish(candidateFor(first), {});
  EXPECT_EQ(engine.statusMessage.value(), "Review and approve the initial protected frame");
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::analyzing);
  EXPECT_EQ(engine.pendingBaselineRedactionCount.value(), 0);
  EXPECT_FALSE(engine.outputSurface()->snapshot()) << "nothing reaches the output unapproved";
  EXPECT_TRUE(h.recorded("protected_share_baseline_ready"));

  ASSERT_TRUE(engine.approvePendingBaseline());
  EXPECT_FALSE(engine.approvePendingBaseline()) << "the review is closed";
  h.loop.runUntilIdle();
  EXPECT_EQ(engine.statusMessage.value(), "Verified frame published");
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::sharing);
  EXPECT_TRUE(engine.outputSurface()->snapshot());
  EXPECT_TRUE(h.recorded("protected_share_first_frame_published"));
  EXPECT_TRUE(h.recorded("protected_share_broad_frame_published")) << "a whole first frame";

  const auto change = candidateFor(changed(first, 40));
  publish(change, {box(kSecretLine)});
  EXPECT_EQ(engine.statusMessage.value(), "Verified frame published with 1 redactions");
  EXPECT_EQ(engine.renderedFrame.value()->sequence, change->sourceFrame.sequence);
  EXPECT_EQ(engine.metrics.value().lastChangedAreaPercent,
            std::lround(change->changedAreaFraction * 100));
  EXPECT_EQ(h.eventsNamed("protected_share_second_frame_published").size(), 1u);

  // A periodic audit publishes nothing; publishing paused changes only the status.
  auto audit = std::make_shared<ProtectedAnalysisCandidate>(*change);
  audit->isPeriodicAudit = true;
  Access::admit(engine, *audit);
  publish(audit, {});
  EXPECT_EQ(engine.statusMessage.value(), "Verified frame audit complete");
  EXPECT_EQ(engine.metrics.value().verifiedFrames, 2);
  engine.setPublishingPaused(true);
  Access::admit(engine, *audit);
  publish(audit, {box(kSecretLine)});
  EXPECT_EQ(engine.statusMessage.value(), "Protected Share paused on the last verified frame");
  EXPECT_EQ(engine.renderedFrame.value()->sequence, change->sourceFrame.sequence);
  EXPECT_EQ(held(), 0);
}

TEST_F(VerifiedPublicationTest, ARefreshedBaselineIsReviewedAndReplacesEveryEarlierCover) {
  publishBaseline();
  publish(candidateFor(changed(first, 40)), {box(kSecretLine)});
  const auto shown = engine.renderedFrame.value();
  ASSERT_EQ(shown->redactions.size(), 1u);
  const Rect elsewhere{{0.6, 0.8}, {0.2, 0.05}};
  for (std::uint64_t request = 1; request <= 2; ++request) {
    engine.requestBaselineRefresh();
    refreshRequestID = request;
    const auto audit = candidateFor(changed(first, 100 + 100 * static_cast<int>(request)));
    ASSERT_EQ(audit->fullFrameAuditRequestID, request);
    publish(audit, {box(elsewhere)});
    EXPECT_EQ(engine.statusMessage.value(), "Review and approve the updated protected frame");
    EXPECT_TRUE(engine.pendingBaselineIsRefresh.value());
    EXPECT_TRUE(engine.isHoldingPreviousVerifiedFrame.value());
    if (request == 1) {  // declined: the review closes and the output stays as it was
      engine.rejectPendingBaseline();
      EXPECT_FALSE(engine.hasPendingBaselineApproval());
      EXPECT_EQ(engine.renderedFrame.value(), shown);
      EXPECT_FALSE(engine.isAnalyzingFrame.value());
    }
  }
  ASSERT_TRUE(engine.approvePendingBaseline());
  h.loop.runUntilIdle();
  ASSERT_EQ(engine.renderedFrame.value()->redactions.size(), 1u);
  EXPECT_EQ(engine.renderedFrame.value()->redactions[0].normalizedFrame, elsewhere);
}

// A refresh the user asked for, or its review still open, outlives a change of desktop: the
// new capture's first full-frame audit is the review.
TEST_F(VerifiedPublicationTest, ARefreshOutlivesADesktopChangeAndIsReviewedAfterIt) {
  publishBaseline();
  for (int round = 0; round < 2; ++round) {
    if (round == 0) engine.requestBaselineRefresh();
    ASSERT_TRUE(round == 0 || engine.hasPendingBaselineApproval());
    engine.beginSourceContextTransition();
    engine.endSourceContextTransition();
    h.loop.runUntilIdle();
    EXPECT_FALSE(engine.hasPendingBaselineApproval());
    const auto audit = candidateFor(changed(first, 100 + 100 * round));
    ASSERT_TRUE(audit && audit->fullFrameAuditRequestID) << "round " << round;
    refreshRequestID = audit->fullFrameAuditRequestID;
    publish(audit, {});
    EXPECT_EQ(engine.statusMessage.value(), "Review and approve the updated protected frame");
  }
}

TEST_F(VerifiedPublicationTest, NewSourceMasksHoldTheOutputUntilAFrameCertifiesThem) {
  publishBaseline();
  const auto mask = box(kSecretLine, ProtectedRedactionScope::sourceOverlay);
  publish(candidateFor(changed(first, 40)), {}, {mask});
  EXPECT_EQ(engine.statusMessage.value(), "Holding changed tiles until source masks are captured");
  EXPECT_EQ(engine.sourceOverlayUpdate.value().redactions, std::vector<ProtectedRedaction>{mask});
  EXPECT_EQ(held(), 1);
  const auto requested = h.eventsNamed("protected_share_source_masks_requested");
  ASSERT_EQ(requested.size(), 1u);
  EXPECT_EQ(requested[0].fields.at("kinds"), "apiKey");
  EXPECT_EQ(requested[0].fields.at("minimumConfidence"), "0.90");

  // A second mask elsewhere: the update carries it alone, the overlay's set holds both.
  const auto second = box({{0.5, 0.6}, {0.2, 0.05}}, ProtectedRedactionScope::sourceOverlay);
  publish(candidateFor(changed(first, 120)), {}, {second});
  EXPECT_EQ(engine.sourceOverlayUpdate.value().redactions, std::vector<ProtectedRedaction>{second});
  EXPECT_EQ(engine.sourceOverlayRedactions().size(), 2u);

  // The overlay redraws while a frame is analysed: that frame may show either set. What it
  // shows lacks the second mask, so the masks do not count as drawn yet.
  const auto settling = candidateFor(changed(first, 140));
  engine.installSourceOverlaySnapshot({4, {mask}, {}});
  EXPECT_FALSE(Access::pendingSourceMaskRevision(engine));
  publish(settling, {}, {second}, true, 0);
  EXPECT_EQ(engine.statusMessage.value(), "Holding last verified frame while source masks settle");
  engine.installSourceOverlaySnapshot({5, engine.sourceOverlayRedactions(), {}});
  EXPECT_EQ(Access::pendingSourceMaskRevision(engine), 5u);

  // A frame at the new revision in which the masks were not seen does not certify them.
  publish(candidateFor(changed(first, 180)), {}, {second}, false);
  EXPECT_EQ(engine.statusMessage.value(),
            "Holding last verified frame until source masks are certified");
  EXPECT_TRUE(h.recorded("protected_share_source_mask_authorization_held"));
  EXPECT_FALSE(h.recorded("protected_share_source_masked_frame_certified"));
  const auto certified = candidateFor(changed(first, 200));
  publish(certified, {}, {second}, true);
  EXPECT_TRUE(h.recorded("protected_share_source_masked_frame_certified"));
  EXPECT_TRUE(Access::pendingSourceMasks(engine).empty());
  EXPECT_EQ(engine.renderedFrame.value()->sequence, certified->sourceFrame.sequence);
  EXPECT_EQ(engine.renderedFrame.value()->redactions.size(), 2u) << "both masks cover the output";
  h.loop.advance(LegacySourceProtectionEngine::kSourceMaskAuthorizationTimeout * 2);
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::sharing) << "certified: no time limit";
}

TEST_F(VerifiedPublicationTest, MasksNeverShownFailTheEngineAfterTheTimeLimitNotCountingPauses) {
  publishBaseline();
  publish(candidateFor(changed(first, 40)), {},
          {box(kSecretLine, ProtectedRedactionScope::sourceOverlay)});
  engine.setPublishingPaused(true);
  h.loop.advance(LegacySourceProtectionEngine::kSourceMaskAuthorizationTimeout + 5);
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::sharing) << "a paused output waits";
  engine.setPublishingPaused(false);
  h.loop.advance(LegacySourceProtectionEngine::kSourceMaskAuthorizationTimeout - 2);
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::sharing);
  h.loop.advance(3.5);
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(engine.lastError.value(),
            std::string(LegacySourceProtectionEngine::kSourceMasksNotShownMessage));
  EXPECT_TRUE(h.recorded("protected_share_source_mask_authorization_timed_out"));
}

TEST_F(VerifiedPublicationTest, AStrayFrameDuringAReviewIsTurnedDownAndTheReviewStands) {
  const auto reviewed = candidateFor(first);
  publish(reviewed, {box(kSecretLine)});
  ASSERT_TRUE(engine.hasPendingBaselineApproval());
  auto stray = std::make_shared<ProtectedAnalysisCandidate>(*reviewed);
  stray->identity += 100;
  publish(stray, {});
  EXPECT_EQ(held(), 1);
  EXPECT_TRUE(engine.hasPendingBaselineApproval());
  EXPECT_EQ(engine.statusMessage.value(), "Review and approve the initial protected frame");
  ASSERT_TRUE(engine.approvePendingBaseline());
  h.loop.runUntilIdle();
  EXPECT_EQ(engine.renderedFrame.value()->sequence, reviewed->sourceFrame.sequence);
}

TEST_F(VerifiedPublicationTest, ACommitThePipelineRefusesLeavesTheOutputAndEndsTheAnalysis) {
  // Not the pipeline's candidate in flight: its commit cannot reach the output.
  auto foreign = std::make_shared<ProtectedAnalysisCandidate>();
  foreign->sourceImage = first;
  foreign->sourceFrame.sequence = 99;
  foreign->generation = engine.captureGeneration();
  foreign->sourceContextGeneration = engine.sourceContextGeneration();
  foreign->changedAreaFraction = 1;
  Access::admit(engine, *foreign);
  publish(foreign, {box(kSecretLine)});
  ASSERT_TRUE(engine.approvePendingBaseline());
  h.loop.runUntilIdle();
  EXPECT_FALSE(engine.renderedFrame.value());
  EXPECT_EQ(engine.metrics.value().verifiedFrames, 0);
  EXPECT_EQ(held(), 1);
  EXPECT_FALSE(engine.isAnalyzingFrame.value());
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::analyzing);
  EXPECT_FALSE(h.recorded("protected_share_first_frame_published"));
  EXPECT_TRUE(h.recorded("protected_share_verified_frame_refused"));
}

}  // namespace
}  // namespace corvane::verification
