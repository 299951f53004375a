#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "frame_images.h"
#include "verification_engine_analysis_probe.h"
#include "verification_engine_harness.h"

namespace corvane::verification {
namespace {

using model::ProtectedSharePhase;
using platform::Rect;
using platform::TextRecognitionLevel;
using Probe = VerificationEngineAnalysisProbe;
using testing::VerificationEngineHarness;

constexpr std::uint32_t kPage = 0xfff4f4f2;
constexpr std::uint32_t kMaskFill = 0xff202322;

model::ProtectedRedaction sourceMask(Rect frame) {
  model::ProtectedRedaction mask;
  mask.normalizedFrame = frame;
  mask.scope = model::ProtectedRedactionScope::sourceOverlay;
  return mask;
}

// An engine running on a quiet capture: the candidates are the test's own, each of the current
// capture unless it says otherwise.
class VerificationAnalysisTest : public ::testing::Test {
 protected:
  VerificationAnalysisTest() {
    h.quietCapture();
    h.start();
  }

  std::shared_ptr<ProtectedAnalysisCandidate> candidate(std::uint32_t colour = kPage) {
    auto made = std::make_shared<ProtectedAnalysisCandidate>();
    made->identity = ++identity;
    made->sourceImage = testing::solidFrame(320, 180, colour);
    made->analysisImage = made->sourceImage;
    made->changedRects = {Rect{{0, 0}, {1, 1}}};
    made->generation = h.engine->captureGeneration();
    made->sourceContextGeneration = h.engine->sourceContextGeneration();
    return made;
  }
  // An ordinary change with a native crop of each region.
  std::shared_ptr<ProtectedAnalysisCandidate> interactiveCandidate(
      const std::vector<Rect>& regions) {
    auto made = candidate();
    made->changedRects = regions;
    for (const Rect& region : regions)
      made->nativeRegionImages.push_back({testing::solidFrame(40, 20, kPage), region});
    return made;
  }

  void analyse(SharedAnalysisCandidate offered) {
    Probe::offer(*h.engine, std::move(offered));
    h.loop.advance(0.05);
  }
  void showVerifiedFrame() { h.engine->renderedFrame.set(model::ProtectedRenderedFrame{}); }
  int held() const { return h.engine->metrics.value().heldFrames; }
  std::size_t recognitions() const { return h.recognizer->calls().size(); }

  VerificationEngineHarness h;
  std::uint64_t identity = 1000;
};

TEST_F(VerificationAnalysisTest, AdmitsOneCandidateOfTheCurrentRunAtATime) {
  auto stale = candidate();
  stale->generation -= 1;
  Probe::offer(*h.engine, stale);
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());

  Probe::offer(*h.engine, candidate());
  EXPECT_TRUE(h.engine->isAnalyzingFrame.value());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::analyzing);
  EXPECT_EQ(h.engine->statusMessage.value(), "Confirming source masks in the captured frame");
  Probe::offer(*h.engine, candidate());  // turned down while the first is analysed
  h.loop.advance(0.05);
  EXPECT_EQ(recognitions(), 1u) << "one analysis ran";
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value()) << "publication held it and ended it";
  EXPECT_EQ(held(), 1);

  showVerifiedFrame();
  Probe::offer(*h.engine, candidate());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share live; auditing changed regions");
  EXPECT_TRUE(h.engine->isHoldingPreviousVerifiedFrame.value());
}

TEST_F(VerificationAnalysisTest, PausesAndContextChangesTurnCandidatesDownAndAskAgainForARefresh) {
  Probe::awaitBaselineRefresh(*h.engine, 7);
  auto audit = candidate();
  audit->fullFrameAuditRequestID = 7;

  h.engine->setPublishingPaused(true);
  Probe::offer(*h.engine, audit);
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());
  EXPECT_EQ(h.eventsNamed("protected_share_baseline_refresh_retry").size(), 1u);
  h.engine->setPublishingPaused(false);

  // During a context change the refresh's audit is asked for again too, or it never comes.
  showVerifiedFrame();
  h.engine->beginSourceContextTransition();
  audit->sourceContextGeneration = h.engine->sourceContextGeneration();
  Probe::offer(*h.engine, audit);
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());
  EXPECT_TRUE(h.engine->isHoldingPreviousVerifiedFrame.value());
  EXPECT_EQ(h.eventsNamed("protected_share_baseline_refresh_retry").size(), 2u);
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Full-frame analysis failed; retrying while the current protected output remains "
            "visible");
  h.loop.advance(0.05);
  EXPECT_EQ(recognitions(), 0u);
}

