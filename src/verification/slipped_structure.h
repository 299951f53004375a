#pragma once

#include <string_view>

namespace corvane::verification {

// Whether a reading shows the shape of an address, a key or an amount even where the recognizer
// slipped: dots read as commas, spaces read into a word, a key's run broken at a space. Such a
// reading may hold what the rules would have caught had it been read right, so it cannot vouch
// for the text under it on its own.
bool showsStructureDespiteSlips(std::string_view reading);

}  // namespace corvane::verification
