#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "model/sensitive_content.h"
#include "model/uuid.h"
#include "platform/geometry.h"

namespace corvane::model {

// One detected piece of sensitive text. `text` is the masked form shown to the user; `rawText`
// is the recognised text itself, kept in memory only and never encoded. `screenFrame` is
// normalised to the frame with the origin at the top left. Equality covers every field, the id
// included.
struct DetectedItem {
  Uuid id = Uuid::random();
  std::string text;
  std::optional<std::string> rawText;
  SensitiveKind kind = SensitiveKind::apiKey;
  std::string source;
  RiskLevel risk = RiskLevel::suggested;
  double confidence = 0;
  std::optional<platform::Rect> screenFrame;
  DetectionDecision decision = DetectionDecision::undecided;

  bool operator==(const DetectedItem&) const = default;
};

// The encoded form leaves out rawText; decoding gives an item without one.
void to_json(nlohmann::json& json, const DetectedItem& item);
void from_json(const nlohmann::json& json, DetectedItem& item);

}  // namespace corvane::model

template <>
struct std::hash<corvane::model::DetectedItem> {
  std::size_t operator()(const corvane::model::DetectedItem& item) const noexcept;
};
