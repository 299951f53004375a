#include "verification/unicode_text.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>

namespace corvane::verification {
namespace {

icu::BreakIterator* threadCharacterIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) made.reset();
    return made;
  }();
  return iterator.get();
}

}  // namespace

icu::UnicodeString utf16(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::UnicodeString lowercased(const icu::UnicodeString& text) {
  icu::UnicodeString copy(text);
  copy.toLower(icu::Locale::getRoot());
  return copy;
}

icu::UnicodeString trimmedWhitespace(const icu::UnicodeString& text) {
  int32_t start = 0;
  int32_t end = text.length();
  while (start < end) {
    const UChar32 c = text.char32At(start);
    if (!u_isUWhiteSpace(c)) break;
    start += U16_LENGTH(c);
  }
  while (end > start) {
    const int32_t previous = text.moveIndex32(end, -1);
    if (!u_isUWhiteSpace(text.char32At(previous))) break;
    end = previous;
  }
  return icu::UnicodeString(text, start, end - start);
}

std::string trimmedWhitespace(std::string_view text) {
  return utf8(trimmedWhitespace(utf16(text)));
}

bool containsSubstring(const icu::UnicodeString& text, const icu::UnicodeString& term) {
  return !term.isEmpty() && text.indexOf(term) >= 0;
}

bool containsIgnoringCase(const icu::UnicodeString& text, const icu::UnicodeString& term) {
  icu::UnicodeString foldedText(text);
  icu::UnicodeString foldedTerm(term);
  foldedText.foldCase();
  foldedTerm.foldCase();
  return containsSubstring(foldedText, foldedTerm);
}

GraphemeClusters::GraphemeClusters(const icu::UnicodeString& text) : text_(text) {
  boundaries_.push_back(0);
  icu::BreakIterator* iterator = threadCharacterIterator();
  if (iterator == nullptr) {
    // Without break data every code point counts as one character.
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
      if (i > 0) boundaries_.push_back(i);
    }
    if (text.length() > 0) boundaries_.push_back(text.length());
    return;
  }
  iterator->setText(text);
  for (int32_t next = iterator->next(); next != icu::BreakIterator::DONE; next = iterator->next()) {
    boundaries_.push_back(next);
  }
}

icu::UnicodeString GraphemeClusters::first(int32_t n) const {
  if (n >= count()) return text_;
  return icu::UnicodeString(text_, 0, boundaries_[static_cast<std::size_t>(n)]);
}

icu::UnicodeString GraphemeClusters::last(int32_t n) const {
  if (n >= count()) return text_;
  const int32_t start = boundaries_[boundaries_.size() - 1 - static_cast<std::size_t>(n)];
  return icu::UnicodeString(text_, start);
}

icu::UnicodeString GraphemeClusters::at(int32_t i) const {
  const int32_t start = boundaries_[static_cast<std::size_t>(i)];
  return icu::UnicodeString(text_, start, boundaries_[static_cast<std::size_t>(i) + 1] - start);
}

UChar32 GraphemeClusters::firstCodePoint(int32_t i) const {
  return text_.char32At(boundaries_[static_cast<std::size_t>(i)]);
}

int32_t graphemeCount(const icu::UnicodeString& text) {
  return GraphemeClusters(text).count();
}

}  // namespace corvane::verification
