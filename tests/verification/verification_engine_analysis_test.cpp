#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "frame_images.h"
#include "runtime/main_actor.h"
#include "verification_engine_harness.h"
#include "verification_engine_test_access.h"

namespace corvane::verification {
namespace {

using model::ProtectedSharePhase;
using platform::Rect;
using platform::TextRecognitionLevel;
using Probe = LegacySourceProtectionEngineTestAccess;

constexpr std::uint32_t kPage = 0xfff4f4f2;
constexpr std::uint32_t kMaskFill = 0xff202322;

// An engine on a quiet capture: the only candidates are the test's, of the current capture.
class VerificationAnalysisTest : public ::testing::Test {
 protected:
  VerificationAnalysisTest() {
    h.quietCapture();
    h.start();
  }

  // The whole frame changed; with `crops`, an ordinary change with a native crop per region.
  std::shared_ptr<ProtectedAnalysisCandidate> candidate(std::uint32_t colour = kPage,
                                                        const std::vector<Rect>& crops = {}) {
    auto made = std::make_shared<ProtectedAnalysisCandidate>();
    made->identity = ++identity;
    made->sourceImage = made->analysisImage = testing::solidFrame(320, 180, colour);
    made->changedRects = crops.empty() ? std::vector<Rect>{{{0, 0}, {1, 1}}} : crops;
    for (const Rect& region : crops)
      made->nativeRegionImages.push_back({testing::solidFrame(40, 20, kPage), region, {}});
    made->generation = h.engine->captureGeneration();
    made->sourceContextGeneration = h.engine->sourceContextGeneration();
    return made;
  }
  void analyse(SharedAnalysisCandidate offered) {
    Probe::offer(*h.engine, std::move(offered));
    h.loop.advance(0.05);
  }
  void showVerifiedFrame() { h.engine->renderedFrame.set(model::ProtectedRenderedFrame{}); }
  int held() const { return h.engine->metrics.value().heldFrames; }
  std::size_t reads(TextRecognitionLevel level) const {
    std::size_t count = 0;
    for (const auto& request : h.recognizer->recognitionRequests())
      count += request.recognitionLevel == level ? 1 : 0;
    return count;
  }
  const std::string& status() const { return h.engine->statusMessage.value(); }

  testing::VerificationEngineHarness h;
  std::uint64_t identity = 1000;
};

TEST_F(VerificationAnalysisTest, AdmitsOneCandidateOfTheCurrentRunAndAsksAgainForARefresh) {
  auto stale = candidate();
  stale->generation -= 1;
  Probe::offer(*h.engine, stale);
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());
  Probe::offer(*h.engine, candidate());
  EXPECT_EQ(status(), "Confirming source masks in the captured frame");
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::analyzing);
  analyse(candidate());  // turned down while the first is analysed
  EXPECT_EQ(reads(TextRecognitionLevel::accurate), 1u) << "one careful read";
  EXPECT_EQ(status(), "Review and approve the initial protected frame") << "publication took it";
  h.engine->rejectPendingBaseline();
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());

  // Turned down while paused or while the context changes, a refresh's audit is asked again.
  showVerifiedFrame();
  Probe::awaitBaselineRefresh(*h.engine, 7);
  auto audit = candidate();
  audit->fullFrameAuditRequestID = 7;
  h.engine->setPublishingPaused(true);
  Probe::offer(*h.engine, audit);
  h.engine->setPublishingPaused(false);
  h.engine->beginSourceContextTransition();
  audit->sourceContextGeneration = h.engine->sourceContextGeneration();
  Probe::offer(*h.engine, audit);
  EXPECT_FALSE(h.engine->isAnalyzingFrame.value());
  EXPECT_TRUE(h.engine->isHoldingPreviousVerifiedFrame.value());
  EXPECT_EQ(h.eventsNamed("protected_share_baseline_refresh_retry").size(), 2u);
  EXPECT_EQ(status(),
            "Full-frame analysis failed; retrying while the current protected output remains "
            "visible");
}

