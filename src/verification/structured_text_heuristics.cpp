#include "verification/structured_text_heuristics.h"

#include <algorithm>
#include <array>

#include <unicode/locid.h>
#include <unicode/uchar.h>

#include "verification/icu_regex.h"
#include "verification/sensitive_terms.h"
#include "verification/unicode_text.h"

namespace corvane::verification {
namespace {

using model::SensitiveKind;

std::shared_ptr<const icu::RegexPattern> classPattern(const char16_t* before,
                                                      const char16_t* after) {
  return compileRegex(icu::UnicodeString(before) + kDashClassCharacters + after);
}

const icu::RegexPattern* lookAlikeToken() {
  static const auto pattern = classPattern(u"[A-Za-z0-9+()|!.", u"]{7,}");
  return pattern.get();
}
const icu::RegexPattern* phoneRun() {
  static const auto pattern = classPattern(u"[+()0-9.", u"\\s]{9,}");
  return pattern.get();
}
const icu::RegexPattern* phoneLikeToken() {
  static const auto pattern = classPattern(u"[+()A-Za-z0-9|!.", u"]{9,}");
  return pattern.get();
}

bool isNumber(UChar32 c) {
  return u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}
bool isLetter(UChar32 c) {
  return u_hasBinaryProperty(c, UCHAR_ALPHABETIC);
}

std::optional<char> confusableDigitOf(const icu::UnicodeString& character) {
  icu::UnicodeString upper(character);
  upper.toUpper(icu::Locale::getRoot());
  if (upper.length() != 1) return std::nullopt;
  switch (upper.charAt(0)) {
    case u'O':
    case u'Q':
    case u'D':
      return '0';
    case u'I':
    case u'L':
    case u'|':
    case u'!':
      return '1';
    case u'Z':
      return '2';
    case u'S':
      return '5';
    case u'G':
      return '6';
    case u'B':
      return '8';
    default:
      return std::nullopt;
  }
}

struct CharacterCounts {
  int numbers = 0;
  int letters = 0;
};

CharacterCounts countCharacters(const icu::UnicodeString& text) {
  const GraphemeClusters characters(text);
  CharacterCounts counts;
  for (int32_t i = 0; i < characters.count(); ++i) {
    const UChar32 c = characters.firstCodePoint(i);
    if (isNumber(c)) ++counts.numbers;
    if (isLetter(c)) ++counts.letters;
  }
  return counts;
}

// Pieces of `text` between separators, empty ones dropped.
std::vector<icu::UnicodeString> splitPieces(const icu::UnicodeString& text, bool alsoPunctuation) {
  std::vector<icu::UnicodeString> pieces;
  icu::UnicodeString current;
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    const UChar32 c = text.char32At(i);
    const bool separator =
        u_isUWhiteSpace(c) || (alsoPunctuation && (c == u'=' || c == u':' || c == u','));
    if (separator) {
      if (!current.isEmpty()) pieces.push_back(current);
      current.remove();
    } else {
      current.append(c);
    }
  }
  if (!current.isEmpty()) pieces.push_back(current);
  return pieces;
}

// Where an address's domain ends: at the end of the piece, or where a path or a prompt begins
// ("/" or "~", a ":" or a misread "." before one of them, a "$" ending the piece). Other marks a
// read or a typo puts in a domain ("ops@#acme.com", "jane@$tripe.com", "jane@acme:corp.com")
// stay in it.
int32_t domainEnd(const icu::UnicodeString& piece, int32_t from) {
  const int32_t length = piece.length();
  for (int32_t i = from; i < length; ++i) {
    const char16_t c = piece.charAt(i);
    if (c == u'/' || c == u'~') return i;
    const bool pathFollows =
        i + 1 < length && (piece.charAt(i + 1) == u'/' || piece.charAt(i + 1) == u'~');
    if ((c == u':' || c == u'.') && pathFollows) return i;
    if (c == u'$' && i + 1 == length) return i;
  }
  return length;
}

bool holdsDigit(const icu::UnicodeString& text) {
  for (int32_t i = 0; i < text.length(); ++i)
    if (text.charAt(i) >= u'0' && text.charAt(i) <= u'9') return true;
  return false;
}

bool holdsLetter(const icu::UnicodeString& text) {
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1))
    if (isLetter(text.char32At(i))) return true;
  return false;
}

