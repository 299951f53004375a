#include "runtime/main_actor.h"
#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

// The entry of text analysis: the pipeline hands each candidate here, on the main actor.
//
// Analysis, source-mask authorisation and verified publication are not part of this engine yet.
// Until they are, no candidate can be verified, so each is turned down at once: the pipeline
// moves on to the next frame and the output never shows a frame that was not verified.
void LegacySourceProtectionEngine::analyzeCandidate(SharedAnalysisCandidate candidate) {
  runtime::assertMainActor();
  ++candidatesReceived_;
  pipeline_->reject(std::move(candidate));
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

bool LegacySourceProtectionEngine::isCurrentAnalysis(std::uint64_t generation,
                                                     std::uint64_t sourceContextGeneration) const {
  return generation == captureGeneration_ && analyzingGeneration_ == generation &&
         sourceContextGeneration == sourceContextGeneration_ &&
         analyzingSourceContextGeneration_ == sourceContextGeneration;
}

void LegacySourceProtectionEngine::holdCandidate(const SharedAnalysisCandidate& candidate,
                                                 bool onlyWhenAnalyzing) {
  const auto generation = candidate->generation;
  pipeline_->reject(candidate);
  auto updated = metrics.value();
  ++updated.heldFrames;
  metrics.set(updated);
  if (!onlyWhenAnalyzing || analyzingGeneration_ == generation) finishAnalysisIfCurrent(generation);
}

void LegacySourceProtectionEngine::holdFrameAfterAnalysisFailure(
    const SharedAnalysisCandidate& candidate, int durationMS, std::uint64_t generation,
    std::uint64_t sourceContextGeneration) {
  runtime::assertMainActor();
  if (!isCurrentAnalysis(generation, sourceContextGeneration) || !model::isActive(phase.value()) ||
      isSourceContextTransitioning.value()) {
    holdCandidate(candidate, true);
    return;
  }
  pipeline_->reject(candidate);
  retryBaselineRefreshIfNeeded(*candidate);
  auto updated = metrics.value();
  ++updated.heldFrames;
  updated.lastAnalysisDurationMS = durationMS;
  metrics.set(updated);
  finishAnalysisIfCurrent(generation);
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
