#include "verification/background_polarity.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

#include "verification/cell_components.h"
#include "verification/pixel_luminance.h"
#include "verification/pixel_rect.h"

namespace corvane::verification {

using platform::PixelBuffer;
using platform::Rect;

namespace {

constexpr int kCell = 16;
// A cell is of the other polarity when its mean is clearly on the other side of the middle.
constexpr int kDarkCell = 96;
constexpr int kLightCell = 160;
constexpr int kMiddle = 128;
// An area narrower or lower than this many cells holds no more than a few characters.
constexpr int kNarrowestArea = 3;
constexpr int kLowestArea = 2;
// At most this many areas per region, the largest.
constexpr std::size_t kMostAreas = 12;
// An area covering this share of the region or more is the region itself.
constexpr double kNearlyWhole = 0.85;

// Mean luminance of the pixels of `area`.
int meanOf(const PixelBuffer& image, const PixelRect& area) {
  if (area.isEmpty()) return kMiddle;
  std::uint64_t sum = 0;
  for (int y = area.y; y < area.maxY(); ++y)
    for (int x = area.x; x < area.maxX(); ++x)
      sum += static_cast<std::uint64_t>(luminance(image.pixel(x, y)));
  return static_cast<int>(sum / (static_cast<std::uint64_t>(area.width) * area.height));
}

// `box` with each edge moved in while the row or column on it is of the region's own polarity,
// so that it ends where the other background does.
PixelRect tightened(const PixelBuffer& image, const PixelRect& box, bool darkRegion) {
  return shrunkWhile(box, [&](const PixelRect& line) {
    return darkRegion ? meanOf(image, line) < kMiddle : meanOf(image, line) >= kMiddle;
  });
}

}  // namespace

std::vector<Rect> oppositeBackgroundAreas(const PixelBuffer& image, const Rect& region) {
  const auto pixels = pixelRect(region, image.width(), image.height());
  if (!pixels) return {};
  const PixelRect whole = *pixels;
  const int columns = whole.width / kCell;
  const int rows = whole.height / kCell;
  if (columns < kNarrowestArea || rows < kLowestArea) return {};
  const bool darkRegion = meanOf(image, whole) < kMiddle;

  std::vector<int> opposite(static_cast<std::size_t>(columns) * rows, kNoCellLabel);
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const int mean =
          meanOf(image, {whole.x + column * kCell, whole.y + row * kCell, kCell, kCell});
      if (darkRegion ? mean > kLightCell : mean < kDarkCell)
        opposite[static_cast<std::size_t>(row) * columns + column] = 1;
    }
  }
  // The connected parts of the other polarity, as boxes of cells.
  std::vector<PixelRect> areas;
  for (const CellComponent& part : cellComponents(opposite, columns, rows)) {
    const int left = part.left, top = part.top, right = part.right, bottom = part.bottom;
    if (right - left + 1 < kNarrowestArea || bottom - top + 1 < kLowestArea) continue;
    // A cell beyond each side, where the area's edge may lie within a cell of mixed polarity.
    const PixelRect grownBox = PixelRect{whole.x + (left - 1) * kCell, whole.y + (top - 1) * kCell,
                                         (right - left + 3) * kCell, (bottom - top + 3) * kCell}
                                   .intersection(whole);
    const PixelRect area = tightened(image, grownBox, darkRegion);
    if (area.isEmpty() || static_cast<double>(area.width) * area.height >=
                              kNearlyWhole * static_cast<double>(whole.width) * whole.height)
      continue;
    areas.push_back(area);
  }
  std::stable_sort(areas.begin(), areas.end(), [](const PixelRect& a, const PixelRect& b) {
    return static_cast<long>(a.width) * a.height > static_cast<long>(b.width) * b.height;
  });
  if (areas.size() > kMostAreas) areas.resize(kMostAreas);
  std::vector<Rect> result;
  for (const PixelRect& area : areas)
    result.push_back(normalizedRect(area, image.width(), image.height()));
  return result;
}

platform::SharedPixelBuffer withAreasPaintedOver(const PixelBuffer& image,
                                                 const std::vector<Rect>& areas,
                                                 const std::vector<Rect>& regions) {
  auto painted = std::make_shared<PixelBuffer>(image);
  std::uint8_t* data = painted->mutableData();
  for (const Rect& area : areas) {
    const auto pixels = pixelRect(area, image.width(), image.height());
    if (!pixels) continue;
    // The region the area was found in says which polarity surrounds it.
    const auto region = std::find_if(regions.begin(), regions.end(), [&](const Rect& r) {
      return !r.intersection(area).isEmpty();
    });
    const auto whole =
        region == regions.end() ? std::nullopt : pixelRect(*region, image.width(), image.height());
    const std::uint8_t level = whole && meanOf(image, *whole) < kMiddle ? 0 : 255;
    for (int y = pixels->y; y < pixels->maxY(); ++y) {
      std::uint8_t* row = data + static_cast<std::size_t>(y) * painted->bytesPerRow();
      for (int x = pixels->x; x < pixels->maxX(); ++x) {
        std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;
        p[0] = p[1] = p[2] = level;
        p[3] = 255;
      }
    }
  }
  return painted;
}

bool showsTextLikeRows(const PixelBuffer& image, const Rect& area) {
  const auto pixels = pixelRect(area, image.width(), image.height());
  if (!pixels) return false;
  const PixelRect box = *pixels;
  const int background = meanOf(image, box);
  constexpr int kInkContrast = 60;
  constexpr int kStrokesOfATextRow = 2;
  constexpr int kLowestLine = 5;
  constexpr int kTallestLine = 80;
  auto isInk = [&](int x, int y) {
    return std::abs(luminance(image.pixel(x, y)) - background) > kInkContrast;
  };
  int band = 0;
  for (int y = box.y; y <= box.maxY(); ++y) {
    int strokes = 0;
    if (y < box.maxY()) {
      bool inInk = false;
      for (int x = box.x; x < box.maxX(); ++x) {
        const bool ink = isInk(x, y);
        strokes += ink && !inInk;
        inInk = ink;
      }
    }
    if (strokes >= kStrokesOfATextRow) {
      ++band;
      continue;
    }
    if (band >= kLowestLine && band <= kTallestLine) return true;
    band = 0;
  }
  return false;
}

}  // namespace corvane::verification