// An address: a user, "@", and a domain of four characters or more that holds a dot followed by
// more of it, or that ends the piece with a dot (an address cut after its dot, "jane@corp.").
// Both hold letters: a zero read as "@" in a version or a time ("v@.8.1", "17:4@") makes none.
// A shell prompt ("dana@build-07:~/src$") ends its host before any dot; a host named with digits
// and a dot at its end ("dana@build-07.") is a prompt whose path the read lost, not an address.
bool looksLikeEmailAddress(const icu::UnicodeString& text) {
  for (const icu::UnicodeString& piece : splitPieces(text, false)) {
    const int32_t at = piece.indexOf(u'@');
    if (at <= 0) continue;
    const int32_t end = domainEnd(piece, at + 1);
    const icu::UnicodeString domain(piece, at + 1, end - at - 1);
    if (graphemeCount(domain) < 4 || !holdsLetter(domain) ||
        !holdsLetter(icu::UnicodeString(piece, 0, at)))
      continue;
    const int32_t dot = domain.indexOf(u'.');
    if (dot >= 0 && dot + 1 < domain.length()) return true;
    if (dot == domain.length() - 1 && end == piece.length() && !holdsDigit(domain)) return true;
  }
  return false;
}

bool isKeyCharacter(UChar32 c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'-';
}

