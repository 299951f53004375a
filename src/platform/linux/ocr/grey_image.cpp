#include "platform/linux/ocr/grey_image.h"

#include <algorithm>

namespace corvane::platform::ocr {

GreyImage greyDarkOnLight(const PixelBuffer& image, PixelArea area) {
  GreyImage grey{area.width, area.height, {}};
  grey.pixels.resize(static_cast<std::size_t>(area.width) * area.height);
  std::uint64_t sum = 0;
  for (int y = 0; y < area.height; ++y) {
    const std::uint8_t* row = image.data() +
                              static_cast<std::size_t>(area.y + y) * image.bytesPerRow() +
                              static_cast<std::size_t>(area.x) * 4;
    std::uint8_t* out = grey.pixels.data() + static_cast<std::size_t>(y) * area.width;
    for (int x = 0; x < area.width; ++x) {
      const std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;  // B, G, R, A
      const std::uint8_t value =
          static_cast<std::uint8_t>((p[2] * 77 + p[1] * 150 + p[0] * 29) >> 8);
      out[x] = value;
      sum += value;
    }
  }
  // The median would be steadier, but text covers little of a line: the mean is on the
  // background's side of the middle.
  if (!grey.pixels.empty() && sum / grey.pixels.size() < 128) {
    for (std::uint8_t& value : grey.pixels) value = static_cast<std::uint8_t>(255 - value);
  }
  return grey;
}

std::uint8_t backgroundLevel(const GreyImage& image) {
  std::vector<int> histogram(256, 0);
  for (std::uint8_t value : image.pixels) ++histogram[value];
  return static_cast<std::uint8_t>(std::max_element(histogram.begin(), histogram.end()) -
                                   histogram.begin());
}

namespace {

// The level below which a pixel is ink: clearly darker than the background.
int inkThreshold(const GreyImage& image) {
  return backgroundLevel(image) - 60;
}

// Bands of at most `thickest` consecutive set flags, as [first, last] pairs.
std::vector<std::pair<int, int>> thinBands(const std::vector<bool>& flags, int thickest) {
  std::vector<std::pair<int, int>> bands;
  for (int i = 0; i < static_cast<int>(flags.size());) {
    if (!flags[static_cast<std::size_t>(i)]) {
      ++i;
      continue;
    }
    int end = i;
    while (end < static_cast<int>(flags.size()) && flags[static_cast<std::size_t>(end)]) ++end;
    if (end - i <= thickest) bands.emplace_back(i, end - 1);
    i = end;
  }
  return bands;
}

}  // namespace

void eraseRules(GreyImage& image) {
  if (image.width < 8 || image.height < 8) return;
  const int inkBelow = inkThreshold(image);
  const std::uint8_t background = backgroundLevel(image);
  auto isInk = [&](int x, int y) { return image.at(x, y) < inkBelow; };
  constexpr int kThickestRule = 3;
  // Horizontal lines first, so that the grid's crossings do not cut them short: rows inked in one
  // stretch longer than any stroke of text, a few rows thick.
  const int longestTextStroke = std::max(40, image.width / 3);
  std::vector<bool> ruled(static_cast<std::size_t>(image.height), false);
  for (int y = 0; y < image.height; ++y) {
    int stroke = 0;
    for (int x = 0; x < image.width && !ruled[static_cast<std::size_t>(y)]; ++x) {
      stroke = isInk(x, y) ? stroke + 1 : 0;
      ruled[static_cast<std::size_t>(y)] = stroke > longestTextStroke;
    }
  }
  for (const auto& [first, last] : thinBands(ruled, kThickestRule)) {
    for (int y = first; y <= last; ++y) {
      // Only the long stretches: text on the same row keeps its ink.
      int start = 0;
      for (int x = 0; x <= image.width; ++x) {
        if (x < image.width && isInk(x, y)) continue;
        if (x - start > longestTextStroke)
          std::fill_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width + start,
                      x - start, background);
        start = x + 1;
      }
    }
  }
  // Vertical lines: columns inked over nearly the whole height, a few pixels wide at most.
  std::vector<bool> solid(static_cast<std::size_t>(image.width), false);
  for (int x = 0; x < image.width; ++x) {
    int ink = 0;
    for (int y = 0; y < image.height; ++y) ink += isInk(x, y);
    solid[static_cast<std::size_t>(x)] = inkedNearlyThroughout(ink, image.height);
  }
  for (const auto& [first, last] : thinBands(solid, kThickestRule))
    for (int x = first; x <= last; ++x)
      for (int y = 0; y < image.height; ++y)
        image.pixels[static_cast<std::size_t>(y) * image.width + x] = background;
}

