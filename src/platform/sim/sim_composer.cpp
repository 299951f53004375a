#include "platform/sim/sim_composer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/sim_colors.h"
#include "platform/window_areas.h"

namespace corvane::platform::sim {
namespace {

// Maps desktop points to output pixels: output pixel (x, y) shows the point at its centre.
class PixelMapping {
 public:
  PixelMapping(const Rect& displayFrame, int width, int height)
      : origin_(displayFrame.origin),
        pointsPerPixelX_(displayFrame.width() / width),
        pointsPerPixelY_(displayFrame.height() / height),
        width_(width),
        height_(height) {}

  // The first column whose centre lies at or right of x.
  int columnAt(double x) const { return edge((x - origin_.x) / pointsPerPixelX_, width_); }
  int rowAt(double y) const { return edge((y - origin_.y) / pointsPerPixelY_, height_); }
  double rowCentre(int row) const { return origin_.y + (row + 0.5) * pointsPerPixelY_; }
  double columnLeft(int column) const { return origin_.x + column * pointsPerPixelX_; }
  double columnCentre(int column) const { return origin_.x + (column + 0.5) * pointsPerPixelX_; }

 private:
  static int edge(double pixels, int limit) {
    const double first = std::ceil(pixels - 0.5);
    return static_cast<int>(std::clamp(first, 0.0, static_cast<double>(limit)));
  }

