#include <utility>

#include "runtime/main_actor.h"
#include "verification/legacy_source_protection_engine.h"
#include "verification/protected_gpu_compositor.h"

namespace corvane::verification {

// The analysis stays open while the user looks at the frame: admission takes no other candidate
// and the pipeline keeps this one in flight, so an approval can still publish exactly it.
void LegacySourceProtectionEngine::openBaselineReview(const SharedAnalysisCandidate& candidate,
                                                      model::ProtectedFrameAnalysisResult result,
                                                      std::uint64_t sourceOverlayRevision) {
  // Source masks are on the real screen and so in the frame already.
  auto preview = ProtectedGPUCompositor::redactedImage(candidate->sourceImage, result.redactions,
                                                       /*includeSourceOverlays=*/false);
  if (!preview) {
    holdFrameAfterAnalysisFailure(candidate, result.durationMS);
    return;
  }
  const bool frameOut = renderedFrame.value().has_value();
  const auto redactionCount = result.redactions.size();
  const int durationMS = result.durationMS;
  pendingBaselineRedactionCount.set(static_cast<int>(redactionCount));
  pendingBaselineReviewItems.set(baselineReviewItems(result.redactions));
  pendingBaselineRedactions.set(result.redactions);
  pendingBaselineIsRefresh.set(frameOut);
  pendingBaselineApproval_ =
      PendingBaselineApproval{candidate, std::move(result), frameOut, sourceOverlayRevision};
  const auto width = preview->width();
  const auto height = preview->height();
  pendingBaselinePreview.set(std::move(preview));

  auto updated = metrics.value();
  updated.lastAnalysisDurationMS = durationMS;
  metrics.set(updated);
  isHoldingPreviousVerifiedFrame.set(frameOut);
  phase.set(model::ProtectedSharePhase::analyzing);
  statusMessage.set(frameOut ? "Review and approve the updated protected frame"
                             : "Review and approve the initial protected frame");
  record("protected_share_baseline_ready", {{"redactions", std::to_string(redactionCount)},
                                            {"width", std::to_string(width)},
                                            {"height", std::to_string(height)}});
}

bool LegacySourceProtectionEngine::approvePendingBaseline() {
  runtime::assertMainActor();
  if (!pendingBaselineApproval_) return false;
  const auto& approval = *pendingBaselineApproval_;
  if (!model::isActive(phase.value()) || isSourceContextTransitioning.value() ||
      !isCurrentAnalysis(*approval.candidate))
    return false;
  auto candidate = approval.candidate;
  auto result = approval.result;
  // A refreshed baseline is analysed whole: its redactions replace every earlier one.
  const bool replaceExistingRedactions = approval.replacesPublishedBaseline;
  record("protected_share_baseline_approved",
         {{"refresh", replaceExistingRedactions ? "true" : "false"},
          {"redactions", std::to_string(result.redactions.size())}});
  clearPendingBaselineApproval();
  // The analysis ends when the pipeline reports the commit.
  commitVerifiedFrame(candidate, result, replaceExistingRedactions);
  return true;
}

void LegacySourceProtectionEngine::rejectPendingBaseline() {
  runtime::assertMainActor();
  if (!pendingBaselineApproval_) return;
  const auto approval = std::move(*pendingBaselineApproval_);
  clearPendingBaselineApproval();
  record("protected_share_baseline_rejected",
         {{"refresh", approval.replacesPublishedBaseline ? "true" : "false"}});
  pipeline_->reject(approval.candidate);
  finishAnalysisIfCurrent(approval.candidate->generation);
  const bool frameOut = renderedFrame.value().has_value();
  isHoldingPreviousVerifiedFrame.set(frameOut);
  statusMessage.set(frameOut ? "Protected frame update declined; the last verified frame stays"
                             : "Protected frame declined; waiting for a new frame to review");
}

void LegacySourceProtectionEngine::requestBaselineRefresh() {
  runtime::assertMainActor();
  // A review already waits for the user; that one is the baseline to decide on.
  if (!model::isActive(phase.value()) || pendingBaselineApproval_) return;
  const auto requestID = ++nextBaselineRefreshRequestID_;
  pendingBaselineRefreshRequestID_ = requestID;
  pipeline_->requestFullFrameAudit(requestID);
  record("protected_share_baseline_refresh_requested", {{"requestID", std::to_string(requestID)}});
}

void LegacySourceProtectionEngine::continueCaptureInNewGeneration(int cleanFramesRequired) {
  const bool refreshWanted =
      renderedFrame.value() &&
      (pendingBaselineRefreshRequestID_ ||
       (pendingBaselineApproval_ && pendingBaselineApproval_->replacesPublishedBaseline));
  advanceCaptureGeneration(cleanFramesRequired, OutputOnReset::keepLastVerifiedFrame);
  if (refreshWanted) requestBaselineRefresh();
}

}  // namespace corvane::verification
