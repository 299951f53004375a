#include <gtest/gtest.h>

#include <random>
#include <set>

#include "frame_images.h"
#include "verification/frame_change_detector.h"
#include "verification/protected_tile_geometry.h"

namespace corvane::verification {
namespace {

using testing::copyOf;
using testing::solidFrame;

std::vector<TileKernel> supportedKernels() {
  std::vector<TileKernel> kernels{TileKernel::scalar};
  if (isTileKernelSupported(TileKernel::avx2)) kernels.push_back(TileKernel::avx2);
  return kernels;
}

class TileChangeDetectionTest : public ::testing::TestWithParam<TileKernel> {
 protected:
  std::shared_ptr<runtime::WorkerThreads> workers = std::make_shared<runtime::WorkerThreads>(3);
  std::unique_ptr<FrameChangeDetector> detector =
      FrameChangeDetector::make(64, workers, GetParam());
};

// Moves one channel of a pixel by `delta` (the byte order is B, G, R, A).
void nudge(platform::PixelBuffer& frame, int x, int y, int channel, int delta) {
  auto* byte =
      frame.mutableData() + static_cast<std::size_t>(y) * frame.bytesPerRow() + x * 4 + channel;
  *byte = static_cast<std::uint8_t>(*byte + delta);
}

TEST_P(TileChangeDetectionTest, IdenticalFramesHaveNoChangedTilesAndTheStartingSignature) {
  ASSERT_TRUE(detector);
  auto previous = solidFrame(300, 200);
  const auto summary = detector->detect(*copyOf(*previous), previous.get());
  EXPECT_EQ(summary.guardedTileCount, 0);
  EXPECT_EQ(summary.changedTileCount, 0);
  EXPECT_TRUE(summary.guardedRects.empty());
  EXPECT_TRUE(summary.changedRects.empty());
  EXPECT_EQ(summary.tileCount, 5 * 4);
  EXPECT_EQ(summary.signature, 1469598103934665603ull);
}

TEST_P(TileChangeDetectionTest, MeaningfulMeansMoreThanTwoLevelsOnFourPixelsOfATile) {
  auto previous = solidFrame(256, 128);
  auto current = copyOf(*previous);
  nudge(*current, 70, 10, 2, 1);  // tile (1, 0): one level in red
  auto summary = detector->detect(*current, previous.get());
  EXPECT_EQ(summary.guardedTileCount, 1);
  EXPECT_EQ(summary.changedTileCount, 0);
  ASSERT_EQ(summary.guardedRects.size(), 1u);
  EXPECT_EQ(summary.guardedRects[0], (platform::Rect{{0.25, 0}, {0.25, 0.5}}));

  for (int i = 0; i < 3; ++i) nudge(*current, 130 + i * 20, 70 + i, i, 3);  // tile (2, 1)
  summary = detector->detect(*current, previous.get());
  EXPECT_EQ(summary.changedTileCount, 0) << "three meaningful pixels are not enough";
  EXPECT_EQ(summary.guardedTileCount, 2);
  nudge(*current, 191, 127, 3, -3);  // the fourth, in alpha, in the tile's last pixel
  summary = detector->detect(*current, previous.get());
  EXPECT_EQ(summary.changedTileCount, 1);
  ASSERT_EQ(summary.changedRects.size(), 1u);
  EXPECT_EQ(summary.changedRects[0], (platform::Rect{{0.5, 0.5}, {0.25, 0.5}}));
}

TEST_P(TileChangeDetectionTest, TwoLevelsAreNeverMeaningfulAndThreeAlwaysAre) {
  for (int base = 0; base <= 252; ++base) {
    for (int delta : {2, 3}) {
      auto previous = solidFrame(64, 64, 0xff000000u | static_cast<std::uint32_t>(base) << 8);
      auto current = copyOf(*previous);
      for (int i = 0; i < 4; ++i) nudge(*current, i, i, 1, delta);  // green up by delta
      const auto up = detector->detect(*current, previous.get());
      const auto down = detector->detect(*previous, current.get());
      EXPECT_EQ(up.changedTileCount, delta == 3 ? 1 : 0) << "level " << base << " +" << delta;
      EXPECT_EQ(down.changedTileCount, delta == 3 ? 1 : 0)
          << "level " << base + delta << " -" << delta;
      EXPECT_EQ(up.guardedTileCount, 1);
    }
  }
}

TEST_P(TileChangeDetectionTest, SignatureNamesWhichTilesChangedNotHow) {
  auto previous = solidFrame(640, 384);
  auto paint = [&](std::vector<std::pair<int, int>> tiles, std::uint32_t argb) {
    auto frame = copyOf(*previous);
    for (auto [column, row] : tiles)
      for (int y = 0; y < 8; ++y) frame->setPixel(column * 64 + y, row * 64 + y, argb);
    return detector->detect(*frame, previous.get()).signature;
  };
  EXPECT_EQ(paint({{1, 1}, {4, 2}}, 0xffffffff), paint({{1, 1}, {4, 2}}, 0xff00ff00));
  std::set<std::uint64_t> distinct{paint({{1, 1}}, 0xffffffff), paint({{2, 1}}, 0xffffffff),
                                   paint({{0, 5}}, 0xffffffff),
                                   paint({{1, 1}, {4, 2}}, 0xffffffff)};
  EXPECT_EQ(distinct.size(), 4u) << "tiles at other places give other signatures";
  EXPECT_EQ(distinct.count(FrameChangeDetector::kSignatureStart), 0u);
}

TEST_P(TileChangeDetectionTest, FramesThatCannotBeComparedCountAsWhollyChanged) {
  auto frame = solidFrame(2560, 1440);
  const auto first = detector->detect(*frame, nullptr);
  EXPECT_EQ(first.tileCount, 40 * 23) << "the last tile row is 32 pixels high";
  EXPECT_EQ(first.changedTileCount, 920);
  EXPECT_EQ(first.guardedTileCount, 920);
  EXPECT_EQ(first.changedRects, std::vector<platform::Rect>{kUnitRect});
  EXPECT_EQ(first.signature, FrameChangeDetector::kSignatureStart);

  auto other = solidFrame(2560, 1439);
  EXPECT_EQ(detector->detect(*frame, other.get()), ProtectedFrameChangeSummary::fullFrame());
  EXPECT_EQ(ProtectedFrameChangeSummary::fullFrame().signature, 0u);
}

INSTANTIATE_TEST_SUITE_P(Kernels, TileChangeDetectionTest, ::testing::ValuesIn(supportedKernels()),
                         [](const auto& info) {
                           return std::string(info.param == TileKernel::avx2 ? "AVX2" : "Scalar");
                         });

// Per pixel, the plain definition: the oracle both kernels must match.
ProtectedFrameChangeSummary referenceSummary(const platform::PixelBuffer& current,
                                             const platform::PixelBuffer& previous) {
  const int columns = (current.width() + 63) / 64;
  const int rows = (current.height() + 63) / 64;
  std::vector<bool> guarded(columns * rows), analysis(columns * rows);
  std::vector<int> counts(columns * rows);
  for (int y = 0; y < current.height(); ++y) {
    for (int x = 0; x < current.width(); ++x) {
      int delta = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>(current.pixel(x, y) >> shift & 0xff);
        const int b = static_cast<int>(previous.pixel(x, y) >> shift & 0xff);
        delta = std::max(delta, std::abs(a - b));
      }
      const int tile = (y / 64) * columns + x / 64;
      if (delta > 0) guarded[tile] = true;
      if (delta > 2 && ++counts[tile] >= 4) analysis[tile] = guarded[tile] = true;
    }
  }
  ProtectedFrameChangeSummary summary;
  summary.tileCount = columns * rows;
  summary.guardedTileCount = static_cast<int>(std::count(guarded.begin(), guarded.end(), true));
  summary.changedTileCount = static_cast<int>(std::count(analysis.begin(), analysis.end(), true));
  const TileGrid grid{current.width(), current.height(), 64};
  summary.guardedRects = ProtectedTileGeometry::normalizedRects(guarded, grid);
  summary.changedRects = ProtectedTileGeometry::normalizedRects(analysis, grid);
  std::uint64_t hash = FrameChangeDetector::kSignatureStart;
  for (std::size_t i = 0; i < analysis.size(); ++i)
    if (analysis[i]) hash = (hash ^ (i + 1)) * FrameChangeDetector::kSignaturePrime;
  summary.signature = hash <= 1 ? 1 : hash;
  return summary;
}

TEST(TileKernelPropertyTest, EveryKernelAndThreadCountAgreesWithThePlainDefinitionOnRandomFrames) {
  std::mt19937 random(20261207);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  std::vector<std::unique_ptr<FrameChangeDetector>> detectors;
  for (auto kernel : supportedKernels())
    for (int threads : {1, 4})
      detectors.push_back(
          FrameChangeDetector::make(64, std::make_shared<runtime::WorkerThreads>(threads), kernel));
  for (int round = 0; round < 60; ++round) {
    const int width = pick(1, 700);
    const int height = pick(1, 400);
    auto previous = std::make_shared<platform::PixelBuffer>(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        previous->setPixel(x, y, static_cast<std::uint32_t>(random()));
    auto current = copyOf(*previous);
    const int changes = pick(0, width * height / 50 + 1);
    for (int i = 0; i < changes; ++i) {
      const int x = pick(0, width - 1), y = pick(0, height - 1);
      nudge(*current, x, y, pick(0, 3), pick(-5, 5));
    }
    const auto expected = referenceSummary(*current, *previous);
    for (const auto& detector : detectors)
      ASSERT_EQ(detector->detect(*current, previous.get()), expected)
          << width << "x" << height << " round " << round;
  }
}

TEST(ProtectedTileGeometryTest, RunsMergeDownOnlyOverExactlyTheSameColumns) {
  // 4 × 3 grid:  .XX.
  //              .XX.
  //              .XXX
  const std::vector<bool> flags{false, true,  true,  false, false, true,
                                true,  false, false, true,  true,  true};
  const auto rects = ProtectedTileGeometry::normalizedRects(flags, TileGrid{256, 192, 64});
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_NE(std::find(rects.begin(), rects.end(), platform::Rect{{0.25, 0}, {0.5, 2.0 / 3}}),
            rects.end());
  EXPECT_NE(std::find(rects.begin(), rects.end(), platform::Rect{{0.25, 2.0 / 3}, {0.75, 1.0 / 3}}),
            rects.end());
  EXPECT_TRUE(
      ProtectedTileGeometry::normalizedRects(std::vector<bool>(12, false), TileGrid{256, 192, 64})
          .empty());
  EXPECT_EQ(ProtectedTileGeometry::normalizedRects(flags, TileGrid{256, 128, 64}),
            std::vector<platform::Rect>{kUnitRect});
  EXPECT_EQ(ProtectedTileGeometry::normalizedRects(flags, TileGrid{256, 192, 0}),
            std::vector<platform::Rect>{kUnitRect});
}

// A pixel lies in some rect exactly when its tile is set, whatever the frame's size: the last
// column and row of tiles are cut short by the frame, and no rect drifts from its tiles.
TEST(ProtectedTileGeometryTest, RectsCoverExactlyThePixelsOfTheSetTilesAtAnyFrameSize) {
  std::mt19937 random(31);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 200; ++round) {
    const TileGrid grid{pick(1, 2000), pick(1, 1200), round % 3 == 0 ? 64 : pick(8, 128)};
    std::vector<bool> flags(static_cast<std::size_t>(grid.columns() * grid.rows()));
    const int density = pick(1, 9);
    for (std::size_t i = 0; i < flags.size(); ++i) flags[i] = pick(0, 9) < density;
    const auto rects = ProtectedTileGeometry::normalizedRects(flags, grid);
    for (int sample = 0; sample < 400; ++sample) {
      // The frame's last row and column are sampled as often as any other.
      const int x = sample % 4 == 0 ? grid.width - 1 : pick(0, grid.width - 1);
      const int y = sample % 4 == 1 ? grid.height - 1 : pick(0, grid.height - 1);
      const platform::Point centre{(x + 0.5) / grid.width, (y + 0.5) / grid.height};
      const bool covered = std::any_of(rects.begin(), rects.end(), [&](const platform::Rect& r) {
        return centre.x >= r.minX() && centre.x < r.maxX() && centre.y >= r.minY() &&
               centre.y < r.maxY();
      });
      const bool set = flags[(y / grid.tileSize) * grid.columns() + x / grid.tileSize];
      ASSERT_EQ(covered, set) << grid.width << "x" << grid.height << " tile " << grid.tileSize
                              << " pixel " << x << "," << y;
    }
    for (const auto& rect : rects)
      ASSERT_TRUE(rect.minX() >= 0 && rect.minY() >= 0 && rect.maxX() <= 1 + 1e-12 &&
                  rect.maxY() <= 1 + 1e-12);
  }
}

TEST(FrameChangeDetectorTest, RefusesWhatItCannotRun) {
  auto workers = std::make_shared<runtime::WorkerThreads>(1);
  EXPECT_FALSE(FrameChangeDetector::make(0, workers));
  EXPECT_FALSE(FrameChangeDetector::make(64, nullptr));
  EXPECT_EQ(static_cast<bool>(FrameChangeDetector::make(64, workers, TileKernel::avx2)),
            isTileKernelSupported(TileKernel::avx2));
}

}  // namespace
}  // namespace corvane::verification