bool isLowercaseLetter(UChar32 c) {
  return c >= u'a' && c <= u'z';
}
bool isCapitalOrDigit(UChar32 c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// Whether a marker at `at` begins a word: at the start of the text or after anything but a letter
// or digit ("key_sk-", "=sk-", ":sk-", quotes, brackets).
bool beginsWordAt(const icu::UnicodeString& text, int32_t at) {
  if (at == 0) return true;
  const char16_t before = text.charAt(at - 1);
  return !isLowercaseLetter(before) && !isCapitalOrDigit(before);
}

// Whether a prefix at `at` starts a word where the letter case changes ("Xsk-", a tag or a stray
// glyph glued on). Only a letter of the prefix's own case before it continues a word
// ("task-force").
bool caseChangesAt(const icu::UnicodeString& text, int32_t at) {
  if (at == 0) return false;
  return isLowercaseLetter(text.charAt(at - 1)) != isLowercaseLetter(text.charAt(at));
}

// Whether a key-like body follows a prefix: at least eight key characters (as the rules' own key
// patterns ask), holding a digit or a capital as generated keys do. The body may be broken by up
// to two single spaces, which recognition inserts into long keys.
bool keyBodyFollows(const icu::UnicodeString& text, int32_t from) {
  constexpr int kShortestKeyBody = 8;
  constexpr int kSpacesInBody = 2;
  int body = 0;
  int spaces = 0;
  bool digitOrCapital = false;
  for (int32_t i = from; i < text.length(); ++i) {
    const char16_t c = text.charAt(i);
    if (c == u' ' && body > 0 && spaces < kSpacesInBody && i + 1 < text.length() &&
        isKeyCharacter(text.charAt(i + 1))) {
      ++spaces;
      continue;
    }
    if (!isKeyCharacter(c)) break;
    ++body;
    digitOrCapital = digitOrCapital || isCapitalOrDigit(c);
  }
  return body >= kShortestKeyBody && digitOrCapital;
}

// An access key id in capitals ("AKIA2QX7") glued to what comes before it: capitals and digits
// after "AKIA" written in capitals are no word of prose.
bool startsCapitalAccessKeyAt(const icu::UnicodeString& text, int32_t at) {
  constexpr int kShortestCapitalBody = 4;
  static const icu::UnicodeString prefix(u"AKIA");
  if (text.compare(at, prefix.length(), prefix) != 0 || !caseChangesAt(text, at)) return false;
  int body = 0;
  bool digit = false;
  for (int32_t i = at + prefix.length(); i < text.length() && isCapitalOrDigit(text.charAt(i));
       ++i) {
    ++body;
    digit = digit || (text.charAt(i) >= u'0' && text.charAt(i) <= u'9');
  }
  return body >= kShortestCapitalBody && digit;
}

// A key's marker ("sk-", "ghp_", "akia", in any case) read in the text flags it, whatever follows:
// one misread character must not end the key. The marker counts where it begins a word; a marker
// inside a word ("task-force") counts only where a key-like body follows a change of case ("Xsk-",
// a glyph glued on). "akia" is itself letters, so a word that merely starts with it ("Akiane")
// is told apart by the lower-case letter after it.
bool holdsKeyPrefix(const icu::UnicodeString& text) {
  static const std::array<const char16_t*, 3> prefixes = {u"sk-", u"ghp_", u"akia"};
  for (const char16_t* prefix : prefixes) {
    const icu::UnicodeString wanted(prefix);
    const bool endsInLetter = isLowercaseLetter(wanted.charAt(wanted.length() - 1));
    for (int32_t at = 0; at + wanted.length() <= text.length(); ++at) {
      if (text.caseCompare(at, wanted.length(), wanted, U_FOLD_CASE_DEFAULT) != 0) continue;
      const int32_t end = at + wanted.length();
      const bool continuesWord =
          endsInLetter && end < text.length() && isLowercaseLetter(text.charAt(end));
      if (beginsWordAt(text, at) && !continuesWord) return true;
      if (caseChangesAt(text, at) && keyBodyFollows(text, end)) return true;
      if (startsCapitalAccessKeyAt(text, at)) return true;
    }
  }
  return false;
}

// The parts of a piece on either side of its "@"s: an "@" joins a user to a host (an address,
// a shell prompt "dana@build-073/ledger"), and the two are no one long token.
std::vector<icu::UnicodeString> tokenRuns(const icu::UnicodeString& piece) {
  std::vector<icu::UnicodeString> runs;
  int32_t start = 0;
  for (int32_t at = piece.indexOf(u'@'); at >= 0; at = piece.indexOf(u'@', start)) {
    runs.emplace_back(piece, start, at - start);
    start = at + 1;
  }
  runs.emplace_back(piece, start);
  return runs;
}

// An address that carries a user's password ("postgres://app:s3cret@db", "redis://:pw@cache"):
// after "://", a user part holding ":" and more, ended by "@" before any "/" or space.
bool holdsPasswordInAddress(const icu::UnicodeString& text) {
  for (int32_t scheme = text.indexOf(u"://"); scheme >= 0;
       scheme = text.indexOf(u"://", scheme + 3)) {
    int32_t colon = -1;
    for (int32_t i = scheme + 3; i < text.length(); ++i) {
      const char16_t c = text.charAt(i);
      if (c == u'/' || u_isUWhiteSpace(c)) break;
      if (c == u':' && colon < 0) colon = i;
      if (c == u'@') {
        if (colon >= 0 && i > colon + 1) return true;
        break;
      }
    }
  }
  return false;
}

bool holdsMarker(const icu::UnicodeString& text) {
  static const std::array<const char16_t*, 11> markers = {
      u"api_key",    u"apikey",  u"api key",  u"access_token", u"access token", u"auth_token",
      u"auth token", u"bearer ", u"password", u"passwd",       u"secret"};
  const icu::UnicodeString lower = lowercased(text);
  for (const char16_t* marker : markers) {
    if (lower.indexOf(icu::UnicodeString(marker)) >= 0) return true;
  }
  return holdsKeyPrefix(text);
}

bool looksLikeCredential(const icu::UnicodeString& text) {
  if (holdsMarker(text) || holdsPasswordInAddress(text)) return true;
  for (const icu::UnicodeString& piece : splitPieces(text, true)) {
    for (const icu::UnicodeString& run : tokenRuns(piece)) {
      if (graphemeCount(run) < 20) continue;
      const CharacterCounts counts = countCharacters(run);
      if (counts.letters > 0 && counts.numbers > 0) return true;
    }
  }
  return false;
}

}  // namespace

