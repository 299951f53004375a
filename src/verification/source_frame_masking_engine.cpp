#include "verification/source_frame_masking_engine.h"

#include <algorithm>

#include "verification/normalized_geometry.h"

namespace corvane::verification {

using model::ProtectedRedaction;
using model::ProtectedRedactionScope;

SourceMaskPartition SourceFrameMaskingEngine::partitionRedactions(
    const std::vector<ProtectedRedaction>& redactions) {
  std::vector<platform::Rect> sensitiveAreas;
  for (const auto& redaction : redactions) {
    if (redaction.scope != ProtectedRedactionScope::unverifiedChange) {
      sensitiveAreas.push_back(
          grown(redaction.normalizedFrame, nearHorizontalMargin, nearVerticalMargin));
    }
  }
  auto isNear = [&](const ProtectedRedaction& change) {
    return std::any_of(sensitiveAreas.begin(), sensitiveAreas.end(),
                       [&](const auto& area) { return change.normalizedFrame.intersects(area); });
  };

  SourceMaskPartition partition;
  std::vector<ProtectedRedaction> nearChanges;
  for (const auto& redaction : redactions) {
    if (redaction.scope != ProtectedRedactionScope::unverifiedChange) {
      partition.source.push_back(redaction);
    } else if (isNear(redaction)) {
      nearChanges.push_back(redaction);
    } else {
      partition.publication.push_back(redaction);
    }
  }
  partition.source.insert(partition.source.end(), nearChanges.begin(), nearChanges.end());
  for (auto& mask : partition.source) mask.scope = ProtectedRedactionScope::sourceOverlay;
  return partition;
}

}  // namespace corvane::verification
