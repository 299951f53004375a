#pragma once

#include <cstdint>
#include <vector>

#include "platform/geometry.h"

namespace corvane::verification {

// Turns a row-major grid of tile flags into a few normalised rects (origin top left): runs of
// set tiles in a row, merged downwards while the next row has a run over exactly the same
// columns. The order of the rects carries no meaning.
namespace ProtectedTileGeometry {

// A grid that does not hold exactly columns × rows flags (or has no cell) gives the unit square.
std::vector<platform::Rect> normalizedRects(const std::vector<bool>& changedFlags, int columns,
                                            int rows);
// The same over byte flags (non-zero is set), as the tile kernel writes them.
std::vector<platform::Rect> normalizedRects(const std::uint8_t* flags, std::size_t flagCount,
                                            int columns, int rows);

}  // namespace ProtectedTileGeometry

}  // namespace corvane::verification