std::optional<char> StructuredTextHeuristics::confusableDigit(const std::string& character) {
  return confusableDigitOf(utf16(character));
}

std::string StructuredTextHeuristics::normalizedConfusableStructuredText(const std::string& text) {
  const icu::RegexPattern* pattern = lookAlikeToken();
  if (pattern == nullptr) return text;
  const icu::UnicodeString original = utf16(text);
  std::vector<std::pair<int32_t, int32_t>> ranges;
  forEachMatch(*pattern, original,
               [&](int32_t start, int32_t end) { ranges.emplace_back(start, end); });
  icu::UnicodeString copy = original;
  for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
    const icu::UnicodeString token(copy, range->first, range->second - range->first);
    const GraphemeClusters characters(token);
    int digits = 0, digitLike = 0, otherLetters = 0;
    for (int32_t i = 0; i < characters.count(); ++i) {
      const UChar32 c = characters.firstCodePoint(i);
      const bool lookAlike = confusableDigitOf(characters.at(i)).has_value();
      if (isNumber(c)) ++digits;
      if (isNumber(c) || lookAlike) ++digitLike;
      if (isLetter(c) && !lookAlike) ++otherLetters;
    }
    if (digits < 4 || digitLike < 7 || otherLetters > 2) continue;
    icu::UnicodeString replaced;
    for (int32_t i = 0; i < characters.count(); ++i) {
      const icu::UnicodeString character = characters.at(i);
      if (auto digit = confusableDigitOf(character)) {
        replaced.append(static_cast<char16_t>(*digit));
      } else {
        replaced.append(character);
      }
    }
    copy.replace(range->first, range->second - range->first, replaced);
  }
  return utf8(copy);
}

