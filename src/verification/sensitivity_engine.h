#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include "model/detected_item.h"
#include "model/sensitive_content.h"
#include "platform/geometry.h"

namespace corvane::verification {

// What the user chose to find: the enabled kinds and the two word lists, as typed.
struct SensitivityPreferences {
  std::set<model::SensitiveKind> enabledKinds;
  std::vector<std::string> alwaysHideWords;
  std::vector<std::string> neverHideWords;
};

// Finds the sensitive items in one piece of recognised text: five built-in patterns, two keyword
// contexts and the user's always-hide and never-hide words. An immutable value: copies share the
// compiled patterns, and any number of threads may call detect at once.
class SensitivityEngine {
 public:
  struct Pattern {
    model::SensitiveKind kind;
    icu::UnicodeString regex;
    double confidence;
    std::shared_ptr<const icu::RegexPattern> compiled;  // null when `regex` does not compile
  };

  // The engine with the built-in table, compiled once per process.
  SensitivityEngine();

  const std::vector<Pattern>& patterns() const { return *patterns_; }

  // The items found in `text`, highest confidence first (a stable order among equals). Every item
  // carries `source` and `screenFrame` unchanged; its confidence never exceeds `baseConfidence`.
  std::vector<model::DetectedItem> detect(const std::string& text, const std::string& source,
                                          const SensitivityPreferences& preferences,
                                          const std::optional<platform::Rect>& screenFrame,
                                          double baseConfidence) const;

  static constexpr const char* kApiKeyContextWords[] = {"api key",    "api token",  "access token",
                                                        "auth token", "secret key", "password"};
  static constexpr const char* kEmailContextWords[] = {"email", "e-mail", "mail address"};

 private:
  std::shared_ptr<const std::vector<Pattern>> patterns_;
};

}  // namespace corvane::verification
