#pragma once

// Truth from an application's own drawings of one place, for applications whose layout is not
// known beforehand (an editor's margins, a terminal's padding): the same window drawn three
// times, with the planted lines, with every line blanked, and with only the secrets blanked. The
// rows where the first drawing differs from the second are the lines' rows, in order; within each,
// what differs is the line's ink, and what differs from the third drawing its secret's ink.

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/real_application/real_application_screen.h"

namespace corvane::testing::real_application {

// The three drawings of one area (pixels of the same size).
struct Drawings {
  std::shared_ptr<platform::PixelBuffer> lines;
  std::shared_ptr<platform::PixelBuffer> blank;
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

// The runs of rows where `a` and `b` differ, merged across the narrowest gaps until there are
// `count` (a gap inside a line: an underscore below its letters); nothing when fewer show.
inline std::optional<std::vector<std::pair<int, int>>> lineRows(const platform::PixelBuffer& a,
                                                                const platform::PixelBuffer& b,
                                                                std::size_t count) {
  std::vector<std::pair<int, int>> runs;  // [top, bottom)
  for (int y = 0; y < a.height(); ++y) {
    bool any = false;
    for (int x = 0; x < a.width() && !any; ++x) any = differs(a.pixel(x, y), b.pixel(x, y));
    if (!any) continue;
    if (!runs.empty() && runs.back().second == y)
      runs.back().second = y + 1;
    else
      runs.push_back({y, y + 1});
  }
  while (runs.size() > count) {
    std::size_t narrowest = 0;
    for (std::size_t i = 1; i + 1 < runs.size(); ++i) {
      if (runs[i + 1].first - runs[i].second < runs[narrowest + 1].first - runs[narrowest].second)
        narrowest = i;
    }
    runs[narrowest].second = runs[narrowest + 1].second;
    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(narrowest) + 1);
  }
  if (runs.size() != count) return std::nullopt;
  return runs;
}

}  // namespace drawn_detail

// Adds `lines` to `screen` from their drawings at `origin` of the screen's image, each at
// `pixelSize`; false (nothing added) when the drawings do not show one run of rows per line.
inline bool plantDrawnLines(RealApplicationScreen& screen, const std::vector<PlantedLine>& lines,
                            const Drawings& drawings, platform::Point origin, int pixelSize,
                            int& unseen) {
  using namespace drawn_detail;
  if (!drawings.lines || !drawings.blank || !drawings.secretsBlank) return false;
  const auto rows = lineRows(*drawings.lines, *drawings.blank, lines.size());
  if (!rows) return false;
  auto onScreen = [&origin](platform::Rect box) {
    box.origin = {box.origin.x + origin.x, box.origin.y + origin.y};
    return box;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto [top, bottom] = (*rows)[i];
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

// The line with each character replaced by a space: `secretsOnly` blanks only its secret.
inline std::string blanked(const PlantedLine& line, bool secretsOnly) {
  std::string text;
  for (const PlantedPiece& piece : line.pieces)
    text += secretsOnly && !piece.secret ? piece.text : std::string(piece.text.size(), ' ');
  return text;
}

}  // namespace corvane::testing::real_application
