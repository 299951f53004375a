#include "verification/slipped_structure.h"

#include <string>

namespace corvane::verification {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool isLower(char c) {
  return c >= 'a' && c <= 'z';
}
bool isLetter(char c) {
  return isUpper(c) || isLower(c);
}
bool isSeparator(char c) {
  return c == '.' || c == ',';
}

// The reading with the spaces a slip puts beside a dot, a comma or an at sign taken out.
std::string tightened(std::string_view reading) {
  std::string out;
  for (std::size_t i = 0; i < reading.size(); ++i) {
    const char c = reading[i];
    if (c == ' ') {
      const bool afterMark = !out.empty() && (isSeparator(out.back()) || out.back() == '@');
      const bool beforeMark =
          i + 1 < reading.size() && (isSeparator(reading[i + 1]) || reading[i + 1] == '@');
      if (afterMark || beforeMark) continue;
    }
    out += c;
  }
  return out;
}

// Whether a short name (a top-level domain's length) starts at `i`, ending the text or a word.
bool shortNameAt(const std::string& text, std::size_t i) {
  std::size_t end = i;
  while (end < text.size() && isLetter(text[end])) ++end;
  const bool ended = end == text.size() || !(isDigit(text[end]) || text[end] == '-');
  return end - i >= 2 && end - i <= 4 && ended;
}

// A scheme, or an at sign between letters followed by a dotted name, its dot perhaps read as a
// space: "http:/", "a@b,c", "a@b com".
bool showsAddress(const std::string& text) {
  if (text.find(":/") != std::string::npos) return true;
  for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
    if (at == 0 || !isLetter(text[at - 1])) continue;
    std::size_t i = at + 1;
    while (i < text.size() && (isLetter(text[i]) || isDigit(text[i]) || text[i] == '-')) ++i;
    if (i == at + 1 || i + 1 >= text.size()) continue;
    if ((isSeparator(text[i]) && isLetter(text[i + 1])) ||
        (text[i] == ' ' && shortNameAt(text, i + 1)))
      return true;
  }
  return false;
}

// Three or more names joined by dots or commas ("admin,example. io" tightened).
bool showsDottedName(const std::string& text) {
  int names = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size() && (isLetter(text[end]) || text[end] == '-')) ++end;
    if (end - i >= 2) {
      ++names;
      if (names >= 3) return true;
      if (end < text.size() && isSeparator(text[end])) {
        i = end + 1;
        continue;
      }
    }
    names = 0;
    i = end + 1;
  }
  return false;
}

// A run of twelve or more letters and digits holding both, where runs of capitals and digits
// broken by single spaces count as one ("AK IAUN6CJ 22D").
bool showsKeyRun(std::string_view text) {
  std::size_t length = 0;
  bool letters = false, digits = false;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '\0';
    if (isLetter(c) || isDigit(c)) {
      ++length;
      letters = letters || isLetter(c);
      digits = digits || isDigit(c);
      continue;
    }
    const bool brokenKey = c == ' ' && i > 0 && i + 1 < text.size() &&
                           (isUpper(text[i - 1]) || isDigit(text[i - 1])) &&
                           (isUpper(text[i + 1]) || isDigit(text[i + 1]));
    if (brokenKey) continue;
    if (length >= 12 && letters && digits) return true;
    length = 0;
    letters = digits = false;
  }
  return false;
}

// Digits grouped in thousands: "2,484,755", "3.886.757".
bool showsAmount(std::string_view text) {
  for (std::size_t i = 0; i + 4 < text.size(); ++i) {
    if (!isDigit(text[i]) || !isSeparator(text[i + 1])) continue;
    if (isDigit(text[i + 2]) && isDigit(text[i + 3]) && isDigit(text[i + 4]) &&
        (i + 5 == text.size() || !isDigit(text[i + 5])))
      return true;
  }
  return false;
}

}  // namespace

bool showsStructureDespiteSlips(std::string_view reading) {
  const std::string text = tightened(reading);
  return showsAddress(text) || showsDottedName(text) || showsKeyRun(reading) || showsAmount(text);
}

}  // namespace corvane::verification
