#include "verification/protected_tile_geometry.h"

#include <algorithm>

#include "verification/normalized_geometry.h"

namespace corvane::verification {

namespace {

struct Run {
  int startColumn = 0;
  int endColumn = 0;  // inclusive
  int startRow = 0;
  int endRow = 0;  // inclusive
};

// The span of pixels [first tile's start, end of last tile) along one side, clamped to `extent`.
struct Span {
  double start = 0;
  double length = 0;
};
Span normalizedSpan(int firstTile, int lastTile, int tileSize, int extent) {
  const int start = std::min(firstTile * tileSize, extent);
  const int end = std::min((lastTile + 1) * tileSize, extent);
  return {static_cast<double>(start) / extent, static_cast<double>(end - start) / extent};
}

bool holdsGrid(std::size_t flagCount, const TileGrid& grid) {
  return grid.isValid() && flagCount == static_cast<std::size_t>(grid.columns()) *
                                            static_cast<std::size_t>(grid.rows());
}

template <typename IsSet>
std::vector<platform::Rect> mergeRuns(const TileGrid& grid, IsSet isSet) {
  const int columns = grid.columns();
  const int rows = grid.rows();
  std::vector<platform::Rect> rects;
  auto close = [&](const Run& run) {
    const Span x = normalizedSpan(run.startColumn, run.endColumn, grid.tileSize, grid.width);
    const Span y = normalizedSpan(run.startRow, run.endRow, grid.tileSize, grid.height);
    rects.push_back(platform::Rect{{x.start, y.start}, {x.length, y.length}});
  };
  std::vector<Run> open;
  std::vector<Run> next;
  for (int row = 0; row < rows; ++row) {
    next.clear();
    for (int column = 0; column < columns;) {
      if (!isSet(row * columns + column)) {
        ++column;
        continue;
      }
      const int start = column;
      while (column < columns && isSet(row * columns + column)) ++column;
      const int end = column - 1;
      Run run{start, end, row, row};
      // Runs of one row never share columns, so at most one open run matches exactly.
      for (auto& above : open) {
        if (above.startColumn == start && above.endColumn == end && above.endRow == row - 1) {
          run.startRow = above.startRow;
          above.endRow = -1;  // taken over by this row
          break;
        }
      }
      next.push_back(run);
    }
    for (const auto& above : open) {
      if (above.endRow == row - 1) close(above);
    }
    open.swap(next);
  }
  for (const auto& run : open) close(run);
  return rects;
}

}  // namespace

int TileGrid::columns() const {
  return tileSize > 0 ? (width + tileSize - 1) / tileSize : 0;
}
int TileGrid::rows() const {
  return tileSize > 0 ? (height + tileSize - 1) / tileSize : 0;
}

std::vector<platform::Rect> ProtectedTileGeometry::normalizedRects(
    const std::vector<bool>& changedFlags, const TileGrid& grid) {
  if (!holdsGrid(changedFlags.size(), grid)) return {kUnitRect};
  return mergeRuns(grid, [&](int index) { return static_cast<bool>(changedFlags[index]); });
}

std::vector<platform::Rect> ProtectedTileGeometry::normalizedRects(const std::uint8_t* flags,
                                                                   std::size_t flagCount,
                                                                   const TileGrid& grid) {
  if (!holdsGrid(flagCount, grid)) return {kUnitRect};
  return mergeRuns(grid, [&](int index) { return flags[index] != 0; });
}

}  // namespace corvane::verification
