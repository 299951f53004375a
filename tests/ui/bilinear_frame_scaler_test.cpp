#include "ui/bilinear_frame_scaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

namespace corvane::ui {
namespace {

struct Image {
  int width;
  int height;
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);

  std::uint8_t* at(int x, int y) {
    return bytes.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
  const std::uint8_t* at(int x, int y) const {
    return bytes.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
  SourcePixels source() const { return {bytes.data(), width, height, width * 4}; }
};

// Noise catches a wrong source pixel; the alpha byte is 0 as in some captures.
Image noise(int width, int height) {
  Image image{width, height};
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < image.bytes.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    image.bytes[i] = i % 4 == 3 ? 0 : static_cast<std::uint8_t>(state >> 24);
  }
  return image;
}

// Bilinear filtering with pixel centres aligned and edges clamped, in exact arithmetic.
double expectedChannel(const Image& source, int scaledWidth, int scaledHeight, int x, int y,
                       int channel) {
  const auto position = [](int i, int from, int to) {
    return std::clamp((i + 0.5) * from / to - 0.5, 0.0, static_cast<double>(from - 1));
  };
  const double sx = position(x, source.width, scaledWidth);
  const double sy = position(y, source.height, scaledHeight);
  const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
  const int x1 = std::min(x0 + 1, source.width - 1), y1 = std::min(y0 + 1, source.height - 1);
  const double fx = sx - x0, fy = sy - y0;
  const auto value = [&](int px, int py) { return source.at(px, py)[channel]; };
  return (value(x0, y0) * (1 - fx) + value(x1, y0) * fx) * (1 - fy) +
         (value(x0, y1) * (1 - fx) + value(x1, y1) * fx) * fy;
}

Image scaled(const Image& source, int width, int height) {
  Image out{width, height};
  BilinearFrameScaler().scale(source.source(), width, height, {0, 0, width, height},
                              {out.bytes.data(), width * 4});
  return out;
}

// The largest difference from exact filtering over every channel; alpha must be 255 everywhere.
double largestError(const Image& source, const Image& out) {
  double worst = 0;
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      EXPECT_EQ(out.at(x, y)[3], 255) << x << "," << y;
      for (int channel = 0; channel < 3; ++channel) {
        worst = std::max(worst,
                         std::fabs(out.at(x, y)[channel] -
                                   expectedChannel(source, out.width, out.height, x, y, channel)));
      }
    }
  }
  return worst;
}

TEST(BilinearFrameScalerTest, MatchesExactFilteringDownUpAndAtOddSizes) {
  // Weights are 1/64 steps in each direction: a few levels off on pure noise at most, far less
  // than picking a wrong neighbour would cost. Sizes cover the vector bodies and their tails.
  const Image frame = noise(193, 109);
  EXPECT_LE(largestError(frame, scaled(frame, 129, 73)), 6.0);   // fitted: two thirds
  EXPECT_LE(largestError(frame, scaled(frame, 61, 35)), 6.0);    // below one half
  EXPECT_LE(largestError(frame, scaled(frame, 301, 170)), 6.0);  // enlarged
  const Image thin = noise(1, 9);
  EXPECT_LE(largestError(thin, scaled(thin, 5, 4)), 6.0);
  const Image flat = noise(37, 1);
  EXPECT_LE(largestError(flat, scaled(flat, 21, 3)), 6.0);
}

// The vector path, the portable one, and rows spread over workers (large areas only) agree; the
// spread rows are told to the caller top first, each already as it ends up, the last time all.
TEST(BilinearFrameScalerTest, VectorPortableAndSharedPathsGiveTheSameBytes) {
  const Image frame = noise(211, 97);
  BilinearFrameScaler shared(BilinearFrameScaler::Instructions::best,
                             std::make_shared<runtime::WorkerThreads>(3));
  for (const auto& [width, height] :
       {std::pair{211, 97}, {141, 65}, {70, 33}, {47, 200}, {400, 190}, {700, 401}}) {
    Image vector{width, height}, portable{width, height}, spread{width, height};
    BilinearFrameScaler().scale(frame.source(), width, height, {0, 0, width, height},
                                {vector.bytes.data(), width * 4});
    BilinearFrameScaler(BilinearFrameScaler::Instructions::portable)
        .scale(frame.source(), width, height, {0, 0, width, height},
               {portable.bytes.data(), width * 4});
    std::vector<int> told;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    const auto caller = std::this_thread::get_id();
    shared.scale(
        frame.source(), width, height, {0, 0, width, height}, {spread.bytes.data(), width * 4},
        [&](int rows) {
          EXPECT_EQ(std::this_thread::get_id(), caller);
          EXPECT_GT(rows, told.empty() ? 0 : told.back());
          EXPECT_TRUE(std::equal(spread.bytes.begin(), spread.bytes.begin() + rows * rowBytes,
                                 vector.bytes.begin()))
              << rows << " rows told";
          told.push_back(rows);
        });
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back(), height);
    EXPECT_EQ(vector.bytes, portable.bytes) << width << "×" << height;
    EXPECT_EQ(vector.bytes, spread.bytes) << width << "×" << height;
  }
}

TEST(BilinearFrameScalerTest, SameSizeCopiesEveryPixelExactly) {
  const Image frame = noise(67, 11);
  const Image out = scaled(frame, 67, 11);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 67; ++x)
      for (int channel = 0; channel < 3; ++channel)
        ASSERT_EQ(out.at(x, y)[channel], frame.at(x, y)[channel]) << x << "," << y;
}

TEST(BilinearFrameScalerTest, AnAreaIsThatPartOfTheWholeAndNothingAroundIt) {
  const Image frame = noise(160, 90);
  const Image whole = scaled(frame, 107, 61);
  // One scaler for areas one after the other (the same size elsewhere, then another size): each
  // is written into a larger target at an offset, and the bytes around it stay untouched.
  BilinearFrameScaler scaler;
  for (const ScaledArea area : {ScaledArea{50, 20, 33, 17}, ScaledArea{12, 40, 33, 17},
                                ScaledArea{12, 40, 20, 9}, ScaledArea{50, 20, 33, 17}}) {
    Image target{40, 30};
    std::fill(target.bytes.begin(), target.bytes.end(), 0xAB);
    scaler.scale(frame.source(), 107, 61, area, {target.at(3, 5), target.width * 4});
    for (int y = 0; y < target.height; ++y) {
      for (int x = 0; x < target.width; ++x) {
        const bool inside = x >= 3 && x < 3 + area.width && y >= 5 && y < 5 + area.height;
        for (int channel = 0; channel < 4; ++channel) {
          const std::uint8_t expected =
              inside ? whole.at(area.x + x - 3, area.y + y - 5)[channel] : 0xAB;
          ASSERT_EQ(target.at(x, y)[channel], expected)
              << "area at " << area.x << "," << area.y << ": " << x << "," << y << " channel "
              << channel;
        }
      }
    }
  }
}

}  // namespace
}  // namespace corvane::ui