int typicalLineHeight(const GreyImage& image) {
  if (image.width == 0 || image.height == 0) return 0;
  // Background: the commonest level; ink: clearly darker than it.
  const int inkBelow = inkThreshold(image);
  auto isInk = [&](int x, int y) { return image.at(x, y) < inkBelow; };

  // Columns inked over nearly the whole height are bars, borders or blocks (a dark sidebar, a
  // gutter), not letters: they say nothing about the height of the text beside them.
  std::vector<int> columnInk(static_cast<std::size_t>(image.width), 0);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) columnInk[static_cast<std::size_t>(x)] += isInk(x, y);
  std::vector<bool> solidColumn(static_cast<std::size_t>(image.width), false);
  if (image.height >= 8) {
    for (int x = 0; x < image.width; ++x)
      solidColumn[static_cast<std::size_t>(x)] =
          inkedNearlyThroughout(columnInk[static_cast<std::size_t>(x)], image.height);
  }
  // A row whose ink is one long stretch is a rule or the inside of a block; a row of text is
  // many short strokes.
  const int longestTextStroke = std::max(40, image.width / 3);
  std::vector<int> runs;
  int run = 0;
  for (int y = 0; y <= image.height; ++y) {
    bool ink = false;
    if (y < image.height) {
      int stroke = 0;
      bool rule = false;
      for (int x = 0; x < image.width && !rule; ++x) {
        if (!solidColumn[static_cast<std::size_t>(x)] && isInk(x, y)) {
          ink = true;
          rule = ++stroke > longestTextStroke;
        } else {
          stroke = 0;
        }
      }
      ink = ink && !rule;
    }
    if (ink) {
      ++run;
    } else if (run > 0) {
      runs.push_back(run);
      run = 0;
    }
  }
  if (runs.empty()) return 0;
  std::nth_element(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(runs.size() / 2),
                   runs.end());
  return runs[runs.size() / 2];
}

double stackedStrokeShare(const GreyImage& image) {
  if (image.width == 0 || image.height == 0) return 0;
  constexpr int kStacked = 4;
  const int inkBelow = inkThreshold(image);
  int inked = 0, stacked = 0;
  for (int x = 0; x < image.width; ++x) {
    int strokes = 0;
    bool inStroke = false;
    for (int y = 0; y < image.height; ++y) {
      const bool ink = image.at(x, y) < inkBelow;
      strokes += ink && !inStroke;
      inStroke = ink;
    }
    inked += strokes > 0;
    stacked += strokes >= kStacked;
  }
  return inked == 0 ? 0 : static_cast<double>(stacked) / inked;
}

GreyImage cropped(const GreyImage& image, PixelArea area) {
  const int x0 = std::clamp(area.x, 0, image.width);
  const int y0 = std::clamp(area.y, 0, image.height);
  const int x1 = std::clamp(area.x + area.width, x0, image.width);
  const int y1 = std::clamp(area.y + area.height, y0, image.height);
  GreyImage out{x1 - x0, y1 - y0, {}};
  out.pixels.reserve(static_cast<std::size_t>(out.width) * out.height);
  for (int y = y0; y < y1; ++y) {
    const auto row = image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width;
    out.pixels.insert(out.pixels.end(), row + x0, row + x1);
  }
  return out;
}

GreyImage scaled(const GreyImage& image, double factor) {
  GreyImage out{std::max(1, static_cast<int>(image.width * factor)),
                std::max(1, static_cast<int>(image.height * factor)),
                {}};
  out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y) {
    // Sample at the centre of each destination pixel.
    const double sy = std::clamp((y + 0.5) / factor - 0.5, 0.0, image.height - 1.0);
    const int y0 = static_cast<int>(sy);
    const int y1 = std::min(y0 + 1, image.height - 1);
    const int fy = static_cast<int>((sy - y0) * 256);
    for (int x = 0; x < out.width; ++x) {
      const double sx = std::clamp((x + 0.5) / factor - 0.5, 0.0, image.width - 1.0);
      const int x0 = static_cast<int>(sx);
      const int x1 = std::min(x0 + 1, image.width - 1);
      const int fx = static_cast<int>((sx - x0) * 256);
      const int top = image.at(x0, y0) * (256 - fx) + image.at(x1, y0) * fx;
      const int bottom = image.at(x0, y1) * (256 - fx) + image.at(x1, y1) * fx;
      out.pixels[static_cast<std::size_t>(y) * out.width + x] =
          static_cast<std::uint8_t>((top * (256 - fy) + bottom * fy) >> 16);
    }
  }
  return out;
}

}  // namespace corvane::platform::ocr
