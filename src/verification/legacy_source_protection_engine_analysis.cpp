#include <utility>

#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/legacy_source_protection_engine.h"
#include "verification/source_overlay_capture_verifier.h"

namespace corvane::verification {

using model::ProtectedSharePhase;

// The entry of text analysis: the pipeline hands each candidate here, on the main actor. One
// candidate is analysed at a time, only while the run is active and only one of the current
// capture and source context; the others go back to the pipeline, which offers newer frames.
void LegacySourceProtectionEngine::analyzeCandidate(SharedAnalysisCandidate candidate) {
  runtime::assertMainActor();
  ++candidatesReceived_;
  if (candidate->generation != captureGeneration_ ||
      candidate->sourceContextGeneration != sourceContextGeneration_ ||
      !model::isActive(phase.value()) || isAnalyzingFrame.value()) {
    pipeline_->reject(std::move(candidate));
    return;
  }
  const bool frameOut = renderedFrame.value().has_value();
  if (isPublishingPaused.value()) {
    pipeline_->reject(candidate);
    retryBaselineRefreshIfNeeded(*candidate);
    return;
  }
  if (isSourceContextTransitioning.value()) {
    pipeline_->reject(candidate);
    isHoldingPreviousVerifiedFrame.setIfChanged(frameOut);
    // A baseline refresh that waited for this candidate's audit asks for another one here too,
    // or the owner's refresh would never come.
    retryBaselineRefreshIfNeeded(*candidate);
    return;
  }

  auto cancellation = std::make_shared<ProtectedAnalysisCancellation>();
  isAnalyzingFrame.setIfChanged(true);
  activeAnalysisCancellation_ = cancellation;
  isHoldingPreviousVerifiedFrame.setIfChanged(frameOut);
  analyzingGeneration_ = candidate->generation;
  analyzingSourceContextGeneration_ = candidate->sourceContextGeneration;
  phase.setIfChanged(frameOut ? ProtectedSharePhase::sharing : ProtectedSharePhase::analyzing);
  statusMessage.set(frameOut ? kAuditingStatus : "Confirming source masks in the captured frame");

  // The owner's masks are looked for in the capture when they are new, were not seen in it yet,
  // or were last seen a while ago.
  SourceOverlaySnapshot snapshot = expectedSourceOverlaySnapshot_;
  const bool mustVerify =
      !snapshot.redactions.empty() &&
      (!verifiedSourceOverlayRevision_ ||
       runtime::uptime() - lastSourceOverlayVerificationTime_ >= kSourceMaskRecheckInterval ||
       *verifiedSourceOverlayRevision_ != snapshot.revision);
  analysisQueue_->post([weak = weak_from_this(), mustVerify, candidate = std::move(candidate),
                        snapshot = std::move(snapshot), cancellation]() mutable {
    if (weak.expired()) return;
    // The check reads the frame at full resolution, where the masks' pixels are exact.
    auto verification =
        mustVerify ? SourceOverlayCaptureVerifier::verify(candidate->sourceImage.get(), snapshot)
                   : SourceOverlayVerificationResult::verified();
    runtime::postToMain(
        weak, [candidate = std::move(candidate), snapshot = std::move(snapshot), verification,
               mustVerify, cancellation](LegacySourceProtectionEngine& engine) mutable {
          engine.continueAnalysisAfterSourceMaskVerification(std::move(candidate),
                                                             std::move(snapshot), verification,
                                                             mustVerify, std::move(cancellation));
        });
  });
}

void LegacySourceProtectionEngine::retryBaselineRefreshIfNeeded(
    const ProtectedAnalysisCandidate& candidate) {
  runtime::assertMainActor();
  if (!candidate.fullFrameAuditRequestID ||
      candidate.fullFrameAuditRequestID != pendingBaselineRefreshRequestID_)
    return;
  pipeline_->requestFullFrameAudit(*candidate.fullFrameAuditRequestID);
  statusMessage.set(
      "Full-frame analysis failed; retrying while the current protected output "
      "remains visible");
  record("protected_share_baseline_refresh_retry");
}

bool LegacySourceProtectionEngine::isCurrentAnalysis(
    const ProtectedAnalysisCandidate& candidate) const {
  const auto generation = candidate.generation;
  const auto sourceContextGeneration = candidate.sourceContextGeneration;
  return generation == captureGeneration_ && analyzingGeneration_ == generation &&
         sourceContextGeneration == sourceContextGeneration_ &&
         analyzingSourceContextGeneration_ == sourceContextGeneration;
}

void LegacySourceProtectionEngine::holdCandidate(const SharedAnalysisCandidate& candidate,
                                                 bool onlyWhenAnalyzing) {
  const auto generation = candidate->generation;
  pipeline_->reject(candidate);
  countHeldFrame();
  if (!onlyWhenAnalyzing || analyzingGeneration_ == generation) finishAnalysisIfCurrent(generation);
}

void LegacySourceProtectionEngine::countHeldFrame(std::optional<int> analysisDurationMS) {
  auto updated = metrics.value();
  ++updated.heldFrames;
  if (analysisDurationMS) updated.lastAnalysisDurationMS = *analysisDurationMS;
  metrics.set(updated);
}

void LegacySourceProtectionEngine::holdFrameAfterAnalysisFailure(
    const SharedAnalysisCandidate& candidate, int durationMS) {
  runtime::assertMainActor();
  if (!isCurrentAnalysis(*candidate) || !model::isActive(phase.value()) ||
      isSourceContextTransitioning.value()) {
    holdCandidate(candidate, true);
    return;
  }
  pipeline_->reject(candidate);
  retryBaselineRefreshIfNeeded(*candidate);
  countHeldFrame(durationMS);
  finishAnalysisIfCurrent(candidate->generation);
  const bool frameOut = renderedFrame.value().has_value();
  isHoldingPreviousVerifiedFrame.set(frameOut);
  statusMessage.set(frameOut ? "Holding last verified frame; background audit will retry"
                             : "Analysis failed; no frame published");
}

void LegacySourceProtectionEngine::handleSupersedeRequest() {
  runtime::assertMainActor();
  if (activeAnalysisCancellation_) activeAnalysisCancellation_->cancel();
}

}  // namespace corvane::verification
