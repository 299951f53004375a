#pragma once

#include <cstdint>
#include <vector>

#include "platform/geometry.h"

namespace corvane::verification {

// Square tiles laid over a frame from its top-left corner; the last column and row are cut
// short where the frame is not a whole number of tiles.
struct TileGrid {
  int width = 0;  // of the frame, in pixels
  int height = 0;
  int tileSize = 0;

  int columns() const;
  int rows() const;
  bool isValid() const { return width > 0 && height > 0 && tileSize > 0; }
};

// Turns a row-major grid of tile flags into a few normalised rects (origin top left): runs of
// set tiles in a row, merged downwards while the next row has a run over exactly the same
// columns. Each rect covers its tiles' pixels, clamped to the frame. The order of the rects
// carries no meaning.
namespace ProtectedTileGeometry {

// A grid that is not valid or does not hold exactly columns × rows flags gives the unit square.
std::vector<platform::Rect> normalizedRects(const std::vector<bool>& changedFlags,
                                            const TileGrid& grid);
// The same over byte flags (non-zero is set), as the tile kernel writes them.
std::vector<platform::Rect> normalizedRects(const std::uint8_t* flags, std::size_t flagCount,
                                            const TileGrid& grid);

}  // namespace ProtectedTileGeometry

}  // namespace corvane::verification
