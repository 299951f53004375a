#pragma once

#include <array>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "model/enum_coding.h"
#include "model/sensitive_content.h"
#include "model/uuid.h"
#include "platform/geometry.h"

namespace corvane::model {

// What a covered box stands for: recognised sensitive text, a cover drawn on the real screen, or
// a changed area not verified yet (drawn as a flat fill without label).
enum class ProtectedRedactionScope { sensitiveText, sourceOverlay, unverifiedChange };

template <>
struct EnumCases<ProtectedRedactionScope> {
  static constexpr std::array cases{
      EnumCase<ProtectedRedactionScope>{ProtectedRedactionScope::sensitiveText, "sensitiveText"},
      EnumCase<ProtectedRedactionScope>{ProtectedRedactionScope::sourceOverlay, "sourceOverlay"},
      EnumCase<ProtectedRedactionScope>{ProtectedRedactionScope::unverifiedChange,
                                        "unverifiedChange"},
  };
};

// One covered box. `normalizedFrame` is relative to the captured frame with the origin at the
// top left and may reach outside the unit square.
struct ProtectedRedaction {
  Uuid id = Uuid::random();
  std::string title;
  SensitiveKind kind = SensitiveKind::apiKey;
  RiskLevel risk = RiskLevel::critical;
  platform::Rect normalizedFrame;
  double confidence = 0;
  ProtectedRedactionScope scope = ProtectedRedactionScope::sensitiveText;

  bool operator==(const ProtectedRedaction&) const = default;
};

void to_json(nlohmann::json& json, const ProtectedRedaction& redaction);
void from_json(const nlohmann::json& json, ProtectedRedaction& redaction);

}  // namespace corvane::model
