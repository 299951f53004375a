#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/legacy_source_protection_engine.h"
#include "verification/redaction_coalescing.h"

namespace corvane::verification {

using model::ProtectedRedaction;
using model::ProtectedRedactionScope;

namespace {

constexpr double kHoldReportInterval = 1.0;
constexpr double kAuthorizationWatchInterval = 1.0;

std::string text(bool value) {
  return value ? "true" : "false";
}

std::string textOrNone(const std::optional<std::uint64_t>& value) {
  return value ? std::to_string(*value) : "none";
}

std::map<std::string, std::string> requestFields(const std::vector<ProtectedRedaction>& masks,
                                                 bool maskAllText, std::size_t customTerms) {
  std::set<std::string> kinds;
  double minimumConfidence = masks.front().confidence;
  for (const auto& mask : masks) {
    kinds.insert(std::string(model::rawValue(mask.kind)));
    minimumConfidence = std::min(minimumConfidence, mask.confidence);
  }
  std::string kindList;
  for (const auto& kind : kinds) kindList += (kindList.empty() ? "" : ",") + kind;
  char confidence[32];
  std::snprintf(confidence, sizeof confidence, "%.2f", minimumConfidence);
  return {{"count", std::to_string(masks.size())},
          {"kinds", kindList},
          {"minimumConfidence", confidence},
          {"maskAllText", text(maskAllText)},
          {"customTerms", std::to_string(customTerms)}};
}

}  // namespace

// MARK: - Requests to the owner

void LegacySourceProtectionEngine::beginPendingSourceMaskAuthorization(
    const std::vector<ProtectedRedaction>& redactions,
    const ProtectedAnalysisCandidate& candidate) {
  runtime::assertMainActor();
  const bool alreadyPending = !pendingSourceMaskRedactions_.empty();
  pendingSourceMaskRedactions_ = coalesced(redactions);
  pendingSourceMaskRevision_.reset();
  pendingSourceMaskGeneration_ = candidate.generation;
  pendingSourceMaskContextGeneration_ = candidate.sourceContextGeneration;
  // The time limit runs from the first request until a frame certifies the masks; later
  // requests in between do not restart it.
  if (!alreadyPending) watchSourceMaskAuthorization();
}

void LegacySourceProtectionEngine::mergeSourceOverlayRedactions(
    const std::vector<ProtectedRedaction>& redactions,
    const std::vector<model::DetectedItem>& items) {
  runtime::assertMainActor();
  sourceOverlayRedactions_ = coalesced(sourceOverlayRedactions_, redactions);
  sourceOverlayUpdate.set({sourceContextGeneration_, redactions,
                           ProtectedSourceOverlayUpdate::Origin::frameSafetyDetection});
  pipeline_->updateLiveRedactions(redactionsReplacingSourceOverlays(sourceOverlayRedactions_),
                                  sourceContextGeneration_);
  auto allItems = detectedItems.value();
  allItems.insert(allItems.end(), items.begin(), items.end());
  detectedItems.set(deduplicatedDetectedItems(allItems));
}

std::vector<ProtectedRedaction> LegacySourceProtectionEngine::redactionsReplacingSourceOverlays(
    const std::vector<ProtectedRedaction>& sourceOverlays) const {
  std::vector<ProtectedRedaction> redactions;
  if (const auto& frame = renderedFrame.value()) {
    std::copy_if(frame->redactions.begin(), frame->redactions.end(), std::back_inserter(redactions),
                 [](const ProtectedRedaction& redaction) {
                   return redaction.scope != ProtectedRedactionScope::sourceOverlay;
                 });
  }
  return coalesced(std::move(redactions), sourceOverlays);
}

void LegacySourceProtectionEngine::installSourceOverlaySnapshot(SourceOverlaySnapshot snapshot) {
  runtime::assertMainActor();
  // The pending masks count as drawn under this revision only when the shown set covers each.
  if (!pendingSourceMaskRedactions_.empty() &&
      uncoveredSourceRedactions(pendingSourceMaskRedactions_, snapshot.redactions).empty())
    pendingSourceMaskRevision_ = snapshot.revision;
  expectedSourceOverlaySnapshot_ = std::move(snapshot);
}

// MARK: - Authorisation at publication

void LegacySourceProtectionEngine::holdForSourceMasks(const SharedAnalysisCandidate& candidate,
                                                      int durationMS) {
  pipeline_->reject(candidate);
  countHeldFrame(durationMS);
  finishAnalysisIfCurrent(candidate->generation);
  isHoldingPreviousVerifiedFrame.set(renderedFrame.value().has_value());
}

std::optional<LegacySourceProtectionEngine::SourceMaskAuthorization>
LegacySourceProtectionEngine::authorizeSourceMasks(
    const SharedAnalysisCandidate& candidate, const model::ProtectedFrameAnalysisResult& result,
    const std::vector<ProtectedRedaction>& sourceRedactions, std::uint64_t sourceOverlayRevision,
    const std::vector<ProtectedRedaction>& protectedSourceRedactions) {
  const bool frameOut = renderedFrame.value().has_value();

  // The owner redrew the masks while this frame was analysed: it may show either set.
  if (expectedSourceOverlaySnapshot_.revision != sourceOverlayRevision) {
    holdCandidate(candidate, false);
    isHoldingPreviousVerifiedFrame.set(frameOut);
    statusMessage.set("Holding last verified frame while source masks settle");
    return std::nullopt;
  }

  auto protectedSet =
      coalesced(protectedSourceRedactions, expectedSourceOverlaySnapshot_.redactions);
  const auto uncovered = uncoveredSourceRedactions(sourceRedactions, protectedSet);
  if (!uncovered.empty()) {
    beginPendingSourceMaskAuthorization(uncovered, *candidate);
    mergeSourceOverlayRedactions(uncovered, result.detectedItems);
    record("protected_share_source_masks_requested",
           requestFields(uncovered, maskAllRecognizedText_, alwaysHideWords_.size()));
    holdForSourceMasks(candidate, result.durationMS);
    statusMessage.set(frameOut ? "Holding changed tiles until source masks are captured"
                               : "Applying source masks before baseline review");
    return std::nullopt;
  }

  if (pendingSourceMaskRedactions_.empty())
    return SourceMaskAuthorization{std::move(protectedSet), result.sourceMasksVerifiedInCapture};

  const bool certified = result.sourceMasksVerifiedInCapture &&
                         pendingSourceMaskRevision_ == sourceOverlayRevision &&
                         pendingSourceMaskGeneration_ == candidate->generation &&
                         pendingSourceMaskContextGeneration_ == candidate->sourceContextGeneration;
  const auto changedRegions = std::to_string(candidate->guardedRects.size());
  if (certified) {
    pendingSourceMaskRedactions_.clear();
    pendingSourceMaskRevision_.reset();
    pendingSourceMaskGeneration_.reset();
    pendingSourceMaskContextGeneration_.reset();
    sourceMaskAuthorizationWatchTask_.cancel();
    record("protected_share_source_masked_frame_certified",
           {{"sequence", std::to_string(candidate->sourceFrame.sequence)},
            {"revision", std::to_string(sourceOverlayRevision)},
            {"changedRegions", changedRegions}});
    return SourceMaskAuthorization{std::move(protectedSet), true};
  }

  holdForSourceMasks(candidate, result.durationMS);
  statusMessage.set(frameOut ? "Holding last verified frame until source masks are certified"
                             : "Waiting for verified source masks before first frame");
  const auto now = runtime::uptime();
  if (now - lastSourceMaskAuthorizationHoldReportTime_ >= kHoldReportInterval) {
    lastSourceMaskAuthorizationHoldReportTime_ = now;
    record("protected_share_source_mask_authorization_held",
           {{"sequence", std::to_string(candidate->sourceFrame.sequence)},
            {"pendingRevision", textOrNone(pendingSourceMaskRevision_)},
            {"snapshotRevision", std::to_string(sourceOverlayRevision)},
            {"containsExpectedMasks", text(result.sourceMasksVerifiedInCapture)},
            {"changedRegions", changedRegions}});
  }
  return std::nullopt;
}

// MARK: - Time limit

// Masks that are never shown (the overlay failed, or never reported its revision) would hold
// every later frame of the capture without a word. Once the masks have been pending for the
// time limit, counting only time in which frames could certify them, the engine fails closed.
void LegacySourceProtectionEngine::watchSourceMaskAuthorization() {
  sourceMaskAuthorizationWatchTask_.cancel();
  sourceMaskAuthorizationWatchTask_ =
      runtime::spawn(runSourceMaskAuthorizationWatch(weak_from_this(), captureGeneration_));
}

runtime::Task<void> LegacySourceProtectionEngine::runSourceMaskAuthorizationWatch(
    std::weak_ptr<LegacySourceProtectionEngine> weak, std::uint64_t generation) {
  runtime::Uptime deadline = runtime::uptime() + kSourceMaskAuthorizationTimeout;
  while (true) {
    co_await runtime::sleep(kAuthorizationWatchInterval);
    if (co_await runtime::isCancelled()) co_return;
    auto self = weak.lock();
    if (!self || self->captureGeneration_ != generation || !model::isActive(self->phase.value()) ||
        self->pendingSourceMaskRedactions_.empty())
      co_return;
    // While the output is held on purpose no frame can certify the masks.
    if (self->isPublishingPaused.value() || self->isSourceContextTransitioning.value() ||
        self->isCaptureFilterTransitioning.value()) {
      deadline = runtime::uptime() + kSourceMaskAuthorizationTimeout;
      continue;
    }
    if (runtime::uptime() < deadline) continue;
    self->record(
        "protected_share_source_mask_authorization_timed_out",
        {{"masks", std::to_string(self->pendingSourceMaskRedactions_.size())},
         {"pendingRevision", textOrNone(self->pendingSourceMaskRevision_)},
         {"snapshotRevision", std::to_string(self->expectedSourceOverlaySnapshot_.revision)}});
    auto fail = self->failActiveStream(kSourceMasksNotShownMessage);
    co_await std::move(fail);
    co_return;
  }
}

}  // namespace corvane::verification
