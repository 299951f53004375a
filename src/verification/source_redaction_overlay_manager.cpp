#include "verification/source_redaction_overlay_manager.h"

namespace corvane::verification {

void SourceRedactionOverlayManager::hide() {
  if (panel_) panel_->orderOut();
  panel_ = nullptr;
  overlayView_ = nullptr;
  redactions_.clear();
  missedScanCounts_.clear();
  protectedApplicationPID_.reset();
  revision_ += 1;  // unsigned: wraps
}

}  // namespace corvane::verification
