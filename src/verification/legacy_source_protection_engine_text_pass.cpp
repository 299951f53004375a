#include <string>
#include <utility>

#include "model/enum_coding.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

namespace {

std::string orNone(const std::optional<int>& value) {
  return value ? std::to_string(*value) : "none";
}

std::map<std::string, std::string> mismatchFields(
    const SourceOverlaySnapshot& snapshot, const SourceOverlayVerificationResult& verification) {
  return {{"revision", std::to_string(snapshot.revision)},
          {"masks", std::to_string(snapshot.redactions.size())},
          {"failure", verification.failure ? std::string(model::rawValue(*verification.failure))
                                           : std::string("unknown")},
          {"redactionIndex", orNone(verification.failedRedactionIndex)},
          {"column", orNone(verification.failedColumn)},
          {"row", orNone(verification.failedRow)},
          {"matchingSamples", std::to_string(verification.matchingSamples)},
          {"sampledPoints", std::to_string(verification.sampledPoints)}};
}

}  // namespace

// Back on the main actor after the source-mask check: the candidate must still be the analysis
// in progress, the capture must show the owner's masks, and then its text is read.
void LegacySourceProtectionEngine::continueAnalysisAfterSourceMaskVerification(
    SharedAnalysisCandidate candidate, SourceOverlaySnapshot sourceOverlaySnapshot,
    SourceOverlayVerificationResult sourceOverlayVerification,
    bool sourceOverlayVerificationWasPerformed,
    std::shared_ptr<ProtectedAnalysisCancellation> analysisCancellation) {
  runtime::assertMainActor();
  if (!isCurrentAnalysis(*candidate) || !model::isActive(phase.value()) ||
      isSourceContextTransitioning.value()) {
    holdCandidate(candidate, true);
    return;
  }
  if (!acceptSourceMaskOutcome(candidate, sourceOverlaySnapshot, sourceOverlayVerification,
                               sourceOverlayVerificationWasPerformed))
    return;

  const bool frameOut = renderedFrame.value().has_value();
  statusMessage.set(frameOut ? kAuditingStatus : "Verifying first native-resolution frame");
  CandidateTextPass pass;
  pass.sourceOverlaySnapshot = std::move(sourceOverlaySnapshot);
  pass.sourceMasksVerifiedInCapture =
      sourceOverlayVerificationWasPerformed && sourceOverlayVerification.isVerified;
  pass.isFirstFrame = !frameOut;
  pass.isBaselineReview =
      pass.isFirstFrame || (candidate->fullFrameAuditRequestID &&
                            candidate->fullFrameAuditRequestID == pendingBaselineRefreshRequestID_);
  pass.isRegionPass = !pass.isBaselineReview && !candidate->isPeriodicAudit &&
                      !candidate->isRedactionRemovalRefresh;
  // The analysis reads the settings of this moment, whatever changes meanwhile.
  pass.preferences = {enabledKinds_, alwaysHideWords_, neverHideWords_};
  pass.maskAllRecognizedText = maskAllRecognizedText_;
  pass.cancellation = std::move(analysisCancellation);
  pass.candidate = std::move(candidate);
  runtime::spawn(runTextAnalysis(weak_from_this(), std::move(pass)));
}

bool LegacySourceProtectionEngine::acceptSourceMaskOutcome(
    const SharedAnalysisCandidate& candidate, const SourceOverlaySnapshot& snapshot,
    const SourceOverlayVerificationResult& verification, bool verificationWasPerformed) {
  if (!verificationWasPerformed) return true;
  if (verification.isVerified) {
    verifiedSourceOverlayRevision_ = snapshot.revision;
    lastSourceOverlayVerificationTime_ = runtime::uptime();
    return true;
  }
  // What was seen before is no longer vouched for: the next candidate looks again.
  if (verifiedSourceOverlayRevision_ == snapshot.revision) verifiedSourceOverlayRevision_.reset();
  if (snapshot.redactions.empty()) return true;
  if (!hasReportedSourceMaskCaptureMismatch_) {
    hasReportedSourceMaskCaptureMismatch_ = true;
    record("protected_share_source_mask_capture_mismatch", mismatchFields(snapshot, verification));
  }
  holdCandidate(candidate, false);
  const bool frameOut = renderedFrame.value().has_value();
  isHoldingPreviousVerifiedFrame.setIfChanged(frameOut);
  statusMessage.set(frameOut ? "Holding last verified frame until source masks are visible"
                             : "Waiting for verified source masks before first frame");
  return false;
}

runtime::Task<void> LegacySourceProtectionEngine::runTextAnalysis(
    std::weak_ptr<LegacySourceProtectionEngine> weak, CandidateTextPass pass) {
  auto confirm = confirmCleanCapture(weak, pass.candidate);
  const bool clean = co_await std::move(confirm);
  if (!clean) co_return;
  auto self = weak.lock();
  if (!self) co_return;
  if (!self->isCurrentAnalysis(*pass.candidate) || self->isSourceContextTransitioning.value()) {
    self->holdCandidate(pass.candidate, true);
    co_return;
  }
  self->dispatchTextPass(std::move(pass));
}

