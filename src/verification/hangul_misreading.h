#pragma once

#include <string>

namespace corvane::verification {

// English reads a row of Hangul as letters, digits and signs ("AlAt $04] CHA]") at a low
// confidence, while the whole language set reads the same row in Hangul. These tell what such a
// misreading says of the row.

// Whether the text holds a Hangul character.
bool holdsHangul(const std::string& text);

// Whether `match`, found in `misreading` of a row, lies where `hangulReading` of the same row holds
// Hangul: the characters of each reading are spread over the row's width (a Hangul syllable as
// wide as two others), and most of those of `hangulReading` under the match are Hangul. A match
// over Latin text of the row ("$131,825.00" beside a Hangul label) does not; nor does one that is
// not in `misreading`.
bool liesOverHangul(const std::string& misreading, const std::string& match,
                    const std::string& hangulReading);

}  // namespace corvane::verification
