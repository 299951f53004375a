#pragma once

#include <array>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "model/enum_coding.h"

namespace corvane::model {

// What a piece of sensitive text is.
enum class SensitiveKind { apiKey, email, phoneNumber, customer, revenue, internalURL };

template <>
struct EnumCases<SensitiveKind> {
  static constexpr std::array cases{
      EnumCase<SensitiveKind>{SensitiveKind::apiKey, "apiKey"},
      EnumCase<SensitiveKind>{SensitiveKind::email, "email"},
      EnumCase<SensitiveKind>{SensitiveKind::phoneNumber, "phoneNumber"},
      EnumCase<SensitiveKind>{SensitiveKind::customer, "customer"},
      EnumCase<SensitiveKind>{SensitiveKind::revenue, "revenue"},
      EnumCase<SensitiveKind>{SensitiveKind::internalURL, "internalURL"},
  };
};

// The kind's name as the user reads it: "API key", "Email", "Phone", "Customer", "Revenue",
// "Internal URL".
std::string_view sensitiveKindTitle(SensitiveKind kind);

enum class RiskLevel { safe, suggested, critical };

template <>
struct EnumCases<RiskLevel> {
  static constexpr std::array cases{
      EnumCase<RiskLevel>{RiskLevel::safe, "safe"},
      EnumCase<RiskLevel>{RiskLevel::suggested, "suggested"},
      EnumCase<RiskLevel>{RiskLevel::critical, "critical"},
  };
};

// The user's decision about one detected item; every new item starts undecided.
enum class DetectionDecision { undecided, alwaysHide, ignoredOnce, neverHide };

template <>
struct EnumCases<DetectionDecision> {
  static constexpr std::array cases{
      EnumCase<DetectionDecision>{DetectionDecision::undecided, "undecided"},
      EnumCase<DetectionDecision>{DetectionDecision::alwaysHide, "alwaysHide"},
      EnumCase<DetectionDecision>{DetectionDecision::ignoredOnce, "ignoredOnce"},
      EnumCase<DetectionDecision>{DetectionDecision::neverHide, "neverHide"},
  };
};

enum class ScanMode { preview, liveScreen };

template <>
struct EnumCases<ScanMode> {
  static constexpr std::array cases{
      EnumCase<ScanMode>{ScanMode::preview, "preview"},
      EnumCase<ScanMode>{ScanMode::liveScreen, "liveScreen"},
  };
};

// One sensitive-text rule, identified by its kind.
struct SensitiveRule {
  SensitiveKind id = SensitiveKind::apiKey;
  bool isEnabled = true;

  // One enabled rule per kind, in the kinds' order.
  static std::vector<SensitiveRule> defaults();

  bool operator==(const SensitiveRule&) const = default;
};

void to_json(nlohmann::json& json, const SensitiveRule& rule);
void from_json(const nlohmann::json& json, SensitiveRule& rule);

}  // namespace corvane::model
