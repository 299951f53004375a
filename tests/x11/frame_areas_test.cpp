#include "platform/x11/frame_areas.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace corvane::platform::x11 {
namespace {

constexpr int kGrid = 24;

// How many of `areas` hold each pixel of a small grid (the areas may reach past it).
std::vector<int> coverCount(const std::vector<FrameArea>& areas) {
  std::vector<int> counts(kGrid * kGrid, 0);
  for (const FrameArea& area : areas) {
    for (int y = std::max(0, area.y); y < std::min(kGrid, area.y + area.height); ++y) {
      for (int x = std::max(0, area.x); x < std::min(kGrid, area.x + area.width); ++x) {
        ++counts[y * kGrid + x];
      }
    }
  }
  return counts;
}

FrameArea randomArea(std::mt19937& random) {
  std::uniform_int_distribution<int> corner(-4, kGrid), size(0, kGrid / 2);
  return FrameArea{corner(random), corner(random), size(random), size(random)};
}

// Cutting window after window out of changed areas, as the background's areas are found: every
// pixel of the areas outside every cut is kept exactly once, no pixel under a cut is kept, and
// nothing empty is handed back.
TEST(FrameAreasTest, AreasOutsideCutsKeepEveryOtherPixelOnce) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 500; ++trial) {
    std::vector<FrameArea> areas;
    for (int i = 0; i < 3; ++i) {
      const FrameArea area = randomArea(random);
      // Disjoint areas, as changed areas are.
      bool overlaps = false;
      const auto before = coverCount(areas);
      const auto mine = coverCount({area});
      for (int p = 0; p < kGrid * kGrid; ++p) overlaps |= before[p] > 0 && mine[p] > 0;
      if (!overlaps) areas.push_back(area);
    }
    std::vector<FrameArea> cuts{randomArea(random), randomArea(random), randomArea(random)};
    std::vector<FrameArea> left = areas;
    for (const FrameArea& cut : cuts) left = areasOutside(left, cut);

    const auto kept = coverCount(left);
    const auto wanted = coverCount(areas);
    const auto cutAway = coverCount(cuts);
    for (int p = 0; p < kGrid * kGrid; ++p) {
      const int expected = wanted[p] > 0 && cutAway[p] == 0 ? 1 : 0;
      ASSERT_EQ(kept[p], expected)
          << "trial " << trial << " pixel " << p % kGrid << "," << p / kGrid;
    }
    for (const FrameArea& area : left) {
      EXPECT_GT(area.width, 0);
      EXPECT_GT(area.height, 0);
    }
  }
}

}  // namespace
}  // namespace corvane::platform::x11
