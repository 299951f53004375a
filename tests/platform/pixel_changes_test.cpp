#include "platform/pixel_buffer.h"

#include <gtest/gtest.h>

namespace corvane::platform {
namespace {

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
