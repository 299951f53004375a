#include "verification/protected_frame_change_summary.h"

namespace corvane::verification {

ProtectedFrameChangeSummary ProtectedFrameChangeSummary::fullFrame() {
  ProtectedFrameChangeSummary summary;
  summary.guardedRects = {kUnitRect};
  summary.changedRects = {kUnitRect};
  summary.guardedTileCount = 1;
  summary.changedTileCount = 1;
  summary.tileCount = 1;
  summary.signature = 0;
  return summary;
}

}  // namespace corvane::verification
