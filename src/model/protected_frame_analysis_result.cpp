#include "model/protected_frame_analysis_result.h"

#include <nlohmann/json.hpp>

namespace corvane::model {

void to_json(nlohmann::json& json, const ProtectedFrameAnalysisResult& result) {
  json = nlohmann::json{{"analysisSucceeded", result.analysisSucceeded},
                        {"redactions", result.redactions},
                        {"detectedItems", result.detectedItems},
                        {"durationMS", result.durationMS},
                        {"sourceMasksVerifiedInCapture", result.sourceMasksVerifiedInCapture}};
}

void from_json(const nlohmann::json& json, ProtectedFrameAnalysisResult& result) {
  json.at("analysisSucceeded").get_to(result.analysisSucceeded);
  json.at("redactions").get_to(result.redactions);
  json.at("detectedItems").get_to(result.detectedItems);
  json.at("durationMS").get_to(result.durationMS);
  json.at("sourceMasksVerifiedInCapture").get_to(result.sourceMasksVerifiedInCapture);
}

}  // namespace corvane::model
