#include "model/sensitive_content.h"

#include <nlohmann/json.hpp>

namespace corvane::model {

std::string_view sensitiveKindTitle(SensitiveKind kind) {
  switch (kind) {
    case SensitiveKind::apiKey:
      return "API key";
    case SensitiveKind::email:
      return "Email";
    case SensitiveKind::phoneNumber:
      return "Phone";
    case SensitiveKind::customer:
      return "Customer";
    case SensitiveKind::revenue:
      return "Revenue";
    case SensitiveKind::internalURL:
      return "Internal URL";
  }
  return "Sensitive";
}

std::vector<SensitiveRule> SensitiveRule::defaults() {
  std::vector<SensitiveRule> rules;
  for (SensitiveKind kind : allCases<SensitiveKind>()) rules.push_back({kind, true});
  return rules;
}

void to_json(nlohmann::json& json, const SensitiveRule& rule) {
  json = nlohmann::json{{"id", rule.id}, {"isEnabled", rule.isEnabled}};
}

void from_json(const nlohmann::json& json, SensitiveRule& rule) {
  json.at("id").get_to(rule.id);
  json.at("isEnabled").get_to(rule.isEnabled);
}

}  // namespace corvane::model