TEST_F(VerificationAnalysisTest, TheOwnersMasksAreLookedForWhenNewOrOnceASecond) {
  const std::vector<model::ProtectedRedaction> masks{sourceMask({{0.1, 0.1}, {0.2, 0.1}}),
                                                     sourceMask({{0.5, 0.6}, {0.2, 0.1}})};
  Probe::expectMasks(*h.engine, {.revision = 4, .redactions = masks});
  analyse(candidate(kMaskFill));  // the masks show
  EXPECT_EQ(Probe::verifiedMaskRevision(*h.engine), 4u);
  EXPECT_EQ(recognitions(), 1u);

  h.loop.advance(0.4);  // verified half a second ago: a frame without them is not checked
  analyse(candidate(kPage));
  EXPECT_EQ(recognitions(), 2u);
  EXPECT_FALSE(h.recorded("protected_share_source_mask_capture_mismatch"));

  h.loop.advance(0.51);  // a second on, it is checked and held
  const int heldBefore = held();
  analyse(candidate(kPage));
  EXPECT_EQ(recognitions(), 2u) << "no text is read in a frame without its masks";
  EXPECT_EQ(held(), heldBefore + 1);
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Waiting for verified source masks before first frame");
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::analyzing);
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());
  EXPECT_FALSE(Probe::verifiedMaskRevision(*h.engine)) << "the failed revision is not vouched for";
  const auto mismatch = h.eventsNamed("protected_share_source_mask_capture_mismatch");
  ASSERT_EQ(mismatch.size(), 1u);
  EXPECT_EQ(mismatch[0].fields, (std::map<std::string, std::string>{{"revision", "4"},
                                                                    {"masks", "2"},
                                                                    {"failure", "maskBodyMismatch"},
                                                                    {"redactionIndex", "0"},
                                                                    {"column", "0"},
                                                                    {"row", "0"},
                                                                    {"matchingSamples", "0"},
                                                                    {"sampledPoints", "9"}}));

  // At once again, since nothing is vouched for; the event is not repeated.
  showVerifiedFrame();
  analyse(candidate(kPage));
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Holding last verified frame until source masks are visible");
  EXPECT_EQ(h.eventsNamed("protected_share_source_mask_capture_mismatch").size(), 1u);

  // A new revision is checked at once, whatever the time.
  analyse(candidate(kMaskFill));
  Probe::expectMasks(*h.engine, {.revision = 5, .redactions = masks});
  analyse(candidate(kPage));
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Holding last verified frame until source masks are visible");

  // Without masks nothing is checked and nothing can hold a frame.
  Probe::expectMasks(*h.engine, {.revision = 6, .redactions = {}});
  const auto read = recognitions();
  analyse(candidate(kPage));
  EXPECT_EQ(recognitions(), read + 1);
}

TEST_F(VerificationAnalysisTest, TheFirstFrameIsReadWholeAndCarefullyAndLogsItsTextPass) {
  auto first = interactiveCandidate({{{0.1, 0.1}, {0.2, 0.1}}, {{0.5, 0.5}, {0.2, 0.1}}});
  first->analysisImage = testing::solidFrame(160, 90, kPage);
  analyse(first);
  const auto calls = h.recognizer->calls();
  ASSERT_FALSE(calls.empty());
  for (const auto& call : calls) {
    EXPECT_EQ(call.level, TextRecognitionLevel::accurate);
    EXPECT_EQ(call.imageSize, (platform::Size{160, 90})) << "the analysis image, not the crops";
  }
  EXPECT_TRUE(h.recorded("protected_share_first_frame_ocr_started"));
  const auto finished = h.eventsNamed("protected_share_first_frame_ocr_finished");
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(finished[0].fields.at("redactions"), "0");
  EXPECT_TRUE(finished[0].fields.contains("durationMS"));
  EXPECT_EQ(held(), 1) << "publication took it";

  // Later frames are not first frames.
  showVerifiedFrame();
  analyse(interactiveCandidate({{{0.1, 0.1}, {0.2, 0.1}}}));
  EXPECT_EQ(h.eventsNamed("protected_share_first_frame_ocr_started").size(), 1u);
}

TEST_F(VerificationAnalysisTest, AChangeIsReadQuicklyCropByCropAndACancellationSkipsTheRest) {
  showVerifiedFrame();
  const std::vector<Rect> regions{
      {{0.0, 0.1}, {0.3, 0.1}}, {{0.4, 0.4}, {0.3, 0.1}}, {{0.7, 0.8}, {0.3, 0.1}}};
  analyse(interactiveCandidate(regions));
  auto calls = h.recognizer->calls();
  ASSERT_EQ(calls.size(), 3u);
  for (const auto& call : calls) {
    EXPECT_EQ(call.level, TextRecognitionLevel::fast);
    EXPECT_EQ(call.imageSize, (platform::Size{40, 20}));
  }
  EXPECT_EQ(held(), 1);

  // A newer frame supersedes the analysis while its first crop is read.
  auto offered = interactiveCandidate(regions);
  Probe::offer(*h.engine, offered);
  const auto cancellation = Probe::activeCancellation(*h.engine);
  ASSERT_TRUE(cancellation);
  h.recognizer->afterRecognition = [cancellation](int call) {
    if (call == 4) cancellation->cancel();
  };
  h.loop.advance(0.05);
  EXPECT_EQ(h.recognizer->calls().size(), 4u) << "the other crops are skipped";
  EXPECT_EQ(h.engine->statusMessage.value(), "Prioritizing the latest interactive frame");
  EXPECT_EQ(held(), 1) << "an overtaken frame is not a held one";
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
}

