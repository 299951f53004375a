#pragma once

// Truth from an application's own drawings of one place, for applications whose layout is not
// known beforehand (an editor's margins, a terminal's padding): the same window drawn four times,
// with the planted lines, with every line blanked, with every character of every line an "x", and
// with only the secrets blanked. The x's mark each line's row apart from the next (they reach
// neither above nor below the lower-case letters), so each line's cell runs from halfway to the
// row above to halfway to the row below; within it, what the first drawing shows beyond the
// blank one is the line's ink, and beyond the last one its secret's ink.

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/real_application/real_application_screen.h"

namespace corvane::testing::real_application {

// The four drawings of one area (pixels of the same size).
struct Drawings {
  std::shared_ptr<platform::PixelBuffer> lines;
  std::shared_ptr<platform::PixelBuffer> blank;
  std::shared_ptr<platform::PixelBuffer> marks;  // every character an "x"
  std::shared_ptr<platform::PixelBuffer> secretsBlank;
};

namespace drawn_detail {

inline bool differs(std::uint32_t a, std::uint32_t b) {
  int sum = 0;
  for (int shift : {0, 8, 16})
    sum += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
  return sum > 24;
}

// The box of the pixels that differ between `a` and `b` in rows [top, bottom); nothing when none.
inline std::optional<platform::Rect> differenceIn(const platform::PixelBuffer& a,
                                                  const platform::PixelBuffer& b, int top,
                                                  int bottom) {
  int minX = a.width(), maxX = -1, minY = bottom, maxY = -1;
  for (int y = top; y < bottom; ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (!differs(a.pixel(x, y), b.pixel(x, y))) continue;
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
  }
  if (maxX < 0) return std::nullopt;
  return platform::Rect{{double(minX), double(minY)},
                        {double(maxX - minX + 1), double(maxY - minY + 1)}};
}

// Each line's cell, [top, bottom), from the runs of rows where the marks differ from the blank
// drawing: one run a line, at an even pitch; nothing when the marks do not show that.
inline std::optional<std::vector<std::pair<int, int>>> lineCells(const Drawings& drawings,
                                                                 std::size_t count) {
  const platform::PixelBuffer& marks = *drawings.marks;
  const platform::PixelBuffer& blank = *drawings.blank;
  std::vector<std::pair<int, int>> runs;  // [top, bottom)
  for (int y = 0; y < marks.height(); ++y) {
    bool any = false;
    for (int x = 0; x < marks.width() && !any; ++x)
      any = differs(marks.pixel(x, y), blank.pixel(x, y));
    if (!any) continue;
    if (!runs.empty() && runs.back().second == y)
      runs.back().second = y + 1;
    else
      runs.push_back({y, y + 1});
  }
  if (runs.size() != count || count < 2) return std::nullopt;
  const double pitch = double(runs.back().first - runs.front().first) / double(count - 1);
  for (std::size_t i = 0; i < count; ++i) {
    if (std::abs(runs[i].first - (runs.front().first + pitch * double(i))) > pitch / 4)
      return std::nullopt;
  }
  std::vector<std::pair<int, int>> cells;
  const int half = static_cast<int>(pitch / 2);
  for (std::size_t i = 0; i < count; ++i) {
    const int middle = (runs[i].first + runs[i].second) / 2;
    cells.push_back({std::max(0, middle - half - 1), std::min(marks.height(), middle + half + 1)});
  }
  for (std::size_t i = 0; i + 1 < count; ++i) {
    // Neighbouring cells meet halfway between their marks.
    const int between = (runs[i].second + runs[i + 1].first) / 2;
    cells[i].second = std::min(cells[i].second, between);
    cells[i + 1].first = std::max(cells[i + 1].first, between);
  }
  return cells;
}

}  // namespace drawn_detail

// Adds `lines` to `screen` from their drawings at `origin` of the screen's image, each at
// `pixelSize`; false (nothing added) when the drawings do not show each line's row.
inline bool plantDrawnLines(RealApplicationScreen& screen, const std::vector<PlantedLine>& lines,
                            const Drawings& drawings, platform::Point origin, int pixelSize,
                            int& unseen) {
  using namespace drawn_detail;
  if (!drawings.lines || !drawings.blank || !drawings.marks || !drawings.secretsBlank) return false;
  const auto cells = lineCells(drawings, lines.size());
  if (!cells) return false;
  auto onScreen = [&origin](platform::Rect box) {
    box.origin = {box.origin.x + origin.x, box.origin.y + origin.y};
    return box;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto [top, bottom] = (*cells)[i];
    const auto ink = differenceIn(*drawings.lines, *drawings.blank, top, bottom);
    const auto secret = differenceIn(*drawings.lines, *drawings.secretsBlank, top, bottom);
    if (!ink) {
      ++unseen;
      continue;
    }
    placeLine(screen, lines[i], onScreen(*ink),
              secret ? onScreen(*secret) : platform::Rect{{0, 0}, {0, 0}}, pixelSize, unseen);
  }
  return true;
}

// What the line becomes in a drawing other than the first: each character a space (`secretsOnly`:
// only its secret's), or, for the marks, an "x".
enum class Redrawn { blank, secretsBlank, marks };
inline std::string redrawn(const PlantedLine& line, Redrawn how) {
  std::string text;
  for (const PlantedPiece& piece : line.pieces) {
    if (how == Redrawn::secretsBlank && !piece.secret)
      text += piece.text;
    else
      text += std::string(piece.text.size(), how == Redrawn::marks ? 'x' : ' ');
  }
  return text;
}

}  // namespace corvane::testing::real_application
