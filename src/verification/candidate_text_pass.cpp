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

// How much larger the frame is than the image analysis reads (scaled down to a long edge).
double framePixelsPerAnalysisPixel(const ProtectedAnalysisCandidate& candidate) {
  if (!candidate.sourceImage || !candidate.analysisImage || candidate.analysisImage->height() < 1)
    return 1;
  return static_cast<double>(candidate.sourceImage->height()) / candidate.analysisImage->height();
}

// Reads each image quickly, over its parts, and maps what it found into the frame; nothing to
// read is an unsuccessful read.
ProtectedFrameAnalysisResult readRegionImages(
    const ProtectedFrameAnalyzer& analyzer, const CandidateTextPass& pass,
    const std::vector<ProtectedAnalysisRegionImage>& regionImages,
    double framePixelsPerImagePixel) {
  ProtectedFrameAnalysisResult combined;
  if (regionImages.empty()) return combined;
  MaskAreas readApart;  // the parts read, in the frame: masks merge only within one
  for (const ProtectedAnalysisRegionImage& region : regionImages) {
    for (const platform::Rect& part : region.parts.empty() ? kWholeImage : region.parts)
      readApart.push_back({mappedFromRegion(part, region.normalizedTopLeftFrame)});
  }
  for (const ProtectedAnalysisRegionImage& region : regionImages) {
    if (pass.cancellation && pass.cancellation->isCancelled()) {
      combined.analysisSucceeded = false;
      return combined;
    }
    const ProtectedFrameAnalysisResult part = analyzer.analyze(
        region.image, pass.preferences, pass.maskAllRecognizedText,
        region.parts.empty() ? kWholeImage : region.parts, ProtectedFrameAnalysisQuality::fast,
        pass.cancellation, framePixelsPerImagePixel);
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
  combined.redactions = ProtectedFrameAnalyzer::coalesced(combined.redactions, readApart);
  combined.analysisSucceeded = true;
  return combined;
}

}  // namespace

ProtectedFrameAnalysisResult readCandidateText(const ProtectedFrameAnalyzer& analyzer,
                                               const CandidateTextPass& pass) {
  const ProtectedAnalysisCandidate& candidate = *pass.candidate;
  if (pass.isRegionPass && !candidate.nativeRegionImages.empty())
    return readRegionImages(analyzer, pass, candidate.nativeRegionImages, 1);
  // Both plan along the frame's windows, so that each is read on its own. A quick region pass
  // reads each planned region of the change as one, over its parts in each window: a part without
  // text is a change without text only when the rest of its region holds none either.
  using Planner = ProtectedAnalysisRegionPlanner;
  const auto windows = Planner::windowRegions(candidate.sourceImage.get());
  const double h = Planner::kHorizontalMargin, v = Planner::kVerticalMargin;
  if (pass.isRegionPass) {
    const auto parts = Planner::changeRegions(candidate.changedRects, h, v, windows);
    std::vector<ProtectedAnalysisRegionImage> reads;
    for (const platform::Rect& region : Planner::regions(candidate.changedRects, h, v))
      reads.push_back({candidate.analysisImage, kUnitRect, Planner::partsWithin(parts, region)});
    return readRegionImages(analyzer, pass, reads, framePixelsPerAnalysisPixel(candidate));
  }
  return analyzer.analyze(candidate.analysisImage, pass.preferences, pass.maskAllRecognizedText,
                          Planner::regions(candidate.changedRects, h, v, windows),
                          ProtectedFrameAnalysisQuality::accurate, pass.cancellation,
                          framePixelsPerAnalysisPixel(candidate));
}

}  // namespace corvane::verification
