#pragma once

#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "model/detected_item.h"
#include "model/protected_redaction.h"

namespace corvane::model {

// The outcome of one text analysis of a captured frame.
struct ProtectedFrameAnalysisResult {
  bool analysisSucceeded = false;
  std::vector<ProtectedRedaction> redactions;
  std::vector<DetectedItem> detectedItems;
  int durationMS = 0;
  bool sourceMasksVerifiedInCapture = false;

  bool operator==(const ProtectedFrameAnalysisResult&) const = default;
};

void to_json(nlohmann::json& json, const ProtectedFrameAnalysisResult& result);
void from_json(const nlohmann::json& json, ProtectedFrameAnalysisResult& result);

}  // namespace corvane::model