TEST_F(VerificationAnalysisTest, TheOwnersMasksAreLookedForWhenNewOrASecondOld) {
  const model::ProtectedRedaction mask{.normalizedFrame = {{0.1, 0.1}, {0.2, 0.1}},
                                       .scope = model::ProtectedRedactionScope::sourceOverlay};
  h.engine->installSourceOverlaySnapshot({.revision = 4, .redactions = {mask, mask}});
  analyse(candidate());  // the masks do not show: held before any text is read
  EXPECT_TRUE(h.recognizer->recognitionRequests().empty());
  EXPECT_EQ(held(), 1);
  EXPECT_EQ(status(), "Waiting for verified source masks before first frame");
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::analyzing);
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

  showVerifiedFrame();
  analyse(candidate(kMaskFill));  // they show
  EXPECT_EQ(Probe::verifiedMaskRevision(*h.engine), 4u);
  h.loop.advance(0.4);  // seen half a second ago: a frame without them is not checked
  analyse(candidate());
  EXPECT_EQ(reads(TextRecognitionLevel::fast), 2u);
  h.loop.advance(0.51);  // a second on it is checked again; the event is not repeated
  analyse(candidate());
  EXPECT_EQ(reads(TextRecognitionLevel::fast), 2u);
  EXPECT_EQ(status(), "Holding last verified frame until source masks are visible");
  EXPECT_TRUE(h.engine->isHoldingPreviousVerifiedFrame.value());
  EXPECT_FALSE(Probe::verifiedMaskRevision(*h.engine)) << "the failed revision is not vouched for";
  EXPECT_EQ(h.eventsNamed("protected_share_source_mask_capture_mismatch").size(), 1u);

  h.engine->installSourceOverlaySnapshot({.revision = 5, .redactions = {}});  // none to look for
  analyse(candidate());
  EXPECT_EQ(reads(TextRecognitionLevel::fast), 3u) << "its text is read";
}

TEST_F(VerificationAnalysisTest, TheFirstFrameIsReadWholeAndCarefullyAChangeCropByCrop) {
  const std::vector<Rect> crops{
      {{0.0, 0.1}, {0.3, 0.1}}, {{0.4, 0.4}, {0.3, 0.1}}, {{0.7, 0.8}, {0.3, 0.1}}};
  analyse(candidate(kPage, crops));
  EXPECT_EQ(reads(TextRecognitionLevel::fast), 0u) << "not the crops";
  EXPECT_GT(reads(TextRecognitionLevel::accurate), 0u);
  EXPECT_TRUE(h.recorded("protected_share_first_frame_ocr_started"));
  const auto finished = h.eventsNamed("protected_share_first_frame_ocr_finished");
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(finished[0].fields.at("redactions"), "0");
  EXPECT_TRUE(h.engine->hasPendingBaselineApproval()) << "a baseline to review";
  h.engine->rejectPendingBaseline();

  showVerifiedFrame();
  analyse(candidate(kPage, crops));
  EXPECT_EQ(reads(TextRecognitionLevel::fast), 3u);
  EXPECT_EQ(h.eventsNamed("protected_share_first_frame_ocr_started").size(), 1u);
  const int heldBefore = held();

  // A newer frame supersedes the analysis while its first crop is read: the rest are skipped.
  Probe::offer(*h.engine, candidate(kPage, crops));
  h.recognizer->setBeforeRecognition(
      [cancellation = Probe::cancellation(*h.engine)](const auto&) { cancellation->cancel(); });
  h.loop.advance(0.05);
  EXPECT_EQ(reads(TextRecognitionLevel::fast), 4u);
  EXPECT_EQ(status(), "Prioritizing the latest interactive frame");
  EXPECT_EQ(held(), heldBefore) << "an overtaken frame is not a held one";
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
}

