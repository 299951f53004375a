#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// The text without leading and trailing white space (spaces, tabs, line breaks, form feeds).
std::string trimmedText(std::string_view text);

// Trimmed, with every run of white space or control characters inside turned into one space:
// fit for a one-line name.
std::string singleLineText(std::string_view text);

// Whether the bytes are well-formed UTF-8: no stray continuation bytes, no over-long forms, no
// surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// The items in order with `separator` between each two.
std::string joinedText(const std::vector<std::string>& items, std::string_view separator);

}  // namespace corvane::platform
