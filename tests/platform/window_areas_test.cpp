#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/window_areas.h"

namespace corvane::platform {
namespace {

bool inside(const PixelChanges::Area& area, int x, int y) {
  return x >= area.x && x < area.x + area.width && y >= area.y && y < area.y + area.height;
}

// Random stackings of opaque and translucent windows, some reaching past the area: at the
// area's own scale each window's rectangles hold exactly the pixels where it shows (inside it,
// under no opaque window above it), once each; scaled, they hold every output pixel whose centre
// falls on such a pixel.
TEST(WindowAreasTest, EachWindowHoldsWhatShowsOfIt) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto between = [&](int low, int high) {
      return std::uniform_int_distribution<int>(low, high)(random);
    };
    const int areaWidth = between(8, 90), areaHeight = between(8, 70);
    std::vector<WindowPlacement> windows(static_cast<std::size_t>(between(1, 9)));
    for (auto& window : windows) {
      const int x = between(-10, areaWidth), y = between(-10, areaHeight);
      window.bounds = Rect{{double(x), double(y)},
                           {double(between(1, areaWidth)), double(between(1, areaHeight))}};
      window.opaque = between(0, 4) != 0;
    }
    auto shows = [&](std::size_t i, int x, int y) {
      if (!windows[i].bounds.contains({x + 0.5, y + 0.5})) return false;
      for (std::size_t above = i + 1; above < windows.size(); ++above) {
        if (windows[above].opaque && windows[above].bounds.contains({x + 0.5, y + 0.5}))
          return false;
      }
      return true;
    };
    // The areas leave out windows of which nothing shows: match them to the windows in order.
    auto matched = [&](const WindowAreas& areas) {
      std::vector<const std::vector<PixelChanges::Area>*> byWindow(windows.size(), nullptr);
      std::size_t next = 0;
      for (std::size_t i = 0; i < windows.size(); ++i) {
        bool any = false;
        for (int y = 0; y < areaHeight && !any; ++y) {
          for (int x = 0; x < areaWidth && !any; ++x) any = shows(i, x, y);
        }
        if (any && next < areas.size()) byWindow[i] = &areas[next++];
      }
      EXPECT_EQ(next, areas.size());
      return byWindow;
    };

    const WindowAreas atAreaScale =
        visibleWindowAreas(windows, areaWidth, areaHeight, areaWidth, areaHeight);
    const auto exact = matched(atAreaScale);
    for (std::size_t i = 0; i < windows.size(); ++i) {
      for (int y = 0; y < areaHeight; ++y) {
        for (int x = 0; x < areaWidth; ++x) {
          int holders = 0;
          if (exact[i]) {
            for (const auto& piece : *exact[i]) holders += inside(piece, x, y);
          }
          ASSERT_EQ(holders, shows(i, x, y) ? 1 : 0) << "window " << i << " at " << x << "," << y;
        }
      }
    }

    const int outputWidth = between(4, 120), outputHeight = between(4, 120);
    const WindowAreas atOutputScale =
        visibleWindowAreas(windows, areaWidth, areaHeight, outputWidth, outputHeight);
    const auto scaled = matched(atOutputScale);
    for (std::size_t i = 0; i < windows.size(); ++i) {
      for (int y = 0; y < outputHeight; ++y) {
        for (int x = 0; x < outputWidth; ++x) {
          const int sourceX = static_cast<int>((x + 0.5) * areaWidth / outputWidth);
          const int sourceY = static_cast<int>((y + 0.5) * areaHeight / outputHeight);
          if (!shows(i, sourceX, sourceY)) continue;
          ASSERT_TRUE(scaled[i] != nullptr);
          bool held = false;
          for (const auto& piece : *scaled[i]) held = held || inside(piece, x, y);
          ASSERT_TRUE(held) << "window " << i << " at output " << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace corvane::platform