namespace {

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isLabelCharacter(char c) {
  return isAsciiLetter(c) || isAsciiDigit(c) || c == '-' || c == '_';
}
bool isDotLookAlike(char c) {
  return c == '.' || c == ',' || c == ';';
}

// "http" or "https" at a word's start, then one misread mark or none, then "//": the length of
// what is to become "http(s)://", or 0.
std::size_t misreadSchemeLength(const std::string& text, std::size_t at) {
  if (at > 0 && isLabelCharacter(text[at - 1])) return 0;
  if (text.compare(at, 4, "http") != 0) return 0;
  std::size_t end = at + 4;
  if (end < text.size() && text[end] == 's') ++end;
  if (end < text.size() && text[end] != '/' && text[end] != ' ' && text[end] != ':') ++end;
  return text.compare(end, 2, "//") == 0 ? end + 2 - at : 0;
}

// The labels of a host from `at` ("admin, tidewater ,net", "tidewater,co,uk"): its end, and the
// number of separators in it. A separator is a dot or a look-alike of one between two labels,
// with a space read on one side of it only where `spacesAllowed`, where also the first dot may
// have been read as a space ("tidewater co.uk").
struct HostRun {
  std::size_t end = 0;
  int separators = 0;
  bool hasLetter = true;
};
// Whether a label starts at `at` and a dot (or its look-alike) and another label follow it.
bool dottedLabelAt(const std::string& text, std::size_t at) {
  std::size_t i = at;
  while (i < text.size() && isLabelCharacter(text[i])) ++i;
  return i > at && i + 1 < text.size() && isDotLookAlike(text[i]) && isLabelCharacter(text[i + 1]);
}

HostRun hostRunAt(const std::string& text, std::size_t at, bool spacesAllowed) {
  HostRun run{at, 0, true};
  std::size_t i = at;
  bool letters = false;
  while (true) {
    const std::size_t labelStart = i;
    bool labelLetter = false;
    while (i < text.size() && isLabelCharacter(text[i])) labelLetter |= isAsciiLetter(text[i++]);
    if (i == labelStart) break;
    run.end = i;
    run.hasLetter = run.hasLetter && labelLetter;
    letters |= labelLetter;
    std::size_t next = i;
    if (spacesAllowed && next < text.size() && text[next] == ' ') ++next;
    // One dot read as a space, before a label that a dot follows ("tidewater co.uk").
    if (spacesAllowed && run.separators == 0 && next == i + 1 && dottedLabelAt(text, next)) {
      ++run.separators;
      i = next;
      continue;
    }
    if (next >= text.size() || !isDotLookAlike(text[next])) break;
    ++next;
    if (spacesAllowed && next < text.size() && text[next] == ' ' && text[i] != ' ') ++next;
    if (next >= text.size() || !isLabelCharacter(text[next])) break;
    ++run.separators;
    i = next;
  }
  run.hasLetter = run.hasLetter && letters;
  return run;
}

// The host from `at` to `end` written with dots and without spaces.
std::string dottedHost(const std::string& text, std::size_t at, std::size_t end) {
  std::string host;
  for (std::size_t i = at; i < end; ++i) {
    // A space between two labels stands for the dot read as it; beside a dot it goes.
    const bool betweenLabels =
        i > at && i + 1 < end && isLabelCharacter(text[i - 1]) && isLabelCharacter(text[i + 1]);
    if (text[i] == ' ' && betweenLabels) host += '.';
    if (text[i] == ' ') continue;
    host += isDotLookAlike(text[i]) ? '.' : text[i];
  }
  return host;
}

// Whether an amount in thousands starts at `i`: one to three digits, then groups of a comma and
// three digits, one group at least ("2,865,978").
bool thousandsAmountAt(const std::string& text, std::size_t i) {
  std::size_t lead = 0;
  while (i + lead < text.size() && isAsciiDigit(text[i + lead])) ++lead;
  if (lead < 1 || lead > 3) return false;
  std::size_t at = i + lead;
  int groups = 0;
  while (at + 3 < text.size() && text[at] == ',' && isAsciiDigit(text[at + 1]) &&
         isAsciiDigit(text[at + 2]) && isAsciiDigit(text[at + 3])) {
    at += 4;
    ++groups;
  }
  return groups > 0 && (at == text.size() || !isAsciiDigit(text[at]));
}

// How many digits run up to `at`, back to a space or the text's start; 0 when anything else
// stands among them.
std::size_t digitsBefore(const std::string& text, std::size_t at) {
  std::size_t start = at;
  while (start > 0 && isAsciiDigit(text[start - 1])) --start;
  const bool wordStart = start == 0 || text[start - 1] == ' ';
  return wordStart ? at - start : 0;
}

}  // namespace

