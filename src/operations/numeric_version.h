#pragma once

#include <string_view>

namespace corvane::operations {

// Orders version strings the way people read them: runs of digits compare by their numeric value
// (so "10" > "9" and "1.10" > "1.9"), everything else character by character. Returns <0, 0, >0.
int compareVersionsNumerically(std::string_view a, std::string_view b);

inline bool isNewerVersion(std::string_view candidate, std::string_view current) {
  return compareVersionsNumerically(candidate, current) > 0;
}

}  // namespace corvane::operations
