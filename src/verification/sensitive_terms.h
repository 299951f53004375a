#pragma once

#include <string>
#include <vector>

#include <unicode/unistr.h>

namespace corvane::verification {

// Words of the user's lists shorter than this many characters (after trimming) are ignored: a
// word typed one key at a time would otherwise hide, or let through, nearly every line.
inline constexpr int32_t kMinimumSensitiveWordLength = 3;

// The words trimmed of leading and trailing white space, empty ones dropped, order and
// duplicates kept.
std::vector<icu::UnicodeString> cleanedTerms(const std::vector<std::string>& words);

// The never-hide terms: cleaned, at least kMinimumSensitiveWordLength characters long,
// lower-cased.
std::vector<icu::UnicodeString> neverHideTerms(const std::vector<std::string>& words);

// Whether the already lower-cased text holds any of the terms as a substring.
bool containsAnyTerm(const icu::UnicodeString& lowercasedText,
                     const std::vector<icu::UnicodeString>& terms);

// Lower-cases the text and tests it against the never-hide terms of `words`.
bool containsAnyNeverHideWord(const std::string& text, const std::vector<std::string>& words);

}  // namespace corvane::verification
