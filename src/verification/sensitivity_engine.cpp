#include "verification/sensitivity_engine.h"

#include <algorithm>

#include "verification/icu_regex.h"
#include "verification/sensitive_display_text.h"
#include "verification/sensitive_terms.h"
#include "verification/unicode_text.h"

namespace corvane::verification {
namespace {

using model::DetectedItem;
using model::RiskLevel;
using model::SensitiveKind;

constexpr double kContextConfidence = 0.9;
constexpr double kAlwaysHideConfidence = 0.72;

icu::UnicodeString separatorClass() {
  return icu::UnicodeString(u"[\\s.") + kDashClassCharacters + u"]";
}

std::vector<SensitivityEngine::Pattern> builtInPatterns() {
  const icu::UnicodeString separator = separatorClass();
  const icu::UnicodeString phone = icu::UnicodeString(u"(?<![\\d-])(?:(?:\\+\\d{1,3}") + separator +
                                   u"?)?(?:\\(\\d{2,4}\\)|\\d{2,4})" + separator + u"\\d{3,4}" +
                                   separator + u"\\d{4}|\\d{10,15})(?![\\d-])";
  std::vector<SensitivityEngine::Pattern> table = {
      {SensitiveKind::apiKey,
       uR"(\b(sk-[A-Za-z0-9_-]{8,}|ghp_[A-Za-z0-9_]{8,}|Bearer\s+[A-Za-z0-9._-]{8,}|AKIA[0-9A-Z]{12,})\b)",
       0.97, nullptr},
      {SensitiveKind::email, uR"(\b[A-Z0-9._%+-]+@[A-Z0-9.-]+\.[A-Z]{2,}\b)", 0.94, nullptr},
      {SensitiveKind::phoneNumber, phone, 0.86, nullptr},
      {SensitiveKind::revenue, uR"(\$[0-9,]+(?:\.\d{2})?\s?(?:MRR|ARR|revenue)?)", 0.84, nullptr},
      {SensitiveKind::internalURL,
       uR"(\b(?:https?://)?[A-Za-z0-9.-]*(?:internal|staging|admin)[A-Za-z0-9.-]+\.[A-Za-z]{2,}[^\s]*)",
       0.91, nullptr},
  };
  for (SensitivityEngine::Pattern& pattern : table) {
    pattern.compiled = compileRegex(pattern.regex, UREGEX_CASE_INSENSITIVE);
  }
  return table;
}

RiskLevel riskOf(SensitiveKind kind) {
  return kind == SensitiveKind::apiKey || kind == SensitiveKind::internalURL ? RiskLevel::critical
                                                                             : RiskLevel::suggested;
}

// Everything one detect call shares between its steps.
struct DetectionContext {
  const icu::UnicodeString& text;
  const std::string& source;
  const std::optional<platform::Rect>& screenFrame;
  double baseConfidence;
  std::vector<icu::UnicodeString> neverHide;

  DetectedItem item(SensitiveKind kind, const icu::UnicodeString& display,
                    const icu::UnicodeString& raw, RiskLevel risk, double confidence) const {
    DetectedItem made;
    made.text = utf8(display);
    made.rawText = utf8(raw);
    made.kind = kind;
    made.source = source;
    made.risk = risk;
    made.confidence = std::min(confidence, baseConfidence);
    made.screenFrame = screenFrame;
    return made;
  }
};

void appendPatternMatches(const SensitivityEngine::Pattern& pattern,
                          const DetectionContext& context, std::vector<DetectedItem>& items) {
  if (!pattern.compiled) return;
  forEachMatch(*pattern.compiled, context.text, [&](int32_t start, int32_t end) {
    const icu::UnicodeString match(context.text, start, end - start);
    if (containsAnyTerm(lowercased(match), context.neverHide)) return;
    items.push_back(context.item(pattern.kind, maskedDisplayText(pattern.kind, match), match,
                                 riskOf(pattern.kind), pattern.confidence));
  });
}

template <std::size_t N>
bool containsAnyWord(const icu::UnicodeString& lowercasedText, const char* const (&words)[N]) {
  return std::any_of(std::begin(words), std::end(words), [&](const char* word) {
    return containsSubstring(lowercasedText, icu::UnicodeString(word, -1, US_INV));
  });
}

std::optional<DetectedItem> contextualMatch(const DetectionContext& context,
                                            const std::set<SensitiveKind>& enabledKinds) {
  const icu::UnicodeString lower = lowercased(context.text);
  if (containsAnyTerm(lower, context.neverHide)) return std::nullopt;
  if (enabledKinds.contains(SensitiveKind::email) && lower.indexOf(u'@') >= 0 &&
      containsAnyWord(lower, SensitivityEngine::kEmailContextWords)) {
    return context.item(SensitiveKind::email, u"Email hidden", context.text, RiskLevel::critical,
                        kContextConfidence);
  }
  if (enabledKinds.contains(SensitiveKind::apiKey) &&
      containsAnyWord(lower, SensitivityEngine::kApiKeyContextWords)) {
    return context.item(SensitiveKind::apiKey, u"API key hidden", context.text, RiskLevel::critical,
                        kContextConfidence);
  }
  return std::nullopt;
}

void appendAlwaysHideWords(const DetectionContext& context,
                           const std::vector<std::string>& alwaysHideWords,
                           std::vector<DetectedItem>& items) {
  for (const icu::UnicodeString& word : cleanedTerms(alwaysHideWords)) {
    if (graphemeCount(word) < kMinimumSensitiveWordLength) continue;
    if (!containsIgnoringCase(context.text, word)) continue;
    const icu::UnicodeString lowerWord = lowercased(word);
    if (std::find(context.neverHide.begin(), context.neverHide.end(), lowerWord) !=
        context.neverHide.end()) {
      continue;
    }
    items.push_back(context.item(SensitiveKind::customer, maskedWord(word), word,
                                 RiskLevel::suggested, kAlwaysHideConfidence));
  }
}

}  // namespace

SensitivityEngine::SensitivityEngine() {
  static const std::shared_ptr<const std::vector<Pattern>> shared =
      std::make_shared<const std::vector<Pattern>>(builtInPatterns());
  patterns_ = shared;
}

std::vector<DetectedItem> SensitivityEngine::detect(
    const std::string& text, const std::string& source, const SensitivityPreferences& preferences,
    const std::optional<platform::Rect>& screenFrame, double baseConfidence) const {
  std::vector<DetectedItem> items;
  if (preferences.enabledKinds.empty()) return items;
  const icu::UnicodeString unicodeText = utf16(text);
  const DetectionContext context{unicodeText, source, screenFrame, baseConfidence,
                                 neverHideTerms(preferences.neverHideWords)};

  for (const Pattern& pattern : *patterns_) {
    if (preferences.enabledKinds.contains(pattern.kind)) {
      appendPatternMatches(pattern, context, items);
    }
  }
  if (auto contextual = contextualMatch(context, preferences.enabledKinds)) {
    items.push_back(std::move(*contextual));
  }
  if (preferences.enabledKinds.contains(SensitiveKind::customer)) {
    appendAlwaysHideWords(context, preferences.alwaysHideWords, items);
  }
  std::stable_sort(items.begin(), items.end(), [](const DetectedItem& a, const DetectedItem& b) {
    return a.confidence > b.confidence;
  });
  return items;
}

}  // namespace corvane::verification
