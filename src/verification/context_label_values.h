#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/geometry.h"

namespace corvane::verification {

// A line as read and where it lies (top-left normalised).
struct PlacedLine {
  std::string text;
  platform::Rect frame;
};

// Forms put a credential's label ("API token", "Password") beside or above its field, and the
// two are read as two lines: the label's context word never reaches the value. These are the
// (label, value) pairs among `lines` (indices): a short line holding a credential's context word
// and no value of its own (nothing after a ":" or "=" that follows the word), and the nearest line
// that looks like a value (one word, or a few holding a digit or a sign) to its right on the same
// row (within twelve line heights) or below it (within two line heights, starting near the label's
// left edge). `width` and `height` are the frame's, in pixels.
std::vector<std::pair<std::size_t, std::size_t>> labelledValues(
    const std::vector<PlacedLine>& lines, double width, double height);

}  // namespace corvane::verification
