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

// The end of the name starting at `i`: letters, digits and dashes.
std::size_t nameEnd(const std::string& text, std::size_t i) {
  while (i < text.size() && (isLetter(text[i]) || isDigit(text[i]) || text[i] == '-')) ++i;
  return i;
}

// An at sign after a letter followed by a dotted name, its dot perhaps read as a space and a
// space or two read into its names: "a@b,c", "a@b com", "a@b c- d,e".
bool showsEmailAddress(const std::string& text) {
  constexpr int kSpacesReadIn = 2;
  for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
    if (at == 0 || !isLetter(text[at - 1])) continue;
    std::size_t i = nameEnd(text, at + 1);
    if (i == at + 1) continue;
    for (int spaces = 0; i + 1 < text.size(); ++spaces) {
      if (isSeparator(text[i]) && isLetter(text[i + 1])) return true;
      if (text[i] != ' ' || spaces == kSpacesReadIn) break;
      if (shortNameAt(text, i + 1)) return true;
      const std::size_t end = nameEnd(text, i + 1);
      if (end == i + 1) break;
      i = end;
    }
  }
  return false;
}

// A dotted name followed by a path, the last dot perhaps read as a space: "a.b/", "a.b c/".
bool showsHostAndPath(const std::string& text) {
  for (std::size_t slash = text.find('/'); slash != std::string::npos;
       slash = text.find('/', slash + 1)) {
    // Back over the last name, a dot or a space, and the name before it.
    std::size_t start = slash;
    while (start > 0 && isLetter(text[start - 1])) --start;
    if (start == slash || start < 2) continue;
    const char joint = text[start - 1];
    if (!(isSeparator(joint) || joint == ' ')) continue;
    std::size_t before = start - 1;
    while (before > 0 && isLetter(text[before - 1])) --before;
    if (start - 1 - before < 2) continue;
    if (isSeparator(joint)) return true;
    // Read with a space for its dot, the name before must be dotted itself.
    if (before >= 2 && isSeparator(text[before - 1]) && isLetter(text[before - 2])) return true;
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
  // A scheme, its slashes perhaps read apart: "http:/".
  const bool scheme = text.find(":/") != std::string::npos;
  return scheme || showsEmailAddress(text) || showsHostAndPath(text) || showsDottedName(text) ||
         showsKeyRun(reading) || showsAmount(text);
}

}  // namespace corvane::verification
