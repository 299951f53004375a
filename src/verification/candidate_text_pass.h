#pragma once

#include <memory>

#include "model/protected_frame_analysis_result.h"
#include "platform/geometry.h"
#include "verification/protected_analysis_cancellation.h"
#include "verification/protected_analysis_candidate.h"
#include "verification/protected_frame_analyzer.h"
#include "verification/sensitivity_engine.h"
#include "verification/source_overlay_snapshot.h"

namespace corvane::verification {

// One admitted candidate on its way through text analysis, with everything fixed when the
// analysis started: what the owner's masks were, whether the capture showed them, how the frame
// is to be read and the switch that cancels it. A value; safe to hand between threads.
struct CandidateTextPass {
  SharedAnalysisCandidate candidate;
  SourceOverlaySnapshot sourceOverlaySnapshot;  // as expected when the candidate was admitted
  bool sourceMasksVerifiedInCapture = false;
  // No verified frame was out: the frame is read whole and becomes a baseline to approve.
  bool isFirstFrame = false;
  bool isBaselineReview = false;
  // An ordinary change: read quickly, on the native crops of its regions when there are some.
  bool isRegionPass = false;
  SensitivityPreferences preferences;
  bool maskAllRecognizedText = true;
  std::shared_ptr<ProtectedAnalysisCancellation> cancellation;
};

// Reads the text of a candidate (on the analysis queue; blocks). A region pass reads each planned
// region of the change (a native crop when there are some) at `fast` quality over its parts in
// the frame's windows, stopping before the next region once cancelled and at the first failure
// (the durations so far are kept), and maps what it found into the frame; the rest is read once
// over the regions planned along the windows, at `accurate` quality.
model::ProtectedFrameAnalysisResult readCandidateText(const ProtectedFrameAnalyzer& analyzer,
                                                      const CandidateTextPass& pass);

// A rect normalised to `region` as a rect of the whole frame, clipped to the unit square.
platform::Rect mappedFromRegion(const platform::Rect& rect, const platform::Rect& region);

}  // namespace corvane::verification
