#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "capture/protected_captured_frame.h"
#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "runtime/clock.h"
#include "verification/protected_analysis_image_policy.h"

namespace corvane::verification {

// One frame handed from the verification pipeline to text analysis. Fixed once built; handed
// around as a shared pointer to const. Rects are normalised, origin top left.
struct ProtectedAnalysisCandidate {
  // Which of the pipeline's candidates this is: commit and reject act only on the one in flight.
  std::uint64_t identity = 0;
  capture::ProtectedCapturedFrame sourceFrame;
  platform::SharedPixelBuffer sourceImage;    // the frame at full size
  platform::SharedPixelBuffer analysisImage;  // possibly scaled down
  std::vector<ProtectedAnalysisRegionImage> nativeRegionImages;
  runtime::WallTime createdAt;
  int changedTileCount = 0;
  double changedAreaFraction = 0;
  std::vector<platform::Rect> changedRects;
  std::vector<platform::Rect> guardedRects;
  std::uint64_t changeSignature = 0;
  std::uint64_t generation = 0;
  std::uint64_t sourceContextGeneration = 0;
  bool requiresVerifiedPublication = false;
  bool isRedactionRemovalRefresh = false;
  bool isPeriodicAudit = false;
  std::optional<std::uint64_t> fullFrameAuditRequestID;
};

using SharedAnalysisCandidate = std::shared_ptr<const ProtectedAnalysisCandidate>;

}  // namespace corvane::verification
