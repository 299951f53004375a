#include <chrono>
#include <cmath>
#include <utility>

#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/legacy_source_protection_engine.h"
#include "verification/protected_analysis_region_planner.h"
#include "verification/redaction_coalescing.h"

namespace corvane::verification {

using model::ProtectedRedaction;

namespace {

constexpr double kBroadFrameFraction = 0.1;

int changedAreaPercent(const ProtectedAnalysisCandidate& candidate) {
  return static_cast<int>(std::lround(candidate.changedAreaFraction * 100));
}

// Masks merge only within one window of the frame.
MaskAreas windowsOf(const ProtectedAnalysisCandidate& candidate) {
  return ProtectedAnalysisRegionPlanner::windowRegions(candidate.sourceImage.get());
}

std::string publishedStatus(std::size_t redactionCount) {
  if (redactionCount == 0) return "Verified frame published";
  return "Verified frame published with " + std::to_string(redactionCount) + " redactions";
}

}  // namespace

// Decides whether an analysed frame reaches the output: at once (a confirmed clean change), not
// at all (stale, paused, an audit, masks still to be shown), or through the user's review (the
// first frame of a capture and a requested baseline refresh). `result` carries the output
// redactions; `sourceRedactions` the text that must be masked on the real screen.
void LegacySourceProtectionEngine::publishVerifiedFrame(
    SharedAnalysisCandidate candidate, model::ProtectedFrameAnalysisResult result,
    std::vector<ProtectedRedaction> sourceRedactions, bool isBaselineReview,
    std::uint64_t sourceOverlayRevision,
    std::vector<ProtectedRedaction> protectedSourceRedactions) {
  runtime::assertMainActor();
  const auto generation = candidate->generation;
  if (!isCurrentAnalysis(*candidate) || !model::isActive(phase.value()) ||
      isSourceContextTransitioning.value()) {
    holdCandidate(candidate, true);
    return;
  }
  // A review waits for the user and keeps the analysis open until it is resolved: no other frame
  // is published meanwhile, and the review stays as it is.
  if (pendingBaselineApproval_) {
    pipeline_->reject(candidate);
    countHeldFrame();
    return;
  }
  if (isPublishingPaused.value()) {
    pipeline_->reject(candidate);
    retryBaselineRefreshIfNeeded(*candidate);
    finishAnalysisIfCurrent(generation);
    statusMessage.set("Protected Share paused on the last verified frame");
    return;
  }

  const auto authorization = authorizeSourceMasks(candidate, result, sourceRedactions,
                                                  sourceOverlayRevision, protectedSourceRedactions);
  if (!authorization) return;

  model::ProtectedFrameAnalysisResult verified;
  verified.analysisSucceeded = result.analysisSucceeded;
  verified.redactions =
      coalesced(result.redactions, authorization->protectedSet, windowsOf(*candidate));
  verified.detectedItems =
      result.detectedItems.empty() ? detectedItems.value() : result.detectedItems;
  verified.durationMS = result.durationMS;
  verified.sourceMasksVerifiedInCapture = authorization->sourceMasksVerified;

  const bool frameOut = renderedFrame.value().has_value();
  if (candidate->isPeriodicAudit && !isBaselineReview) {
    pipeline_->reject(candidate);
    auto updated = metrics.value();
    updated.lastAnalysisDurationMS = result.durationMS;
    metrics.set(updated);
    finishAnalysisIfCurrent(generation);
    isHoldingPreviousVerifiedFrame.set(false);
    phase.set(model::ProtectedSharePhase::sharing);
    statusMessage.set("Verified frame audit complete");
    return;
  }
  if (!isBaselineReview && frameOut) {
    if (cleanChangeGate_.recordCleanResult(candidate->changeSignature)) {
      commitVerifiedFrame(candidate, verified, false);
      return;
    }
    pipeline_->reject(candidate);
    countHeldFrame(result.durationMS);
    finishAnalysisIfCurrent(generation);
    isHoldingPreviousVerifiedFrame.set(true);
    statusMessage.set("Holding last verified frame while changed regions are confirmed");
    return;
  }
  openBaselineReview(candidate, std::move(verified), sourceOverlayRevision);
}

// Hands the frame with its final covers to the pipeline. The published record, metrics, status
// and events follow only once the pipeline reports that the frame reached the output.
void LegacySourceProtectionEngine::commitVerifiedFrame(
    const SharedAnalysisCandidate& candidate, const model::ProtectedFrameAnalysisResult& result,
    bool replaceExistingRedactions) {
  runtime::assertMainActor();
  cleanChangeGate_.clear();
  std::vector<ProtectedRedaction> redactions;
  if (!replaceExistingRedactions) {
    if (const auto& frame = renderedFrame.value()) {
      redactions = candidate->isPeriodicAudit
                       ? frame->redactions
                       : carriedForwardRedactions(frame->redactions, candidate->changedRects);
    }
  }
  auto finalRedactions = coalesced(std::move(redactions), result.redactions, windowsOf(*candidate));
  std::weak_ptr<LegacySourceProtectionEngine> weak = weak_from_this();
  pipeline_->commit(
      candidate, finalRedactions,
      [weak, candidate, result, finalRedactions](bool published) mutable {
        runtime::postToMain(weak, [candidate = std::move(candidate), result = std::move(result),
                                   finalRedactions = std::move(finalRedactions),
                                   published](LegacySourceProtectionEngine& engine) mutable {
          engine.finishVerifiedCommit(candidate, result, std::move(finalRedactions), published);
        });
      });
}

void LegacySourceProtectionEngine::finishVerifiedCommit(
    const SharedAnalysisCandidate& candidate, const model::ProtectedFrameAnalysisResult& result,
    std::vector<ProtectedRedaction> finalRedactions, bool published) {
  runtime::assertMainActor();
  const auto generation = candidate->generation;
  // Refused (the candidate was no longer the pipeline's, or its capture ended meanwhile): the
  // output keeps the last verified frame.
  if (!published || generation != captureGeneration_ ||
      candidate->sourceContextGeneration != sourceContextGeneration_) {
    if (!model::isActive(phase.value())) return;
    countHeldFrame();
    record("protected_share_verified_frame_refused",
           {{"sequence", std::to_string(candidate->sourceFrame.sequence)}});
    finishAnalysisIfCurrent(generation);
    isHoldingPreviousVerifiedFrame.set(renderedFrame.value().has_value());
    return;
  }

  const bool isFirstFrame = !renderedFrame.value();
  const auto now = runtime::uptime();
  const auto wallNow = runtime::now();
  const auto redactionCount = finalRedactions.size();
  const int width = candidate->sourceImage ? candidate->sourceImage->width() : 0;
  const int height = candidate->sourceImage ? candidate->sourceImage->height() : 0;
  renderedFrame.set(
      model::ProtectedRenderedFrame{candidate->sourceFrame.sequence,
                                    {static_cast<double>(width), static_cast<double>(height)},
                                    std::move(finalRedactions)});
  detectedItems.set(result.detectedItems);

  auto updated = metrics.value();
  updated.verifiedFrames += 1;
  updated.redactionsApplied = static_cast<int>(redactionCount);
  updated.lastAnalysisDurationMS = result.durationMS;
  updated.lastChangedAreaPercent = changedAreaPercent(*candidate);
  updated.outputWidth = width;
  updated.outputHeight = height;
  updated.lastFrameDate = wallNow;
  metrics.set(updated);
  lastPublishedFrameTime_ = now;
  liveHealthMonitoringStartedAt_ = now;
  finishAnalysisIfCurrent(generation);
  isHoldingPreviousVerifiedFrame.set(false);
  statusMessage.set(publishedStatus(redactionCount));

  const auto redactionsField = std::to_string(redactionCount);
  const auto percentField = std::to_string(updated.lastChangedAreaPercent);
  const auto durationField = std::to_string(result.durationMS);
  if (candidate->changedAreaFraction >= kBroadFrameFraction) {
    const auto endToEnd =
        std::chrono::duration_cast<std::chrono::milliseconds>(wallNow - candidate->createdAt);
    record("protected_share_broad_frame_published",
           {{"analysisMS", durationField},
            {"endToEndMS", std::to_string(endToEnd.count())},
            {"changedAreaPercent", percentField},
            {"redactions", redactionsField}});
  }
  if (!isFirstFrame) {
    if (updated.verifiedFrames == 2) {
      record("protected_share_second_frame_published", {{"redactions", redactionsField},
                                                        {"durationMS", durationField},
                                                        {"changedAreaPercent", percentField}});
    }
    return;
  }
  lastMetricsPublishTime_ = now;
  lastPerformanceReportTime_ = now;
  lastRateCapturedFrameCount_ = capturedFrameCount_;
  lastRateOutputFrameCount_ = outputFrameCount_;
  lastRateVerifiedFrameCount_ = updated.verifiedFrames;
  firstFrameWatchdogTask_.cancel();
  firstFrameWatchdogTask_ = {};
  firstFrameWatchdogExtensionCount_ = 0;
  scheduleLivenessWatchdog();
  record("protected_share_first_frame_published", {{"redactions", redactionsField},
                                                   {"durationMS", durationField},
                                                   {"width", std::to_string(width)},
                                                   {"height", std::to_string(height)},
                                                   {"changedAreaPercent", percentField}});
}

}  // namespace corvane::verification
