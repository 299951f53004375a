#include "platform/pixel_changes.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvane::platform {

std::optional<PixelChanges> changedTiles(const PixelBuffer& before, const PixelBuffer& after,
                                         int tile) {
  if (before.width() != after.width() || before.height() != after.height() || tile <= 0)
    return std::nullopt;
  PixelChanges changes;
  changes.sinceSerial = before.serial();
  const int columns = (after.width() + tile - 1) / tile;
  std::vector<bool> changed(static_cast<std::size_t>(columns));
  for (int top = 0; top < after.height(); top += tile) {
    const int rows = std::min(tile, after.height() - top);
    std::fill(changed.begin(), changed.end(), false);
    int unknown = columns;  // columns not yet found changed in this band
    for (int y = top; y < top + rows && unknown > 0; ++y) {
      const std::size_t row = static_cast<std::size_t>(y) * after.bytesPerRow();
      // Most rows of a frame are unchanged: one comparison of the whole row settles them.
      if (std::memcmp(before.data() + row, after.data() + row,
                      static_cast<std::size_t>(after.width()) * 4) == 0)
        continue;
      for (int column = 0; column < columns; ++column) {
        if (changed[column]) continue;
        const int x = column * tile;
        const std::size_t bytes = static_cast<std::size_t>(std::min(tile, after.width() - x)) * 4;
        if (std::memcmp(before.data() + row + x * 4, after.data() + row + x * 4, bytes) != 0) {
          changed[column] = true;
          --unknown;
        }
      }
    }
    for (int column = 0; column < columns;) {
      if (!changed[column]) {
        ++column;
        continue;
      }
      int end = column;
      while (end < columns && changed[end]) ++end;
      const int x = column * tile;
      changes.areas.push_back({x, top, std::min(end * tile, after.width()) - x, rows});
      column = end;
    }
  }
  return changes;
}

}  // namespace corvane::platform
