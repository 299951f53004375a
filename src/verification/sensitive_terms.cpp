#include "verification/sensitive_terms.h"

#include <algorithm>

#include "verification/unicode_text.h"

namespace corvane::verification {

std::vector<icu::UnicodeString> cleanedTerms(const std::vector<std::string>& words) {
  std::vector<icu::UnicodeString> terms;
  terms.reserve(words.size());
  for (const std::string& word : words) {
    icu::UnicodeString cleaned = trimmedWhitespace(utf16(word));
    if (!cleaned.isEmpty()) terms.push_back(std::move(cleaned));
  }
  return terms;
}

std::vector<icu::UnicodeString> neverHideTerms(const std::vector<std::string>& words) {
  std::vector<icu::UnicodeString> terms;
  for (const icu::UnicodeString& term : cleanedTerms(words)) {
    if (graphemeCount(term) >= kMinimumSensitiveWordLength) terms.push_back(lowercased(term));
  }
  return terms;
}

bool containsAnyTerm(const icu::UnicodeString& lowercasedText,
                     const std::vector<icu::UnicodeString>& terms) {
  return std::any_of(terms.begin(), terms.end(), [&](const icu::UnicodeString& term) {
    return containsSubstring(lowercasedText, term);
  });
}

bool containsAnyNeverHideWord(const std::string& text, const std::vector<std::string>& words) {
  const std::vector<icu::UnicodeString> terms = neverHideTerms(words);
  return !terms.empty() && containsAnyTerm(lowercased(utf16(text)), terms);
}

}  // namespace corvane::verification
