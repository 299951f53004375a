#include "verification/background_panels.h"

#include <algorithm>
#include <cstdint>

#include "platform/rect_subtraction.h"
#include "verification/cell_components.h"
#include "verification/pixel_rect.h"

namespace corvane::verification {

using platform::PixelBuffer;
using platform::Rect;

namespace {

constexpr int kCell = 8;
// A cell is plain when one colour holds at least this share of it: its background, between or
// beside the strokes of its text.
constexpr int kPlainPixels = kCell * kCell / 2;
// A panel holds at least a few words and a line.
constexpr int kNarrowestPanel = 96;
constexpr int kLowestPanel = 24;
// A panel covering this share of the region or more is the region's own background.
constexpr double kNearlyWhole = 0.85;
// A panel this much within another belongs to it.
constexpr double kWithinShare = 0.9;
constexpr std::size_t kMostPanels = 24;

// A colour to a twelfth of a byte per channel: antialiased edges and dithering fall apart from
// the background, shades of one background do not.
std::uint16_t colourKey(std::uint32_t argb) {
  return static_cast<std::uint16_t>((((argb >> 20) & 0xF) << 8) | (((argb >> 12) & 0xF) << 4) |
                                    ((argb >> 4) & 0xF));
}

constexpr int kMixed = kNoCellLabel;

// The colour holding most of the cell at (x, y), or kMixed when none holds half of it. The
// candidates are sampled: a colour holding half the cell is nearly always among five pixels.
int plainColourOf(const PixelBuffer& image, int x, int y) {
  const std::pair<int, int> samples[] = {
      {0, 0}, {kCell - 1, 0}, {kCell / 2, kCell / 2}, {0, kCell - 1}, {kCell - 1, kCell - 1}};
  int tried[5];
  int triedCount = 0;
  for (const auto& [dx, dy] : samples) {
    const int key = colourKey(image.pixel(x + dx, y + dy));
    if (std::find(tried, tried + triedCount, key) != tried + triedCount) continue;
    tried[triedCount++] = key;
    int count = 0;
    for (int row = 0; row < kCell; ++row)
      for (int column = 0; column < kCell; ++column)
        count += colourKey(image.pixel(x + column, y + row)) == key;
    if (count >= kPlainPixels) return key;
  }
  return kMixed;
}

// The share of the pixels of a row or column piece that are of `key`.
double shareOf(const PixelBuffer& image, const PixelRect& line, int key) {
  if (line.isEmpty()) return 0;
  int count = 0;
  for (int y = line.y; y < line.maxY(); ++y)
    for (int x = line.x; x < line.maxX(); ++x) count += colourKey(image.pixel(x, y)) == key;
  return static_cast<double>(count) / (static_cast<double>(line.width) * line.height);
}

// `box` with its edges moved, to the pixel, to where the colour `key` ends: in while the edge
// holds less than half of it, out (a cell at most) while the line beyond holds half or more.
PixelRect edgesOf(const PixelBuffer& image, PixelRect box, int key, const PixelRect& within) {
  auto holds = [&](const PixelRect& line) { return shareOf(image, line, key) >= 0.5; };
  box = shrunkWhile(box, [&](const PixelRect& line) { return !holds(line); });
  if (box.isEmpty()) return box;
  for (int step = 0; step < kCell && box.y > within.y && holds({box.x, box.y - 1, box.width, 1});
       ++step)
    --box.y, ++box.height;
  for (int step = 0;
       step < kCell && box.maxY() < within.maxY() && holds({box.x, box.maxY(), box.width, 1});
       ++step)
    ++box.height;
  for (int step = 0; step < kCell && box.x > within.x && holds({box.x - 1, box.y, 1, box.height});
       ++step)
    --box.x, ++box.width;
  for (int step = 0;
       step < kCell && box.maxX() < within.maxX() && holds({box.maxX(), box.y, 1, box.height});
       ++step)
    ++box.width;
  return box;
}

struct Panel {
  PixelRect box;
  double fill = 0;  // the share of its box's cells its colour holds
};

long areaOf(const PixelRect& r) {
  return static_cast<long>(r.width) * r.height;
}

}  // namespace

std::vector<std::vector<Rect>> backgroundPanels(const PixelBuffer& image, const Rect& region) {
  const auto pixels = pixelRect(region, image.width(), image.height());
  if (!pixels) return {};
  const PixelRect whole = *pixels;
  const int columns = whole.width / kCell;
  const int rows = whole.height / kCell;
  if (columns < 2 || rows < 2) return {};
  std::vector<int> colour(static_cast<std::size_t>(columns) * rows);
  for (int row = 0; row < rows; ++row)
    for (int column = 0; column < columns; ++column)
      colour[static_cast<std::size_t>(row) * columns + column] =
          plainColourOf(image, whole.x + column * kCell, whole.y + row * kCell);

  // The connected parts of one plain colour.
  std::vector<Panel> found;
  for (const CellComponent& part : cellComponents(colour, columns, rows)) {
    const PixelRect cellBox{whole.x + part.left * kCell, whole.y + part.top * kCell,
                            (part.right - part.left + 1) * kCell,
                            (part.bottom - part.top + 1) * kCell};
    if (cellBox.width < kNarrowestPanel || cellBox.height < kLowestPanel) continue;
    const PixelRect box = edgesOf(image, cellBox, part.label, whole);
    if (box.width < kNarrowestPanel || box.height < kLowestPanel ||
        static_cast<double>(areaOf(box)) >= kNearlyWhole * static_cast<double>(areaOf(whole)))
      continue;
    found.push_back({box, static_cast<double>(part.cells) /
                              ((part.right - part.left + 1) * (part.bottom - part.top + 1))});
  }

  // Largest first, leaving out those within one already kept.
  std::stable_sort(found.begin(), found.end(),
                   [](const Panel& a, const Panel& b) { return areaOf(a.box) > areaOf(b.box); });
  std::vector<Panel> kept;
  for (const Panel& panel : found) {
    const bool within = std::any_of(kept.begin(), kept.end(), [&](const Panel& outer) {
      return static_cast<double>(areaOf(outer.box.intersection(panel.box))) >=
             kWithinShare * static_cast<double>(areaOf(panel.box));
    });
    if (!within) kept.push_back(panel);
    if (kept.size() == kMostPanels) break;
  }
  // Where two overlap, the fuller keeps the overlap.
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Panel& a, const Panel& b) { return a.fill > b.fill; });
  std::vector<std::vector<Rect>> panels;
  std::vector<Rect> taken;
  for (const Panel& panel : kept) {
    const Rect box = normalizedRect(panel.box, image.width(), image.height());
    std::vector<Rect> shown{box};
    for (const Rect& other : taken) shown = platform::subtracted(shown, other);
    std::erase_if(shown, [](const Rect& piece) { return piece.isEmpty(); });
    if (!shown.empty()) panels.push_back(std::move(shown));
    taken.push_back(box);
  }
  return panels;
}

}  // namespace corvane::verification
