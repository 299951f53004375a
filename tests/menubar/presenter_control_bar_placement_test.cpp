// The bar's placement on a top-left desktop: corners, anchoring on a size change, clamping, the
// corner walk and the least obstructive corner.
#include <gtest/gtest.h>

#include "presenter_control_bar_test_support.h"

namespace corvane::menubar {
namespace {

using platform::Point;
using platform::Rect;
using platform::Size;
using Manager = PresenterControlBarManager;
using testing::BarFixture;
using testing::secondScreen;

constexpr Size kExpanded = Manager::expandedSize;
constexpr Size kCollapsed = Manager::collapsedSize;

// The second display's work area is x 1920…3200, y 200…880.
const Rect kTopRight{{2608, 212}, kExpanded};
const Rect kBottomRight{{2608, 806}, kExpanded};
const Rect kBottomLeft{{1932, 806}, kExpanded};
const Rect kTopLeft{{1932, 212}, kExpanded};

TEST(PresenterControlBarPlacementTest, CornersAreInsetTwelvePointsFromTheWorkAreaTopRightFirst) {
  const auto corners = Manager::cornerFrames(secondScreen(), kExpanded);
  EXPECT_EQ(corners[0], kTopRight);
  EXPECT_EQ(corners[1], kBottomRight);
  EXPECT_EQ(corners[2], kBottomLeft);
  EXPECT_EQ(corners[3], kTopLeft);
}

TEST(PresenterControlBarPlacementTest, SizeChangesKeepTheEdgesNearestTheWorkArea) {
  const Rect work = secondScreen().visibleFrame;  // centre (2560, 540)
  struct Row {
    const char* name;
    Rect current;
    Size size;
    Rect expected;
  } rows[] = {
      {"centred exactly: right and top stay",
       {{2270, 509}, kExpanded},
       kCollapsed,
       {{2640, 509}, kCollapsed}},
      {"bottom left: left and bottom stay", kBottomLeft, kCollapsed, {{1932, 828}, kCollapsed}},
      {"top right: right and top stay", kTopRight, kCollapsed, {{2978, 212}, kCollapsed}},
      {"top left: left and top stay", kTopLeft, kCollapsed, {{1932, 212}, kCollapsed}},
      {"expanding at the bottom right", {{2978, 828}, kCollapsed}, kExpanded, kBottomRight},
      {"one point below the centre: the bottom stays",
       {{2270, 510}, kExpanded},
       kCollapsed,
       {{2640, 532}, kCollapsed}},
      {"one point left of the centre: the left stays",
       {{2269, 509}, kExpanded},
       kCollapsed,
       {{2269, 509}, kCollapsed}},
      {"expanding against the right edge is clamped",
       {{3000, 300}, kCollapsed},
       kExpanded,
       {{2620, 300}, kExpanded}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Manager::anchoredFrame(row.current, row.size, work), row.expected);
  }
}

TEST(PresenterControlBarPlacementTest, ClampKeepsTheFrameInsideTheBounds) {
  const Rect bounds{{100, 50}, {800, 600}};
  struct Row {
    const char* name;
    Rect rect;
    Rect expected;
  } rows[] = {
      {"inside", {{200, 100}, {300, 40}}, {{200, 100}, {300, 40}}},
      {"past the right and bottom", {{700, 630}, {300, 40}}, {{600, 610}, {300, 40}}},
      {"past the left and top", {{-50, -20}, {300, 40}}, {{100, 50}, {300, 40}}},
      {"larger than the bounds: pinned and shrunk",
       {{300, 300}, {1000, 900}},
       {{100, 50}, {800, 600}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Manager::clamped(row.rect, bounds), row.expected);
  }
}

TEST(PresenterControlBarPlacementTest, LeastObstructiveCornerPrefersTheEarlierCornerOnTies) {
  const auto corners = Manager::cornerFrames(secondScreen(), kExpanded);
  const Rect coversTopRight{{2400, 200}, {800, 300}};
  const Rect coversRightSide{{2400, 200}, {800, 680}};
  // The left half covered, a sliver of the top right, and two small windows over the bottom
  // right that together cover more than the sliver.
  const Rect coversTheLeft{{1920, 200}, {600, 680}};
  const Rect sliverTopRight{{3000, 220}, {100, 10}};
  const Rect smallA{{2700, 820}, {30, 30}};
  const Rect smallB{{2800, 820}, {30, 30}};
  struct Row {
    const char* name;
    std::vector<Rect> windows;
    Rect expected;
  } rows[] = {
      {"no windows: top right", {}, kTopRight},
      {"top right covered: bottom right", {coversTopRight}, kBottomRight},
      {"the right side covered: bottom left, the earlier of two equal corners",
       {coversRightSide},
       kBottomLeft},
      {"overlaps add up over windows", {coversTheLeft, sliverTopRight, smallA, smallB}, kTopRight},
      {"the same windows without the sliver", {coversTheLeft, smallA, smallB}, kTopRight},
      {"a sliver of the top right only", {coversTheLeft, sliverTopRight}, kBottomRight},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Manager::leastObstructiveCorner(corners, row.windows), row.expected);
  }
}

class PresenterControlBarCornerWalkTest : public ::testing::Test, public BarFixture {};

TEST_F(PresenterControlBarCornerWalkTest, WalksClockwiseAndLeavesATieAfterTheEarlierCorner) {
  auto manager = makeManager();
  manager->show(2u, PresenterControlBarMode::preparing(), {});
  auto& bar = panel(*manager);
  ASSERT_EQ(bar.frame(), kTopRight);
  for (const Rect& next : {kBottomRight, kBottomLeft, kTopLeft, kTopRight}) {
    manager->moveToNextCorner();
    EXPECT_EQ(bar.frame(), next);
  }
  // Midway between top right and bottom right: after the earlier (top right) comes bottom right.
  bar.setFrame(Rect{{2608, 509}, kExpanded});
  manager->moveToNextCorner();
  EXPECT_EQ(bar.frame(), kBottomRight);
  // Nearer the bottom left than the top left: top left comes next.
  bar.setFrame(Rect{{1940, 700}, kExpanded});
  manager->moveToNextCorner();
  EXPECT_EQ(bar.frame(), kTopLeft);
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.2"), "{12, 12}");
}

TEST_F(PresenterControlBarCornerWalkTest, FirstShownInTheCornerLeastCoveringTheFrontmostApp) {
  // Another application's window over the bottom right does not count: only the frontmost's.
  const auto other = desktop->launchApplication({"org.example.Other", "Other"}).value();
  ASSERT_TRUE(desktop->addWindow(other, {Rect{{2400, 600}, {800, 280}}}).ok());
  frontmostWindows({Rect{{2400, 200}, {800, 300}}});
  auto manager = makeManager();
  manager->show(2u, PresenterControlBarMode::preparing(), {});
  EXPECT_EQ(panel(*manager).frame(), kBottomRight);
}

}  // namespace
}  // namespace corvane::menubar