// While clean captures are owed after a filter change, each candidate first has the filter
// refreshed: it is read only once the refresh finds the filter unchanged and nothing owed.
// A filter that cannot be applied for kCaptureFilterConfirmationTimeout fails the run rather
// than hold every frame for good.
runtime::Task<bool> LegacySourceProtectionEngine::confirmCleanCapture(
    std::weak_ptr<LegacySourceProtectionEngine> weak, SharedAnalysisCandidate candidate) {
  int heldFramesBeforeRefresh = 0;
  std::optional<runtime::Task<CaptureFilterRefreshResult>> refresh;
  {
    auto self = weak.lock();
    if (!self) co_return false;
    if (self->cleanFramesRequiredBeforePublish_ <= 0) co_return true;
    heldFramesBeforeRefresh = self->metrics.value().heldFrames;
    refresh.emplace(self->refreshCaptureFilter());
  }
  const CaptureFilterRefreshResult result = co_await std::move(*refresh);
  auto self = weak.lock();
  if (!self) co_return false;
  auto& engine = *self;
  if (!model::isActive(engine.phase.value())) {
    // The refresh failed the run, or it was stopped meanwhile: its state and message stay.
    engine.pipeline_->reject(candidate);
    co_return false;
  }
  if (result.filterApplied) {
    engine.captureFilterUnconfirmedSince_.reset();
  } else {
    const runtime::Uptime now = runtime::uptime();
    if (!engine.captureFilterUnconfirmedSince_) engine.captureFilterUnconfirmedSince_ = now;
    const double waited = now - *engine.captureFilterUnconfirmedSince_;
    if (waited >= kCaptureFilterConfirmationTimeout) {
      engine.captureFilterUnconfirmedSince_.reset();
      engine.record("protected_share_capture_filter_unconfirmed",
                    {{"seconds", std::to_string(static_cast<int>(waited))}});
      auto fail = engine.failActiveStream(kCaptureFilterUnconfirmedMessage);
      co_await std::move(fail);
      co_return false;
    }
  }
  if (result.captureClean) co_return true;

  // A refresh that held the frame has counted it already.
  if (engine.metrics.value().heldFrames == heldFramesBeforeRefresh) engine.countHeldFrame();
  engine.finishAnalysisIfCurrent(candidate->generation);
  engine.pipeline_->reject(candidate);
  engine.retryBaselineRefreshIfNeeded(*candidate);
  engine.statusMessage.set(engine.renderedFrame.value()
                               ? "Holding last verified frame while the capture filter settles"
                               : "Waiting for the protected capture filter before first frame");
  co_return false;
}

// The text pass runs on the analysis queue with copies of everything it reads; the engine is
// only asked, at the end, to take the result on the main actor.
void LegacySourceProtectionEngine::dispatchTextPass(CandidateTextPass pass) {
  analysisQueue_->post([weak = weak_from_this(), analyzer = sourceFrameMaskingEngine_.analyzer,
                        recorder = services_.recorder, pass = std::move(pass)]() mutable {
    if (weak.expired()) return;
    if (pass.isFirstFrame) recorder("protected_share_first_frame_ocr_started", {});
    model::ProtectedFrameAnalysisResult result;
    if (analyzer) result = readCandidateText(*analyzer, pass);
    auto masks = SourceFrameMaskingEngine::partitionRedactions(result.redactions);
    if (pass.isFirstFrame) {
      recorder("protected_share_first_frame_ocr_finished",
               {{"durationMS", std::to_string(result.durationMS)},
                {"redactions", std::to_string(masks.source.size() + masks.publication.size())}});
    }
    runtime::postToMain(
        weak, [pass = std::move(pass), result = std::move(result),
               masks = std::move(masks)](LegacySourceProtectionEngine& engine) mutable {
          engine.finishTextPass(std::move(pass), std::move(result), std::move(masks));
        });
  });
}

void LegacySourceProtectionEngine::finishTextPass(CandidateTextPass pass,
                                                  model::ProtectedFrameAnalysisResult result,
                                                  SourceMaskPartition masks) {
  runtime::assertMainActor();
  const bool cancelled = pass.cancellation && pass.cancellation->isCancelled();
  if (result.analysisSucceeded && !cancelled) {
    model::ProtectedFrameAnalysisResult analysed;
    analysed.analysisSucceeded = true;
    analysed.redactions = std::move(masks.publication);
    analysed.detectedItems = std::move(result.detectedItems);
    analysed.durationMS = result.durationMS;
    analysed.sourceMasksVerifiedInCapture = pass.sourceMasksVerifiedInCapture;
    publishVerifiedFrame(std::move(pass.candidate), std::move(analysed), std::move(masks.source),
                         pass.isBaselineReview, pass.sourceOverlaySnapshot.revision,
                         std::move(pass.sourceOverlaySnapshot.redactions));
    return;
  }
  if (cancelled) {
    // Overtaken by a newer frame: not a held frame. When the run itself moved on (a new capture,
    // a stop, a failure), its phase and message are left as they are.
    pipeline_->reject(pass.candidate);
    if (!isCurrentAnalysis(*pass.candidate)) return;
    finishAnalysisIfCurrent(pass.candidate->generation);
    statusMessage.set("Prioritizing the latest interactive frame");
    return;
  }
  holdFrameAfterAnalysisFailure(pass.candidate, result.durationMS);
}

}  // namespace corvane::verification
