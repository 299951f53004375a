#include "platform/linux/ocr/character_grid.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace corvane::platform::ocr {
namespace {

// A pixel this much darker than the background is ink where the pitch is measured...
constexpr int kPitchInkContrast = 24;
// ...and in a cell, where faint text must never pass for a blank cell.
constexpr int kCellInkContrast = 2;
// On the right pitch and phase, the cells' edges carry at most this share of the ink an average
// column (row) does: glyphs keep off their cells' edges but for a few (an underscore, a bold
// stroke). Proportional text spreads its ink evenly over every phase of any pitch.
constexpr double kMostEdgeInkAcross = 0.55;
constexpr double kMostEdgeInkDown = 0.3;
// Too few cells' worth of inked columns (rows) to tell a pitch from chance.
constexpr int kFewestCellsAcross = 12;
constexpr int kFewestCellsDown = 4;

int floorDivision(int value, int divisor) {
  return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

struct Pitch {
  int pitch = 0;
  int phase = 0;
};

// The smallest pitch in [least, most] whose cells' edges keep off the ink of `profile` (ink per
// column or per row), with the phase whose edges carry the least ink.
std::optional<Pitch> edgeAvoidingPitch(const std::vector<int>& profile, int least, int most,
                                       int fewestCells, double mostEdgeInk) {
  const long total = std::accumulate(profile.begin(), profile.end(), 0L);
  const auto inked = std::count_if(profile.begin(), profile.end(), [](int ink) { return ink > 0; });
  if (total == 0) return std::nullopt;
  const double mean = static_cast<double>(total) / static_cast<double>(profile.size());
  const int size = static_cast<int>(profile.size());
  for (int pitch = least; pitch <= most && pitch * 2 <= size; ++pitch) {
    if (inked < static_cast<long>(fewestCells) * pitch) break;
    std::optional<Pitch> best;
    double leastShare = mostEdgeInk;
    for (int phase = 0; phase < pitch; ++phase) {
      long edgeInk = 0;
      int edges = 0;
      for (int i = phase; i < size; i += pitch, ++edges)
        edgeInk += profile[static_cast<std::size_t>(i)];
      // Every phase has an edge: a pitch is at most half the profile.
      const double share = static_cast<double>(edgeInk) / (mean * edges);
      if (share <= leastShare) best = Pitch{pitch, phase}, leastShare = share;
    }
    if (best) return best;
  }
  return std::nullopt;
}

}  // namespace

int CharacterGrid::columnAt(int x) const {
  return floorDivision(x - originX, cellWidth);
}

int CharacterGrid::rowAt(int y) const {
  return floorDivision(y - originY, cellHeight);
}

bool CharacterGrid::isInk(std::uint8_t level) const {
  return std::abs(static_cast<int>(level) - background) > kCellInkContrast;
}

std::optional<CharacterGrid> findCharacterGrid(const GreyImage& image) {
  if (image.width < 16 || image.height < 16) return std::nullopt;
  CharacterGrid grid;
  grid.background = backgroundLevel(image);
  const int pitchInkBelow = grid.background - kPitchInkContrast;
  std::vector<int> columns(static_cast<std::size_t>(image.width), 0);
  std::vector<int> rows(static_cast<std::size_t>(image.height), 0);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const bool ink = image.at(x, y) < pitchInkBelow;
      columns[static_cast<std::size_t>(x)] += ink;
      rows[static_cast<std::size_t>(y)] += ink;
    }
  }
  // Solid rows and columns (a bar, a highlighted line) say nothing of where cells begin.
  for (int& ink : columns) ink = inkedNearlyThroughout(ink, image.height) ? 0 : ink;
  for (int& ink : rows) ink = inkedNearlyThroughout(ink, image.width) ? 0 : ink;
  const auto across = edgeAvoidingPitch(columns, 4, 24, kFewestCellsAcross, kMostEdgeInkAcross);
  if (!across) return std::nullopt;
  const auto down =
      edgeAvoidingPitch(rows, std::max(8, across->pitch), 48, kFewestCellsDown, kMostEdgeInkDown);
  if (!down) return std::nullopt;
  grid.cellWidth = across->pitch;
  grid.originX = across->phase;
  grid.cellHeight = down->pitch;
  grid.originY = down->phase;
  return grid;
}

std::string cellPicture(const GreyImage& image, const CharacterGrid& grid, int column, int row) {
  const PixelArea area = grid.cell(column, row);
  if (area.x < 0 || area.y < 0 || area.x + area.width > image.width ||
      area.y + area.height > image.height)
    return {};
  if (!cellHasInk(image, grid, column, row)) return {};
  auto distance = [&](int x, int y) { return std::abs(image.at(x, y) - grid.background); };
  int farthest = 0;
  for (int y = area.y; y < area.y + area.height; ++y)
    for (int x = area.x; x < area.x + area.width; ++x)
      farthest = std::max(farthest, distance(x, y));
  std::string picture{static_cast<char>(area.width), static_cast<char>(area.height)};
  int bit = 0;
  char byte = 0;
  for (int y = area.y; y < area.y + area.height; ++y) {
    for (int x = area.x; x < area.x + area.width; ++x) {
      byte = static_cast<char>(byte << 1 | (2 * distance(x, y) > farthest));
      if (++bit == 8) {
        picture.push_back(byte);
        bit = 0;
        byte = 0;
      }
    }
  }
  if (bit > 0) picture.push_back(static_cast<char>(byte << (8 - bit)));
  return picture;
}

bool cellHasInk(const GreyImage& image, const CharacterGrid& grid, int column, int row) {
  const PixelArea cell = grid.cell(column, row);
  const int x0 = std::max(0, cell.x), x1 = std::min(image.width, cell.x + cell.width);
  const int y0 = std::max(0, cell.y), y1 = std::min(image.height, cell.y + cell.height);
  auto isInk = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < image.width && y < image.height && grid.isInk(image.at(x, y));
  };
  // Ink on the cell's outer edge that touches ink beyond it is a neighbour's: the smoothed edge or
  // the overhang of a glyph next door.
  auto isSpill = [&](int x, int y) {
    const bool edge =
        x == cell.x || x == cell.x + cell.width - 1 || y == cell.y || y == cell.y + cell.height - 1;
    if (!edge) return false;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        const int nx = x + dx, ny = y + dy;
        const bool outside =
            nx < cell.x || nx >= cell.x + cell.width || ny < cell.y || ny >= cell.y + cell.height;
        if (outside && isInk(nx, ny)) return true;
      }
    }
    return false;
  };
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (isInk(x, y) && !isSpill(x, y)) return true;
  return false;
}

}  // namespace corvane::platform::ocr
