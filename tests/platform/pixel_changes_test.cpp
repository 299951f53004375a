#include "platform/pixel_changes.h"

#include <gtest/gtest.h>

#include <random>

namespace corvane::platform {
namespace {

bool inside(const PixelChanges& changes, int x, int y) {
  for (const auto& a : changes.areas)
    if (x >= a.x && x < a.x + a.width && y >= a.y && y < a.y + a.height) return true;
  return false;
}

TEST(PixelChangesTest, EveryChangedPixelLiesInAnAreaAndEveryChangedTileHasOne) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    const int width = 1 + static_cast<int>(random() % 300);
    const int height = 1 + static_cast<int>(random() % 200);
    const int tile = 1 + static_cast<int>(random() % 40);
    PixelBuffer before(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) before.setPixel(x, y, random());
    PixelBuffer after = before;
    const int count = static_cast<int>(random() % 30);
    for (int i = 0; i < count; ++i) {
      const int x = static_cast<int>(random() % width), y = static_cast<int>(random() % height);
      after.setPixel(x, y, before.pixel(x, y) ^ (1u << (random() % 32)));
    }
    const auto changes = changedTiles(before, after, tile);
    ASSERT_TRUE(changes.has_value());
    EXPECT_EQ(changes->sinceSerial, before.serial());
    EXPECT_NE(after.serial(), before.serial());
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (before.pixel(x, y) != after.pixel(x, y))
          ASSERT_TRUE(inside(*changes, x, y)) << x << "," << y;
    // Tight at the tile's grain: each tile an area covers holds a changed pixel, and areas stay
    // inside the image.
    for (const auto& a : changes->areas) {
      ASSERT_TRUE(a.x >= 0 && a.y >= 0 && a.x + a.width <= width && a.y + a.height <= height);
      for (int ty = a.y; ty < a.y + a.height; ty += tile) {
        for (int tx = a.x; tx < a.x + a.width; tx += tile) {
          bool any = false;
          for (int y = ty; y < std::min(ty + tile, height); ++y)
            for (int x = tx; x < std::min(tx + tile, width); ++x)
              any = any || before.pixel(x, y) != after.pixel(x, y);
          EXPECT_TRUE(any) << "tile at " << tx << "," << ty;
        }
      }
    }
  }
  EXPECT_FALSE(changedTiles(PixelBuffer(4, 4), PixelBuffer(4, 5)).has_value());
}

TEST(PixelChangesTest, AWrittenOrCopiedBufferForgetsWhatChangedAndIsAnotherImage) {
  PixelBuffer frame(8, 8);
  const auto firstSerial = frame.serial();
  frame.setChanges(PixelChanges{42, {{0, 0, 2, 2}}});
  ASSERT_TRUE(frame.changes().has_value());
  const PixelBuffer copy = frame;
  EXPECT_FALSE(copy.changes().has_value());
  EXPECT_NE(copy.serial(), frame.serial());
  (void)frame.mutableData();
  EXPECT_FALSE(frame.changes().has_value());
  EXPECT_NE(frame.serial(), firstSerial);
}

TEST(PixelChangesTest, ABufferOverGivenMemoryKeepsItAndItsCopiesHaveTheirOwn) {
  bool released = false;
  std::vector<std::uint8_t> storage(6 * 5 * 4, 0);
  {
    std::shared_ptr<std::uint8_t> memory(storage.data(), [&](std::uint8_t*) { released = true; });
    PixelBuffer shared(6, 5, std::move(memory));
    shared.setPixel(5, 4, 0xFF102030);
    EXPECT_EQ(shared.data(), storage.data());
    EXPECT_EQ(shared.byteCount(), storage.size());
    PixelBuffer copy = shared;
    PixelBuffer moved = std::move(shared);
    copy.setPixel(0, 0, 0xFFFFFFFF);
    EXPECT_NE(copy.data(), storage.data());
    EXPECT_EQ(copy.pixel(5, 4), 0xFF102030u);
    EXPECT_EQ(moved.pixel(0, 0), 0u);  // the copy's write stayed in the copy
    EXPECT_EQ(moved.data(), storage.data());
    EXPECT_FALSE(released);
    PixelBuffer assigned(1, 1);
    assigned = moved;
    EXPECT_NE(assigned.data(), storage.data());
    EXPECT_EQ(assigned.pixel(5, 4), 0xFF102030u);
  }
  EXPECT_TRUE(released);
}

}  // namespace
}  // namespace corvane::platform
