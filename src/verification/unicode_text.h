#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/unistr.h>

namespace corvane::verification {

// UTF-8 <-> UTF-16 at the edge of the ICU calls. Ill-formed UTF-8 becomes U+FFFD.
icu::UnicodeString utf16(std::string_view text);
std::string utf8(const icu::UnicodeString& text);

// Root-locale lower case: the same result on every machine.
icu::UnicodeString lowercased(const icu::UnicodeString& text);

// The text without leading and trailing Unicode white space (line breaks included).
icu::UnicodeString trimmedWhitespace(const icu::UnicodeString& text);
std::string trimmedWhitespace(std::string_view text);

// Whether `text` holds `term` as a literal substring (both taken as given; an empty term never
// matches).
bool containsSubstring(const icu::UnicodeString& text, const icu::UnicodeString& term);

// Case-insensitive containment by full case folding: "STRASSE" holds "straße".
bool containsIgnoringCase(const icu::UnicodeString& text, const icu::UnicodeString& term);

// User-perceived characters (extended grapheme clusters) of one text. The break iterator is the
// calling thread's own, so any number of threads may do this at once.
class GraphemeClusters {
 public:
  explicit GraphemeClusters(const icu::UnicodeString& text);

  int32_t count() const { return static_cast<int32_t>(boundaries_.size()) - 1; }
  // The first or last `n` characters; the whole text when it has fewer.
  icu::UnicodeString first(int32_t n) const;
  icu::UnicodeString last(int32_t n) const;
  // The i-th character, and its first code point.
  icu::UnicodeString at(int32_t i) const;
  UChar32 firstCodePoint(int32_t i) const;

 private:
  icu::UnicodeString text_;
  std::vector<int32_t> boundaries_;
};

int32_t graphemeCount(const icu::UnicodeString& text);

}  // namespace corvane::verification