  Point origin_;
  double pointsPerPixelX_;
  double pointsPerPixelY_;
  int width_;
  int height_;
};

struct PixelSpan {
  int begin = 0;
  int end = 0;
};

void fillSpan(PixelBuffer& buffer, int row, PixelSpan span, std::uint32_t color) {
  if (span.end <= span.begin) return;
  auto* line = reinterpret_cast<std::uint32_t*>(
      buffer.mutableData() + static_cast<std::size_t>(row) * buffer.bytesPerRow());
  std::fill(line + span.begin, line + span.end, color);
}

// A checkerboard's columns: the pixel span of each square column and whether it starts odd.
struct CheckerColumn {
  PixelSpan span;
  bool odd = false;
};

std::vector<CheckerColumn> checkerColumns(const PixelMapping& map, const SimDesktopWindow& window,
                                          PixelSpan covered) {
  std::vector<CheckerColumn> columns;
  const double cell = window.pattern.cellSize;
  // Squares wholly left of the output are skipped without walking them.
  const double hiddenLeft = map.columnLeft(covered.begin) - window.frame.minX();
  const long firstIndex = std::max(0L, static_cast<long>(std::floor(hiddenLeft / cell)) - 1);
  for (long index = firstIndex;; ++index) {
    const double left = window.frame.minX() + index * cell;
    if (left >= window.frame.maxX()) break;
    const double right = std::min(left + cell, window.frame.maxX());
    PixelSpan span{std::max(map.columnAt(left), covered.begin),
                   std::min(map.columnAt(right), covered.end)};
    if (span.begin >= covered.end) break;
    if (span.end > span.begin) columns.push_back({span, ((index + window.pattern.phase) & 1) != 0});
  }
  return columns;
}

void paintWindow(PixelBuffer& buffer, const PixelMapping& map, const SimDesktopWindow& window) {
  const PixelSpan columns{map.columnAt(window.frame.minX()), map.columnAt(window.frame.maxX())};
  const int firstRow = map.rowAt(window.frame.minY());
  const int endRow = map.rowAt(window.frame.maxY());
  if (columns.end <= columns.begin || endRow <= firstRow) return;

  const std::uint32_t primary = windowPrimaryColor(window.id);
  // Squares under one point wide are drawn solid (they would only cost time).
  const bool checkerboard = window.pattern.checkerboard && window.pattern.cellSize >= 1 &&
                            std::isfinite(window.pattern.cellSize);
  if (!checkerboard) {
    for (int row = firstRow; row < endRow; ++row) fillSpan(buffer, row, columns, primary);
    return;
  }
  // Rows of squares alternate between two patterns: build both once, then copy whole rows.
  const std::uint32_t secondary = windowSecondaryColor(window.id);
  const std::size_t width = static_cast<std::size_t>(columns.end - columns.begin);
  std::vector<std::uint32_t> evenRow(width);
  std::vector<std::uint32_t> oddRow(width);
  for (const auto& square : checkerColumns(map, window, columns)) {
    const auto begin = static_cast<std::size_t>(square.span.begin - columns.begin);
    const auto end = static_cast<std::size_t>(square.span.end - columns.begin);
    std::fill(evenRow.begin() + begin, evenRow.begin() + end, square.odd ? secondary : primary);
    std::fill(oddRow.begin() + begin, oddRow.begin() + end, square.odd ? primary : secondary);
  }
  for (int row = firstRow; row < endRow; ++row) {
    const double y = map.rowCentre(row) - window.frame.minY();
    const bool isOddRow = (static_cast<long>(std::floor(y / window.pattern.cellSize)) & 1) != 0;
    const auto& pattern = isOddRow ? oddRow : evenRow;
    std::memcpy(buffer.mutableData() + static_cast<std::size_t>(row) * buffer.bytesPerRow() +
                    static_cast<std::size_t>(columns.begin) * 4,
                pattern.data(), width * 4);
  }
}

// The shape's rectangles that cross the layer's row at `y` (all of it when unshaped: none).
void shapeRowAt(const SimOwnWindowLayer& layer, double y, std::vector<Rect>& row) {
  row.clear();
  for (const Rect& rect : *layer.shape) {
    if (y >= rect.minY() && y < rect.maxY()) row.push_back(rect);
  }
}

bool inShapeRow(const std::vector<Rect>& row, double x) {
  return std::any_of(row.begin(), row.end(),
                     [x](const Rect& rect) { return x >= rect.minX() && x < rect.maxX(); });
}

void paintOwnWindow(PixelBuffer& buffer, const PixelMapping& map, const SimOwnWindowLayer& layer) {
  if (!layer.pixels) return;
  const PixelBuffer& image = *layer.pixels;
  const PixelSpan columns{map.columnAt(layer.frame.minX()), map.columnAt(layer.frame.maxX())};
  // A shaped window is tested against the rectangles of its row only, not the whole shape per
  // pixel.
  std::vector<Rect> shapeRow;
  for (int row = map.rowAt(layer.frame.minY()); row < map.rowAt(layer.frame.maxY()); ++row) {
    const double y = map.rowCentre(row) - layer.frame.minY();
    if (layer.shape) {
      shapeRowAt(layer, y, shapeRow);
      if (shapeRow.empty()) continue;
    }
    for (int column = columns.begin; column < columns.end; ++column) {
      const double x = map.columnCentre(column) - layer.frame.minX();
      if (layer.shape && !inShapeRow(shapeRow, x)) continue;
      const int sx = static_cast<int>(std::floor(x));
      const int sy = static_cast<int>(std::floor(y));
      if (sx < 0 || sy < 0 || sx >= image.width() || sy >= image.height()) continue;
      const std::uint32_t pixel = image.pixel(sx, sy);
      if ((pixel >> 24) != 0) buffer.setPixel(column, row, pixel);
    }
  }
}

void paintCursor(PixelBuffer& buffer, const PixelMapping& map, const SimCursor& cursor) {
  if (!cursor.image) return;
  const PixelBuffer& image = *cursor.image;
  const int left = map.columnAt(cursor.position.x) - static_cast<int>(cursor.hotSpot.x);
  const int top = map.rowAt(cursor.position.y) - static_cast<int>(cursor.hotSpot.y);
  for (int y = 0; y < image.height(); ++y) {
    const int row = top + y;
    if (row < 0 || row >= buffer.height()) continue;
    for (int x = 0; x < image.width(); ++x) {
      const int column = left + x;
      if (column < 0 || column >= buffer.width()) continue;
      const std::uint32_t pixel = image.pixel(x, y);
      if ((pixel >> 24) != 0) buffer.setPixel(column, row, pixel);
    }
  }
}

SimWindowOwner ownerOf(const SimDesktopState& state, const SimDesktopWindow& window) {
  const SimApplication* app = state.application(window.ownerProcessID);
  return SimWindowOwner{app ? app->info.bundleIdentifier : std::string(), window.ownerProcessID,
                        window.kind};
}

bool excludesProcess(const ContentFilter& filter, std::int32_t processIdentifier) {
  return processIdentifier > 0 &&
         std::any_of(
             filter.excludedApplications.begin(), filter.excludedApplications.end(),
             [&](const ShareableApplication& app) { return app.processID == processIdentifier; });
}

}  // namespace

bool filterLeavesOut(const ContentFilter& filter, std::uint32_t windowID,
                     const SimWindowOwner& owner, SimApplicationMatching matching) {
  if (filter.excludedWindowIDs.contains(windowID)) return true;
  if (filter.excludeDesktopWindows && owner.kind == SimWindowKind::desktopIcons) return true;
  const bool excluded =
      matching == SimApplicationMatching::processOnly
          ? excludesProcess(filter, owner.processIdentifier)
          : filter.excludesApplication(owner.bundleIdentifier, owner.processIdentifier);
  return excluded && !filter.exceptingWindowIDs.contains(windowID);
}

runtime::Result<std::shared_ptr<PixelBuffer>> composeFrame(const SimDesktopState& state,
                                                           const ContentFilter& filter, int width,
                                                           int height, bool showsCursor,
                                                           SimApplicationMatching matching) {
  const Screen* display = state.display(filter.displayID);
  if (display == nullptr) {
    return runtime::Error{"Display " + std::to_string(filter.displayID) + " is not connected."};
  }
  if (width <= 0 || height <= 0) {
    width = static_cast<int>(std::lround(display->frame.width() * display->backingScaleFactor));
    height = static_cast<int>(std::lround(display->frame.height() * display->backingScaleFactor));
  }
  if (width <= 0 || height <= 0 || width > kMaxComposedFrameSide ||
      height > kMaxComposedFrameSide) {
    return runtime::Error{"The capture size " + std::to_string(width) + "×" +
                          std::to_string(height) + " cannot be composed."};
  }

  auto buffer = std::make_shared<PixelBuffer>(width, height);
  buffer->fill(state.backgroundColor);
  const PixelMapping map(display->frame, width, height);
  // The windows drawn, bottom to top, in output pixels; our own layers are shaped or
  // translucent, so they hide nothing beneath them.
  std::vector<WindowPlacement> placements;
  auto placed = [&map, &placements](const Rect& frame, bool opaque) {
    const int x0 = map.columnAt(frame.minX()), y0 = map.rowAt(frame.minY());
    placements.push_back(
        {Rect{{double(x0), double(y0)},
              {double(map.columnAt(frame.maxX()) - x0), double(map.rowAt(frame.maxY()) - y0)}},
         opaque});
  };
  for (const SimDesktopWindow& window : state.windows) {
    if (!state.isOnScreen(window)) continue;
    if (!window.frame.intersects(display->frame)) continue;
    if (filterLeavesOut(filter, window.id, ownerOf(state, window), matching)) continue;
    paintWindow(*buffer, map, window);
    placed(window.frame, true);
  }
  for (const SimOwnWindowLayer& layer : state.ownWindows) {
    if (!filter.exceptingWindowIDs.contains(layer.windowID)) continue;
    if (!layer.frame.intersects(display->frame)) continue;
    paintOwnWindow(*buffer, map, layer);
    placed(layer.frame, false);
  }
  if (showsCursor) paintCursor(*buffer, map, state.cursor);
  buffer->setWindowAreas(visibleWindowAreas(placements, width, height, width, height));
  return buffer;
}

}  // namespace corvane::platform::sim
