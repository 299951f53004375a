#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "platform/pixel_buffer.h"

namespace corvane::verification::testing {

inline std::shared_ptr<platform::PixelBuffer> solidFrame(int width, int height,
                                                         std::uint32_t argb = 0xff203040) {
  auto frame = std::make_shared<platform::PixelBuffer>(width, height);
  frame->fill(argb);
  return frame;
}

// Content that changes smoothly down the frame (a random walk between knots every 16 rows) and
// across it: a shifted copy matches only at its own shift, and matches nearly as well a few rows
// off, as real text and pictures do.
inline std::shared_ptr<platform::PixelBuffer> texturedFrame(int width, int height,
                                                            unsigned seed = 7) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> knot(0, 255);
  std::vector<int> knots(static_cast<std::size_t>(height / 16 + 2));
  for (auto& value : knots) value = knot(random);
  auto frame = std::make_shared<platform::PixelBuffer>(width, height);
  for (int y = 0; y < height; ++y) {
    const int k = y / 16;
    const double t = (y % 16) / 16.0;
    const int row = static_cast<int>(knots[k] * (1 - t) + knots[k + 1] * t);
    for (int x = 0; x < width; ++x) {
      const auto value = static_cast<std::uint32_t>(std::clamp(row + (x * 7 % 40) - 20, 0, 255));
      frame->setPixel(x, y, 0xff000000u | value << 16 | value << 8 | (value * 3 / 4));
    }
  }
  return frame;
}

// `previous` with its content moved down by `shift` rows (up for a negative shift); the rows
// uncovered are filled with a flat colour.
inline std::shared_ptr<platform::PixelBuffer> scrolled(const platform::PixelBuffer& previous,
                                                       int shift) {
  auto frame = std::make_shared<platform::PixelBuffer>(previous.width(), previous.height());
  for (int y = 0; y < previous.height(); ++y) {
    const int from = y - shift;
    for (int x = 0; x < previous.width(); ++x)
      frame->setPixel(x, y,
                      from >= 0 && from < previous.height() ? previous.pixel(x, from) : 0xff808080);
  }
  return frame;
}

inline std::shared_ptr<platform::PixelBuffer> copyOf(const platform::PixelBuffer& frame) {
  return std::make_shared<platform::PixelBuffer>(frame);
}

}  // namespace corvane::verification::testing
