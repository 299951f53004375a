#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/event_recorder.h"
#include "model/protected_frame_analysis_result.h"
#include "platform/text_recognizer.h"
#include "runtime/clock.h"
#include "verification/mask_merging.h"
#include "verification/protected_analysis_cancellation.h"
#include "verification/protected_frame_analyzer_diagnostic_throttle.h"
#include "verification/sensitivity_engine.h"

namespace corvane::verification {

enum class ProtectedFrameAnalysisQuality {
  // Careful recognition (on Tesseract: small text enlarged) plus text-area detection; a second
  // careful pass re-reads what the first could not, and what neither read is covered as
  // unverified.
  accurate = 0,
  // One quick recognition per region plus text-area detection; a few small gaps are re-read
  // quickly, and what detection saw and recognition could not read is covered as unverified.
  fast = 1,
};

// Audits one captured frame for sensitive text: recognises the text of the named regions, runs
// each line through the sensitivity rules and turns findings, and text it saw but could not
// read, into covered boxes and detected items. Keeps nothing between calls; `analyze` blocks
// its caller (the analysis queue) and may run on several threads at once.
class ProtectedFrameAnalyzer {
 public:
  static constexpr const char* kSource = "Protected share";
  static constexpr int kMaximumImageDimension = 3840;

  struct Services {
    std::shared_ptr<platform::TextRecognizer> recognizer;
    // Monotonic seconds, for durations and the coverage-event throttle.
    std::function<runtime::Uptime()> uptime;
    // Shared by every analyzer of the process.
    std::shared_ptr<ProtectedFrameAnalyzerDiagnosticThrottle> throttle;
    model::EventRecorder record;  // empty: nothing is logged
  };

  // One recognised line and the region of interest (recognition space) that read it.
  struct LocatedTextObservation {
    platform::RecognizedTextObservation observation;
    platform::Rect regionOfInterest;
  };

  ProtectedFrameAnalyzer(SensitivityEngine sensitivityEngine, Services services);

  // `analysisRegions` are top-left normalised rectangles. `framePixelsPerImagePixel`: how much
  // larger the frame the covers are painted on is than `image` (an analysis image scaled down),
  // for the margin painted masks take beyond their covers. Never throws: every failure (no region
  // in fast mode, cancellation, a failed detection or recognition) is an unsuccessful result
  // with nothing in it.
  model::ProtectedFrameAnalysisResult analyze(
      const platform::SharedPixelBuffer& image, const SensitivityPreferences& preferences,
      bool maskAllRecognizedText, const std::vector<platform::Rect>& analysisRegions,
      ProtectedFrameAnalysisQuality quality,
      const std::shared_ptr<ProtectedAnalysisCancellation>& cancellation,
      double framePixelsPerImagePixel = 1) const;

  // Merges redactions of one scope that touch (within 0.006), lie in the same one of `areas` (the
  // parts of the frame read apart: windows, or panels of their own background) and whose bounding
  // box covers hardly more than the boxes merged into them (MaskGroup), in one pass; a merge that
  // holds a critical box is critical and titled "Sensitive".
  static std::vector<model::ProtectedRedaction> coalesced(
      const std::vector<model::ProtectedRedaction>& redactions);
  static std::vector<model::ProtectedRedaction> coalesced(
      const std::vector<model::ProtectedRedaction>& redactions, const MaskAreas& areas);
  // The first item of each kind, text and frame (to the thousandth).
  static std::vector<model::DetectedItem> deduplicated(
      const std::vector<model::DetectedItem>& items);
  static std::vector<platform::TextRecognitionRequest> recognitionRequests(
      ProtectedFrameAnalysisQuality quality, const platform::Rect& regionOfInterest);
  // The observations of every request, in order, without those lacking a candidate and without
  // repeats of the same text at the same place.
  static std::vector<platform::RecognizedTextObservation> deduplicatedObservations(
      const std::vector<platform::RecognizedTextResults>& results);

  const SensitivityEngine& sensitivityEngine() const { return sensitivityEngine_; }

 private:
  class Run;

  SensitivityEngine sensitivityEngine_;
  Services services_;
};

}  // namespace corvane::verification