TEST_F(VerificationAnalysisTest, AFailedAnalysisHoldsWhatIsOut) {
  h.recognizer->script.setRecognitionFailsFor([](const auto&) { return true; });
  analyse(candidate());
  EXPECT_EQ(h.engine->statusMessage.value(), "Analysis failed; no frame published");
  EXPECT_EQ(held(), 1);
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());

  showVerifiedFrame();
  analyse(interactiveCandidate({{{0.1, 0.1}, {0.2, 0.1}}, {{0.5, 0.5}, {0.2, 0.1}}}));
  EXPECT_EQ(h.recognizer->calls().size(), 2u) << "the first failed crop ends the pass";
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Holding last verified frame; background audit will retry");
  EXPECT_TRUE(h.engine->isHoldingPreviousVerifiedFrame.value());
  EXPECT_EQ(held(), 2);
}

TEST_F(VerificationAnalysisTest, WorkOfARunThatMovedOnChangesNothing) {
  // The capture moves on while the masks are checked: held on return, no text read.
  Probe::offer(*h.engine, candidate());
  h.engine->advanceCaptureGeneration(0);
  h.loop.advance(0.05);
  EXPECT_EQ(recognitions(), 0u);
  EXPECT_EQ(held(), 1);

  // The capture fails while the text is read: the overtaken pass leaves the failed run alone.
  Probe::offer(*h.engine, candidate());
  h.recognizer->afterRecognition = [this](int) {
    h.recognizer->afterRecognition = nullptr;
    runtime::spawn(h.engine->failActiveStream("The display went away."));
  };
  h.loop.advance(1.0);
  EXPECT_EQ(recognitions(), 1u);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->statusMessage.value(), "The display went away.");
  EXPECT_EQ(held(), 1);
}

TEST_F(VerificationAnalysisTest, OwedCleanCapturesHoldCandidatesAndCountEachOnce) {
  Probe::oweCleanCaptures(*h.engine, 2);
  analyse(candidate());
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Waiting for the protected capture filter before first frame");
  EXPECT_EQ(held(), 1) << "the refresh counted it; the gate does not again";
  showVerifiedFrame();
  analyse(candidate());
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Holding last verified frame while the capture filter settles");
  EXPECT_EQ(held(), 2);
  EXPECT_EQ(recognitions(), 0u);
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());

  analyse(candidate());  // nothing owed any more
  EXPECT_EQ(recognitions(), 1u);
  EXPECT_EQ(held(), 3) << "held once, by publication";
}

TEST_F(VerificationAnalysisTest, AFilterThatCannotBeAppliedFailsTheRunAfterTenSeconds) {
  Probe::oweCleanCaptures(*h.engine, 1);
  LegacySourceProtectionConfiguration configuration;
  configuration.protectedAppBundleIDs = {testing::kVaultID};
  h.engine->configure(configuration);  // the mask overlays are gone
  analyse(candidate());
  EXPECT_EQ(h.engine->statusMessage.value(),
            "Waiting for the protected capture filter before first frame");
  EXPECT_EQ(held(), 1);
  for (int second = 1; second < 10; ++second) {
    h.loop.advance(1.0);
    analyse(candidate());
  }
  EXPECT_TRUE(model::isActive(h.engine->phase.value()));
  EXPECT_EQ(held(), 10);
  h.loop.advance(0.95);
  analyse(candidate());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "The protected capture filter could not be confirmed. Stop Protected Share and try "
            "again.");
  EXPECT_TRUE(h.recorded("protected_share_capture_filter_unconfirmed"));
  h.loop.advance(1.0);
  EXPECT_EQ(h.runningStreams(), 0);
  EXPECT_EQ(recognitions(), 0u);
}

TEST(VerificationAnalysisStartTest, AStartWithoutTextRecognitionFailsAtOnce) {
  VerificationEngineHarness h({320, 180}, /*withTextRecognizer=*/false);
  h.start();
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Text recognition is unavailable, so Protected Share cannot verify any frame.");
  EXPECT_EQ(h.runningStreams(), 0);
}

TEST(VerificationAnalysisStartTest, CapturedFramesReachTextAnalysisAndPublication) {
  VerificationEngineHarness h;
  h.start();
  h.loop.advance(1.0);
  EXPECT_TRUE(h.recorded("protected_share_first_frame_ocr_finished"));
  EXPECT_FALSE(h.recognizer->calls().empty());
  EXPECT_GT(h.engine->metrics.value().heldFrames, 0) << "held until publication is in place";
  EXPECT_FALSE(h.engine->outputSurface()->snapshot());
}

}  // namespace
}  // namespace corvane::verification