std::string StructuredTextHeuristics::writtenBackLookAlikeMarks(const std::string& text) {
  static const std::string registered = "\u00AE", section = "\u00A7";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const bool betweenLabels = i > 0 && isLabelCharacter(text[i - 1]) &&
                               i + registered.size() < text.size() &&
                               isLabelCharacter(text[i + registered.size()]);
    if (text.compare(i, registered.size(), registered) == 0 && betweenLabels) {
      out += '@';
      i += registered.size();
    } else if (text.compare(i, section.size(), section) == 0 &&
               thousandsAmountAt(text, i + section.size())) {
      out += '$';
      i += section.size();
    } else if (text[i] == '~' && i > 0 && isLabelCharacter(text[i - 1]) && i + 1 < text.size() &&
               isLabelCharacter(text[i + 1])) {
      out += '-';
      ++i;
    } else if (text[i] == '@' && digitsBefore(text, i) >= 2 &&
               (i + 1 == text.size() || text[i + 1] == ' ' || isAsciiDigit(text[i + 1]))) {
      out += '0';
      ++i;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string StructuredTextHeuristics::repairedAddressPunctuation(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (const std::size_t scheme = misreadSchemeLength(text, i)) {
      out += text.compare(i, 5, "https") == 0 ? "https://" : "http://";
      i += scheme;
      continue;
    }
    const bool wordStart = i == 0 || !isLabelCharacter(text[i - 1]);
    if (!wordStart || !isLabelCharacter(text[i])) {
      out += text[i++];
      continue;
    }
    // After "//" or "@" a host is certain and spaces read around its dots go; elsewhere a host
    // is taken only when written without spaces, of labels with letters (not "4,065,938"), and
    // with three labels or more or a path or an "@" right after it (not "worker,service").
    const bool afterAddressMark =
        (!out.empty() && out.back() == '@') || (out.size() >= 2 && out.ends_with("//"));
    const HostRun run = hostRunAt(text, i, afterAddressMark);
    const bool followedByAddress =
        run.end < text.size() && (text[run.end] == '/' || text[run.end] == '@');
    const bool host =
        run.separators > 0 &&
        (afterAddressMark || (run.hasLetter && (run.separators >= 2 || followedByAddress)));
    const std::size_t end = host ? run.end : std::max(run.end, i + 1);
    out += host ? dottedHost(text, i, end) : text.substr(i, end - i);
    i = end;
  }
  return out;
}

bool StructuredTextHeuristics::isSuspiciousPhoneText(const std::string& /*text*/,
                                                     const std::string& normalizedText) {
  const icu::UnicodeString normalized = utf16(normalizedText);
  bool suspicious = false;
  if (const icu::RegexPattern* run = phoneRun()) {
    forEachMatch(*run, normalized, [&](int32_t start, int32_t end) {
      if (countCharacters(icu::UnicodeString(normalized, start, end - start)).numbers > 8) {
        suspicious = true;
      }
    });
  }
  if (suspicious) return true;
  if (const icu::RegexPattern* token = phoneLikeToken()) {
    forEachMatch(*token, normalized, [&](int32_t start, int32_t end) {
      const CharacterCounts counts =
          countCharacters(icu::UnicodeString(normalized, start, end - start));
      if (counts.numbers > 8 && counts.letters >= 1 && counts.letters <= 2 &&
          counts.numbers + counts.letters < 18) {
        suspicious = true;
      }
    });
  }
  return suspicious;
}

bool StructuredTextHeuristics::holdsCredentialMarker(const std::string& text) {
  return holdsMarker(utf16(text));
}

bool StructuredTextHeuristics::isSuspiciousStructuredText(
    const std::string& text, const std::string& normalizedText,
    const std::set<SensitiveKind>& enabledKinds) {
  const icu::UnicodeString unicodeText = utf16(text);
  if (enabledKinds.contains(SensitiveKind::email) && looksLikeEmailAddress(unicodeText)) {
    return true;
  }
  if (enabledKinds.contains(SensitiveKind::apiKey) && looksLikeCredential(unicodeText)) {
    return true;
  }
  return enabledKinds.contains(SensitiveKind::phoneNumber) &&
         isSuspiciousPhoneText(text, normalizedText);
}

bool StructuredTextHeuristics::containsAny(const std::string& text,
                                           const std::vector<std::string>& terms) {
  return containsAnyNeverHideWord(text, terms);
}

std::string StructuredTextHeuristics::tightenedPunctuationSpacing(const std::string& text) {
  auto isJoiner = [](char c) { return c == '@' || c == '/' || c == ':' || c == '.'; };
  // An "@" does not join after a word without a letter: "17:4@ README.md" is a time whose zero
  // was read as "@", not an address.
  auto afterAUser = [](const std::string& before) {
    const std::size_t start = before.find_last_of(' ');
    const std::string word = before.substr(start == std::string::npos ? 0 : start + 1);
    return word.empty() ||
           std::any_of(word.begin(), word.end(), [](char c) { return isAsciiLetter(c); });
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != ' ') {
      out += c;
      continue;
    }
    // A run of spaces next to a joining mark on either side goes.
    std::size_t end = i;
    while (end < text.size() && text[end] == ' ') ++end;
    const bool afterJoiner = !out.empty() && isJoiner(out.back()) &&
                             (out.back() != '@' || afterAUser(out.substr(0, out.size() - 1)));
    const bool beforeJoiner = end < text.size() && isJoiner(text[end]);
    if (!afterJoiner && !beforeJoiner) out.append(end - i, ' ');
    i = end - 1;
  }
  return out;
}

}  // namespace corvane::verification
