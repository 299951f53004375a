#include "windows/sensitive_text_view_model.h"

namespace corvane::windows {

using model::SensitiveKind;

std::string SensitiveTextViewModel::ruleTitle(SensitiveKind kind) {
  return std::string(model::sensitiveKindTitle(kind));
}

std::string SensitiveTextViewModel::ruleSymbol(SensitiveKind kind) {
  switch (kind) {
    case SensitiveKind::apiKey:
      return "key";
    case SensitiveKind::email:
      return "envelope";
    case SensitiveKind::phoneNumber:
      return "phone";
    case SensitiveKind::customer:
      return "person";
    case SensitiveKind::revenue:
      return "dollarsign.circle";
    case SensitiveKind::internalURL:
      return "globe";
  }
  return {};
}

std::vector<SensitiveRuleRowModel> SensitiveTextViewModel::ruleRows(
    const std::vector<model::SensitiveRule>& rules) {
  std::vector<SensitiveRuleRowModel> rows;
  rows.reserve(rules.size());
  for (const auto& rule : rules) {
    rows.push_back({rule.id, ruleTitle(rule.id), ruleSymbol(rule.id), rule.isEnabled,
                    rule.id != rules.back().id});
  }
  return rows;
}

}  // namespace corvane::windows
