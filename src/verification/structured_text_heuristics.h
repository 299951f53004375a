#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/sensitive_content.h"

namespace corvane::verification {

// Recognition misreads digits as look-alike letters ("4O1-555-O1OO"), and the rules then miss a
// phone number or a key. These repair look-alike digits for a second pass of the rules and, when
// no rule matched, decide whether a line still looks like a credential, an address or a number.
struct StructuredTextHeuristics {
  // The digit a letter is mistaken for (compared upper-cased): O Q D → 0, I L | ! → 1, Z → 2,
  // S → 5, G → 6, B → 8.
  static std::optional<char> confusableDigit(const std::string& character);

  // Every token of seven or more digit-like characters with at least four real digits and at
  // most two other letters, with its look-alikes turned into digits.
  static std::string normalizedConfusableStructuredText(const std::string& text);

  // Recognition reads spaces into addresses around their punctuation ("nina@ quarry. io",
  // "http: //admin. host .eu"): the text with the spaces on either side of "@", "/", ":" and "."
  // taken out, for another pass of the rules.
  static std::string tightenedPunctuationSpacing(const std::string& text);

  // Small bitmap fonts make recognition read an address's dots as commas or semicolons and its
  // "://" as "?//" or "3//" ("k,osei@tidewater,co,uk", "https3//admin, tidewater ,net/x"): the
  // text with its schemes and its hosts written back with dots, for another pass of the rules.
  // A host counts after "//" or "@", or as three labels or more, or labels followed by a path or
  // an "@"; numbers ("4,065,938") and two words ("worker,service") are left as they are.
  static std::string repairedAddressPunctuation(const std::string& text);

  // Small fonts also make recognition read a mark as its look-alike: an address's "@" as "®"
  // ("k.osei®tidewater.co.uk"), an amount's "$" as "§" ("§2,865,978"), a key's dash as "~"
  // ("sk~proj~abc") and a number's "0" as "@" ("555@ 4826"). The text with such a mark written
  // back where it stands between an address's or a key's parts, before an amount in thousands or
  // at the end of a number, for another pass of the rules; a section sign before a plain number
  // ("§ 12", "§3"), a home folder ("~/ledger") and an address ("12@corp.io") stay.
  static std::string writtenBackLookAlikeMarks(const std::string& text);

  static bool isSuspiciousPhoneText(const std::string& text, const std::string& normalizedText);

  // Whether the text holds a credential's marker ("password", "secret", "bearer ", a key's
  // prefix "sk-", "ghp_" or "akia" where it begins a word, ...): such a line is a credential's
  // whatever follows the marker.
  static bool holdsCredentialMarker(const std::string& text);

  static bool isSuspiciousStructuredText(const std::string& text, const std::string& normalizedText,
                                         const std::set<model::SensitiveKind>& enabledKinds);

  // Whether the lower-cased text holds any of the never-hide words (trimmed, lower-cased; words
  // shorter than three characters are ignored).
  static bool containsAny(const std::string& text, const std::vector<std::string>& terms);
};

}  // namespace corvane::verification
