#include "verification/protected_frame_change_summary.h"

namespace corvane::verification {

ProtectedFrameChangeSummary ProtectedFrameChangeSummary::fullFrame() {
  ProtectedFrameChangeSummary summary;
  summary.guardedRects = {kUnitSquare};
  summary.changedRects = {kUnitSquare};
  summary.guardedTileCount = 1;
  summary.changedTileCount = 1;
  summary.tileCount = 1;
  summary.signature = 0;
  return summary;
}

}  // namespace corvane::verification