TEST_F(VerificationAnalysisTest, AFailedAnalysisHoldsAndWorkOfARunThatMovedOnChangesNothing) {
  h.recognizer->setRecognitionFailsFor([](const auto&) { return true; });
  analyse(candidate());
  EXPECT_EQ(status(), "Analysis failed; no frame published");
  showVerifiedFrame();
  analyse(candidate(kPage, {{{0.1, 0.1}, {0.2, 0.1}}, {{0.5, 0.5}, {0.2, 0.1}}}));
  EXPECT_EQ(reads(TextRecognitionLevel::fast), 1u) << "the first failed crop ends the pass";
  EXPECT_EQ(status(), "Holding last verified frame; background audit will retry");
  EXPECT_TRUE(h.engine->isHoldingPreviousVerifiedFrame.value());
  EXPECT_EQ(held(), 2);

  // The capture moves on while the masks are checked: held on return, no text read.
  h.recognizer->setRecognitionFailsFor(nullptr);
  Probe::offer(*h.engine, candidate());
  h.engine->advanceCaptureGeneration(0);
  h.loop.advance(0.05);
  EXPECT_EQ(h.recognizer->recognitionRequests().size(), 2u);
  EXPECT_EQ(held(), 3);

  // The run fails while the text is read: the overtaken pass leaves its phase and message.
  Probe::offer(*h.engine, candidate());
  h.recognizer->setBeforeRecognition([this](const auto&) {
    h.recognizer->setBeforeRecognition(nullptr);
    runtime::postToMain(std::weak_ptr(h.engine), [](LegacySourceProtectionEngine& engine) {
      runtime::spawn(engine.failActiveStream("The display went away."));
    });
  });
  h.loop.advance(1.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(status(), "The display went away.");
  EXPECT_EQ(held(), 3);
}

TEST_F(VerificationAnalysisTest, OwedCleanCapturesHoldEachCandidateOnceThenReadIt) {
  Probe::oweCleanCaptures(*h.engine, 2);
  analyse(candidate());
  EXPECT_EQ(status(), "Waiting for the protected capture filter before first frame");
  EXPECT_EQ(held(), 1) << "the refresh counted it; the gate does not again";
  showVerifiedFrame();
  analyse(candidate());
  EXPECT_EQ(status(), "Holding last verified frame while the capture filter settles");
  EXPECT_EQ(held(), 2);
  EXPECT_TRUE(h.recognizer->recognitionRequests().empty());
  analyse(candidate());  // nothing owed any more
  EXPECT_EQ(reads(TextRecognitionLevel::fast), 1u);
}

TEST_F(VerificationAnalysisTest, AFilterThatCannotBeAppliedFailsTheRunAfterTenSeconds) {
  Probe::oweCleanCaptures(*h.engine, 1);
  h.engine->configure({.protectedAppBundleIDs = {testing::kVaultID}});  // the overlays are gone
  for (int second = 0; second < 10; ++second) {
    analyse(candidate());
    h.loop.advance(0.95);
  }
  EXPECT_EQ(status(), "Waiting for the protected capture filter before first frame");
  EXPECT_EQ(held(), 10);
  analyse(candidate());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "The protected capture filter could not be confirmed. Stop Protected Share and try "
            "again.");
  EXPECT_TRUE(h.recorded("protected_share_capture_filter_unconfirmed"));
  h.loop.advance(1.0);
  EXPECT_EQ(h.runningStreams(), 0);
}

TEST(VerificationAnalysisStartTest, CapturedFramesAreReadAndAStartWithoutARecognizerFails) {
  testing::VerificationEngineHarness h;
  h.start();
  h.loop.advance(1.0);
  EXPECT_TRUE(h.recorded("protected_share_first_frame_ocr_finished"));
  EXPECT_TRUE(h.recorded("protected_share_baseline_ready"));
  EXPECT_FALSE(h.engine->outputSurface()->snapshot()) << "nothing out before its approval";

  testing::VerificationEngineHarness without({320, 180}, /*withTextRecognizer=*/false);
  without.start();
  EXPECT_EQ(without.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(without.engine->lastError.value(),
            "Text recognition is unavailable, so Protected Share cannot verify any frame.");
  EXPECT_EQ(without.runningStreams(), 0);
}

}  // namespace
}  // namespace corvane::verification
