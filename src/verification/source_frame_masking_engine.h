#pragma once

#include <memory>
#include <vector>

#include "model/protected_redaction.h"
#include "verification/protected_frame_analyzer.h"

namespace corvane::verification {

// Which covers are drawn on the real screen (source masks) and which only into published frames.
struct SourceMaskPartition {
  std::vector<model::ProtectedRedaction> source;
  std::vector<model::ProtectedRedaction> publication;
};

// Finds sensitive text for the source masks (through its analyzer) and splits an analysis
// result's covers between the real screen and the published frame.
struct SourceFrameMaskingEngine {
  // How far around sensitive text an unverified change still counts as touching it.
  static constexpr double nearHorizontalMargin = 0.04;
  static constexpr double nearVerticalMargin = 0.05;

  std::shared_ptr<ProtectedFrameAnalyzer> analyzer;

  // Every sensitive cover, and every unverified change near one, becomes a source mask (in input
  // order, scope sourceOverlay); the other unverified changes stay publication-only.
  static SourceMaskPartition partitionRedactions(
      const std::vector<model::ProtectedRedaction>& redactions);
};

}  // namespace corvane::verification
