#pragma once

#include <memory>

#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace corvane::verification {

// The hyphen-like characters that recognition returns between digit groups, as the inside of a
// regular-expression class: "-", U+2010 to U+2014 and U+00B7 MIDDLE DOT.
inline constexpr char16_t kDashClassCharacters[] = u"\\-\u2010\u2011\u2012\u2013\u2014\u00B7";

// A compiled pattern, or null when the text does not compile. Compiled patterns are immutable and
// may be shared by any number of threads.
std::shared_ptr<const icu::RegexPattern> compileRegex(const icu::UnicodeString& pattern,
                                                      uint32_t flags = 0);

// Calls visit(start, end) with the UTF-16 range of every match, non-overlapping, left to right.
template <class Visit>
void forEachMatch(const icu::RegexPattern& pattern, const icu::UnicodeString& text, Visit visit) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
  if (U_FAILURE(status)) return;
  while (matcher->find(status) && U_SUCCESS(status)) {
    const int32_t start = matcher->start(status);
    const int32_t end = matcher->end(status);
    if (U_FAILURE(status)) return;
    visit(start, end);
  }
}

}  // namespace corvane::verification
