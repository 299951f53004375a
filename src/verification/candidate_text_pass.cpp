#include "verification/candidate_text_pass.h"

#include <utility>

#include "verification/normalized_geometry.h"
#include "verification/protected_analysis_region_planner.h"

namespace corvane::verification {

using model::ProtectedFrameAnalysisResult;

platform::Rect mappedFromRegion(const platform::Rect& rect, const platform::Rect& region) {
  return clippedToUnit(mappedOut(rect, region));
}

namespace {

const std::vector<platform::Rect> kWholeImage{kUnitRect};

ProtectedFrameAnalysisResult readRegionImages(const ProtectedFrameAnalyzer& analyzer,
                                              const CandidateTextPass& pass) {
  ProtectedFrameAnalysisResult combined;
  for (const ProtectedAnalysisRegionImage& region : pass.candidate->nativeRegionImages) {
    if (pass.cancellation && pass.cancellation->isCancelled()) {
      combined.analysisSucceeded = false;
      return combined;
    }
    const ProtectedFrameAnalysisResult part =
        analyzer.analyze(region.image, pass.preferences, pass.maskAllRecognizedText, kWholeImage,
                         ProtectedFrameAnalysisQuality::fast, pass.cancellation);
    combined.durationMS += part.durationMS;
    if (!part.analysisSucceeded) {
      combined.analysisSucceeded = false;
      return combined;
    }
    const platform::Rect& frame = region.normalizedTopLeftFrame;
    for (model::ProtectedRedaction redaction : part.redactions) {
      redaction.normalizedFrame = mappedFromRegion(redaction.normalizedFrame, frame);
      combined.redactions.push_back(std::move(redaction));
    }
    for (model::DetectedItem item : part.detectedItems) {
      if (item.screenFrame) item.screenFrame = mappedFromRegion(*item.screenFrame, frame);
      combined.detectedItems.push_back(std::move(item));
    }
  }
  combined.redactions = ProtectedFrameAnalyzer::coalesced(combined.redactions);
  combined.analysisSucceeded = true;
  return combined;
}

}  // namespace

ProtectedFrameAnalysisResult readCandidateText(const ProtectedFrameAnalyzer& analyzer,
                                               const CandidateTextPass& pass) {
  const ProtectedAnalysisCandidate& candidate = *pass.candidate;
  if (pass.isRegionPass && !candidate.nativeRegionImages.empty())
    return readRegionImages(analyzer, pass);
  // A careful read plans along the frame's windows, so that each is read on its own. A quick
  // region pass keeps to the change: cut along windows, it would cover every textless window
  // piece the change's margins reach as a change without text.
  using Planner = ProtectedAnalysisRegionPlanner;
  const auto regions =
      Planner::regions(candidate.changedRects, Planner::kHorizontalMargin, Planner::kVerticalMargin,
                       pass.isRegionPass ? Planner::WindowRegions{}
                                         : Planner::windowRegions(candidate.sourceImage.get()));
  return analyzer.analyze(candidate.analysisImage, pass.preferences, pass.maskAllRecognizedText,
                          regions,
                          pass.isRegionPass ? ProtectedFrameAnalysisQuality::fast
                                            : ProtectedFrameAnalysisQuality::accurate,
                          pass.cancellation);
}

}  // namespace corvane::verification
