#pragma once

#include <string>
#include <vector>

#include "model/sensitive_content.h"

namespace corvane::windows {

// One rule row of the Sensitive Text section.
struct SensitiveRuleRowModel {
  model::SensitiveKind kind = model::SensitiveKind::apiKey;
  std::string title;
  std::string systemImage;
  bool isOn = false;
  // A divider follows every row but the last.
  bool hasDivider = false;

  bool operator==(const SensitiveRuleRowModel&) const = default;
};

struct SensitiveTextViewModel {
  static constexpr const char* rulesTitle = "Sensitive text rules";
  static constexpr const char* rulesSubtitle = "Detect and protect sensitive information.";
  static constexpr const char* alwaysHideTitle = "Always hide these words";
  static constexpr const char* neverHideTitle = "Never hide these words";
  static constexpr const char* wordListSubtitle = "Comma separated";

  static std::string ruleTitle(model::SensitiveKind kind);
  static std::string ruleSymbol(model::SensitiveKind kind);
  // One row per rule, in list order. A row counts as last when its kind is the last rule's kind.
  static std::vector<SensitiveRuleRowModel> ruleRows(
      const std::vector<model::SensitiveRule>& rules);
};

}  // namespace corvane::windows
