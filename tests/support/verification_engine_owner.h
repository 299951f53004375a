#pragma once

// Plays the owner of a verification engine, the way an application would drive it: it draws the
// source masks the engine asks for on the real screen, reports the shown set back to the engine,
// and approves the pending baseline when the test says so.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "model/protected_redaction.h"
#include "runtime/subscription.h"
#include "verification/legacy_source_protection_engine.h"
#include "verification/protected_source_overlay_update.h"
#include "verification/source_overlay_snapshot.h"

namespace corvane::testing {

class VerificationEngineOwner {
 public:
  // Draws `masks` (normalised, top left, relative to the captured display) on the screen in
  // place of what was drawn, and returns the shown set (a source redaction overlay's show()).
  using MaskDrawer = std::function<verification::SourceOverlaySnapshot(
      std::vector<model::ProtectedRedaction> masks)>;

  // `standingMasks` stay drawn for the whole run, below every requested mask: the overlay's
  // window exists only while it shows a mask, and the engine's capture keeps only the overlay
  // windows it was configured with before the start.
  VerificationEngineOwner(std::shared_ptr<verification::LegacySourceProtectionEngine> engine,
                          MaskDrawer drawMasks,
                          std::vector<model::ProtectedRedaction> standingMasks = {})
      : engine_(std::move(engine)),
        drawMasks_(std::move(drawMasks)),
        standingMasks_(std::move(standingMasks)) {
    overlayUpdates_ = engine_->sourceOverlayUpdate.observeNextTurn(
        [this](const verification::ProtectedSourceOverlayUpdate& update) { handle(update); });
    baselines_ = engine_->pendingBaselinePreview.observeNextTurn(
        [this](const platform::SharedPixelBuffer& preview) {
          if (preview && approvesBaselines_ && engine_->approvePendingBaseline()) ++approvals_;
        });
  }
  VerificationEngineOwner(const VerificationEngineOwner&) = delete;
  VerificationEngineOwner& operator=(const VerificationEngineOwner&) = delete;

  // Draws what must be drawn now (the standing masks before a start) and reports it.
  const verification::SourceOverlaySnapshot& redraw() {
    auto masks = standingMasks_;
    masks.insert(masks.end(), requestedMasks_.begin(), requestedMasks_.end());
    shown_ = drawMasks_(masks);
    engine_->installSourceOverlaySnapshot(shown_);
    ++installs_;
    return shown_;
  }

  // While set, every baseline the engine offers is approved on the turn after it is ready (and
  // one pending now at once).
  void setApprovesBaselines(bool approves) {
    approvesBaselines_ = approves;
    if (approves && engine_->hasPendingBaselineApproval() && engine_->approvePendingBaseline())
      ++approvals_;
  }

  int approvals() const { return approvals_; }
  // Requests for new masks the engine made (updates of origin frameSafetyDetection).
  int maskRequests() const { return maskRequests_; }
  int installs() const { return installs_; }
  const std::vector<model::ProtectedRedaction>& requestedMasks() const { return requestedMasks_; }
  const verification::SourceOverlaySnapshot& shown() const { return shown_; }

 private:
  using Origin = verification::ProtectedSourceOverlayUpdate::Origin;

  // Masks belong to one source context: a new context, or a reset, starts from none; a sync
  // replaces them; a detection adds to them.
  void handle(const verification::ProtectedSourceOverlayUpdate& update) {
    if (update.sourceContextGeneration != context_ || update.origin == Origin::reset ||
        update.origin == Origin::snapshotSync) {
      requestedMasks_.clear();
    }
    context_ = update.sourceContextGeneration;
    if (update.origin == Origin::frameSafetyDetection) ++maskRequests_;
    requestedMasks_.insert(requestedMasks_.end(), update.redactions.begin(),
                           update.redactions.end());
    redraw();
  }

  std::shared_ptr<verification::LegacySourceProtectionEngine> engine_;
  MaskDrawer drawMasks_;
  std::vector<model::ProtectedRedaction> standingMasks_;
  std::vector<model::ProtectedRedaction> requestedMasks_;
  std::uint64_t context_ = 0;
  verification::SourceOverlaySnapshot shown_;
  bool approvesBaselines_ = false;
  int approvals_ = 0;
  int maskRequests_ = 0;
  int installs_ = 0;
  runtime::Subscription overlayUpdates_;
  runtime::Subscription baselines_;
};

}  // namespace corvane::testing
