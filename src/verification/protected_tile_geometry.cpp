#include "verification/protected_tile_geometry.h"

#include "verification/normalized_geometry.h"

namespace corvane::verification {

namespace {

struct Run {
  int startColumn = 0;
  int endColumn = 0;  // inclusive
  int startRow = 0;
  int endRow = 0;  // inclusive
};

template <typename IsSet>
std::vector<platform::Rect> mergeRuns(int columns, int rows, IsSet isSet) {
  std::vector<platform::Rect> rects;
  auto close = [&](const Run& run) {
    rects.push_back(platform::Rect{
        {static_cast<double>(run.startColumn) / columns, static_cast<double>(run.startRow) / rows},
        {static_cast<double>(run.endColumn - run.startColumn + 1) / columns,
         static_cast<double>(run.endRow - run.startRow + 1) / rows}});
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

std::vector<platform::Rect> ProtectedTileGeometry::normalizedRects(
    const std::vector<bool>& changedFlags, int columns, int rows) {
  if (columns < 1 || rows < 1 ||
      changedFlags.size() != static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows))
    return {kUnitRect};
  return mergeRuns(columns, rows,
                   [&](int index) { return static_cast<bool>(changedFlags[index]); });
}

std::vector<platform::Rect> ProtectedTileGeometry::normalizedRects(const std::uint8_t* flags,
                                                                   std::size_t flagCount,
                                                                   int columns, int rows) {
  if (columns < 1 || rows < 1 ||
      flagCount != static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows))
    return {kUnitRect};
  return mergeRuns(columns, rows, [&](int index) { return flags[index] != 0; });
}

}  // namespace corvane::verification
