#include "verification/ink_rows.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "verification/pixel_luminance.h"
#include "verification/pixel_rect.h"

namespace corvane::verification {

namespace {

// Ink differs from the box's commonest level by more than this.
constexpr int kInkContrast = 48;

// The commonest luminance of `area`.
int backgroundOf(const platform::PixelBuffer& image, const PixelRect& area) {
  std::array<int, 256> levels{};
  for (int y = area.y; y < area.maxY(); ++y)
    for (int x = area.x; x < area.maxX(); ++x)
      ++levels[static_cast<std::size_t>(luminance(image.pixel(x, y)))];
  return static_cast<int>(std::max_element(levels.begin(), levels.end()) - levels.begin());
}

}  // namespace

platform::Rect narrowedToInkRows(const platform::PixelBuffer& image, const platform::Rect& box,
                                 int growth) {
  const auto pixels = pixelRect(box, image.width(), image.height());
  if (!pixels || pixels->height < 4) return box;
  const PixelRect area = *pixels;
  const int background = backgroundOf(image, area);
  auto inkOfRow = [&](int y) {
    int ink = 0;
    for (int x = area.x; x < area.maxX(); ++x)
      ink += std::abs(luminance(image.pixel(x, y)) - background) > kInkContrast;
    return ink;
  };
  std::vector<int> ink(static_cast<std::size_t>(area.height), 0);
  for (int y = area.y; y < area.maxY(); ++y)
    ink[static_cast<std::size_t>(y - area.y)] = inkOfRow(y);
  // Bands of inked rows; the one across the box's middle (the line the box was read on), else the
  // one with the most ink.
  std::vector<std::pair<int, int>> bands;  // [first, end) rows of the box
  for (int row = 0; row < area.height;) {
    if (ink[static_cast<std::size_t>(row)] == 0) {
      ++row;
      continue;
    }
    int end = row;
    while (end < area.height && ink[static_cast<std::size_t>(end)] > 0) ++end;
    bands.push_back({row, end});
    row = end;
  }
  if (bands.empty()) return box;
  auto inkOf = [&](const std::pair<int, int>& band) {
    int total = 0;
    for (int row = band.first; row < band.second; ++row)
      total += ink[static_cast<std::size_t>(row)];
    return total;
  };
  const int middle = area.height / 2;
  std::size_t chosen = 0;
  for (std::size_t i = 0; i < bands.size(); ++i) {
    if (bands[i].first <= middle && middle < bands[i].second) {
      chosen = i;
      break;
    }
    if (inkOf(bands[i]) > inkOf(bands[chosen])) chosen = i;
  }
  // A small band a blank row away, wholly inside the box, belongs to the line: an underscore
  // below its letters, the dots over them. A band the box cuts is a neighbouring line's.
  int bestTop = bands[chosen].first, bestBottom = bands[chosen].second;
  const int small = std::max(1, (bestBottom - bestTop) / 3);
  if (chosen > 0) {
    const auto& above = bands[chosen - 1];
    if (above.first > 0 && bestTop - above.second <= 1 && above.second - above.first <= small)
      bestTop = above.first;
  }
  if (chosen + 1 < bands.size()) {
    const auto& below = bands[chosen + 1];
    if (below.second < area.height && below.first - bestBottom <= 1 &&
        below.second - below.first <= small)
      bestBottom = below.second;
  }
  int top = area.y + bestTop, bottom = area.y + bestBottom;  // [top, bottom)
  // The nearest ink above and below within twice the growth: the mask stops halfway to it.
  for (int y = top - 1; y >= std::max(0, top - 2 * growth); --y) {
    if (inkOfRow(y) == 0) continue;
    const int middle = (y + 1 + top + 1) / 2;
    top = std::clamp(middle + growth, top, std::min(top + growth, bottom - 1));
    break;
  }
  for (int y = bottom; y < std::min(image.height(), bottom + 2 * growth); ++y) {
    if (inkOfRow(y) == 0) continue;
    const int middle = (bottom + y) / 2;
    bottom = std::clamp(middle - growth, std::max(bottom - growth, top + 1), bottom);
    break;
  }
  const double minY = std::max(box.minY(), static_cast<double>(top) / image.height());
  const double maxY = std::min(box.maxY(), static_cast<double>(bottom) / image.height());
  if (!(maxY > minY)) return box;
  return platform::Rect{{box.minX(), minY}, {box.width(), maxY - minY}};
}

bool showsRowOfGlyphs(const platform::PixelBuffer& image, const platform::Rect& box) {
  constexpr int kLowestRow = 4;
  constexpr int kTallestRow = 80;
  constexpr int kPiecesOfARow = 4;
  const auto pixels = pixelRect(box, image.width(), image.height());
  if (!pixels) return false;
  const int margin = std::max(4, pixels->height / 2);
  const PixelRect area =
      PixelRect{pixels->x, pixels->y - margin, pixels->width, pixels->height + 2 * margin}
          .intersection(PixelRect{0, 0, image.width(), image.height()});
  const int background = backgroundOf(image, area);
  auto isInk = [&](int x, int y) {
    return std::abs(luminance(image.pixel(x, y)) - background) > kInkContrast;
  };
  std::vector<bool> inked(static_cast<std::size_t>(area.height), false);
  for (int y = area.y; y < area.maxY(); ++y)
    for (int x = area.x; x < area.maxX() && !inked[static_cast<std::size_t>(y - area.y)]; ++x)
      inked[static_cast<std::size_t>(y - area.y)] = isInk(x, y);
  for (int top = 0; top < area.height;) {
    if (!inked[static_cast<std::size_t>(top)]) {
      ++top;
      continue;
    }
    int bottom = top;
    while (bottom < area.height && inked[static_cast<std::size_t>(bottom)]) ++bottom;
    const bool bounded = top > 0 && bottom < area.height;
    const int height = bottom - top;
    if (bounded && height >= kLowestRow && height <= kTallestRow) {
      int pieces = 0;
      bool inPiece = false;
      for (int x = area.x; x < area.maxX(); ++x) {
        bool column = false;
        for (int y = area.y + top; y < area.y + bottom && !column; ++y) column = isInk(x, y);
        pieces += column && !inPiece;
        inPiece = column;
      }
      if (pieces >= kPiecesOfARow) return true;
    }
    top = bottom;
  }
  return false;
}

}  // namespace corvane::verification
