#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "platform/sim/sim_colors.h"
#include "platform/sim/sim_composer.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::platform::sim {
namespace {

class SimCompositionTest : public ::testing::Test {
 protected:
  SimCompositionTest() {
    EXPECT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{0, 0}, {320, 180}}, 1, true)));
    editor = desktop->launchApplication({"org.example.Editor", "Editor"}).value();
    vault = desktop->launchApplication({"org.example.Vault", "Vault"}).value();
    files = desktop->launchApplication({"org.example.Files", "Files"}).value();
  }

  std::uint32_t open(std::int32_t pid, Rect frame, SimWindowKind kind = SimWindowKind::normal,
                     int onDesktop = 0) {
    SimWindowSpec spec;
    spec.frame = frame;
    spec.kind = kind;
    spec.desktop = onDesktop;
    return desktop->addWindow(pid, spec).value();
  }

  std::shared_ptr<PixelBuffer> compose(const ContentFilter& filter, int width = 0, int height = 0) {
    return desktop->composeNow(filter, width, height).value();
  }

  ContentFilter excludingVault() const {
    ContentFilter filter;
    filter.displayID = 1;
    filter.excludedApplications.push_back({"org.example.Vault", "Vault", 0});
    return filter;
  }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<SimDesktop> desktop = SimDesktop::make();
  std::int32_t editor = 0;
  std::int32_t vault = 0;
  std::int32_t files = 0;
};

TEST(SimColorsTest, EveryWindowColourDecodesToItsWindowAndNothingElseDoes) {
  for (std::uint32_t id : {1u, 2u, 0x101u, 0x102u, 12345u, kMaxSimWindowId}) {
    EXPECT_EQ(windowIdForColor(windowPrimaryColor(id)), id);
    EXPECT_EQ(windowIdForColor(windowSecondaryColor(id)), id);
    EXPECT_NE(windowPrimaryColor(id), windowSecondaryColor(id));
  }
  EXPECT_NE(windowPrimaryColor(0x101), windowPrimaryColor(0x102));
  EXPECT_FALSE(windowIdForColor(kDefaultBackgroundColor));
  EXPECT_FALSE(windowIdForColor(kCursorFillColor));
  EXPECT_FALSE(windowIdForColor(kCursorOutlineColor));
  EXPECT_FALSE(windowIdForColor(windowPrimaryColor(0x101) & 0x00FFFFFF));  // not opaque
}

TEST_F(SimCompositionTest, ExcludedApplicationLeavesTheWindowBeneathVisible) {
  const auto below = open(editor, Rect{{0, 0}, {200, 100}});
  const auto secret = open(vault, Rect{{50, 20}, {100, 50}});
  ContentFilter all;
  all.displayID = 1;

  auto unfiltered = compose(all);
  EXPECT_EQ(unfiltered->pixel(60, 30), windowPrimaryColor(secret));
  EXPECT_TRUE(desktop->frameContainsPixelsOf(*unfiltered, "org.example.Vault"));
  EXPECT_TRUE(desktop->frameIsUnfiltered(*unfiltered, excludingVault()));

  auto filtered = compose(excludingVault());
  EXPECT_EQ(filtered->pixel(60, 30), windowPrimaryColor(below));
  EXPECT_EQ(filtered->pixel(250, 150), kDefaultBackgroundColor);
  EXPECT_FALSE(desktop->frameContainsPixelsOf(*filtered, "org.example.Vault"));
  EXPECT_FALSE(desktop->frameIsUnfiltered(*filtered, excludingVault()));
  EXPECT_EQ(desktop->windowsInFrame(*filtered), std::set<std::uint32_t>{below});
}

TEST_F(SimCompositionTest, ExcludedWindowOverBackgroundShowsTheBackground) {
  open(vault, Rect{{10, 10}, {40, 40}});
  auto filtered = compose(excludingVault());
  EXPECT_EQ(filtered->pixel(20, 20), kDefaultBackgroundColor);
}

TEST_F(SimCompositionTest, ExclusionByProcessAndPopupsAndDialogsOfTheApplication) {
  const auto popup = open(vault, Rect{{0, 0}, {30, 30}}, SimWindowKind::popup);
  const auto dialog = open(vault, Rect{{40, 0}, {30, 30}}, SimWindowKind::dialog);
  ContentFilter byProcess;
  byProcess.displayID = 1;
  byProcess.excludedApplications.push_back({"some.other.Id", "", vault});
  for (const auto& filter : {excludingVault(), byProcess}) {
    auto frame = compose(filter);
    EXPECT_FALSE(desktop->frameContainsWindow(*frame, popup));
    EXPECT_FALSE(desktop->frameContainsWindow(*frame, dialog));
  }
}

TEST_F(SimCompositionTest, DesktopWindowsStayBeneathAndGoWhenAsked) {
  const auto window = open(editor, Rect{{0, 0}, {100, 100}});
  const auto icons = open(files, Rect{{0, 0}, {320, 180}}, SimWindowKind::desktopIcons, -1);
  ContentFilter filter;
  filter.displayID = 1;
  auto withIcons = compose(filter);
  EXPECT_EQ(withIcons->pixel(50, 50), windowPrimaryColor(window));  // opened later, still beneath
  EXPECT_EQ(withIcons->pixel(200, 150), windowPrimaryColor(icons));
  ASSERT_TRUE(desktop->raiseWindow(icons));
  EXPECT_EQ(compose(filter)->pixel(50, 50), windowPrimaryColor(window));

  filter.excludeDesktopWindows = true;
  auto withoutIcons = compose(filter);
  EXPECT_EQ(withoutIcons->pixel(200, 150), kDefaultBackgroundColor);
  EXPECT_FALSE(desktop->frameContainsWindow(*withoutIcons, icons));
  EXPECT_EQ(desktop->desktopWindowOwner()->processIdentifier, files);
}

TEST_F(SimCompositionTest, ExceptingWindowsAreKeptButExplicitExclusionsWin) {
  const auto kept = open(vault, Rect{{0, 0}, {50, 50}});
  const auto dropped = open(vault, Rect{{60, 0}, {50, 50}});
  auto filter = excludingVault();
  filter.exceptingWindowIDs = {kept};
  auto frame = compose(filter);
  EXPECT_TRUE(desktop->frameContainsWindow(*frame, kept));
  EXPECT_FALSE(desktop->frameContainsWindow(*frame, dropped));
  EXPECT_FALSE(desktop->frameIsUnfiltered(*frame, filter));
  // The check judges by the filter given: the same frame is unfiltered for a stricter one.
  EXPECT_TRUE(desktop->frameIsUnfiltered(*frame, excludingVault()));

  filter.excludedWindowIDs = {kept};
  EXPECT_FALSE(desktop->frameContainsWindow(*compose(filter), kept));
}

TEST_F(SimCompositionTest, OnlyWindowsOfTheActiveDesktopAndUnhiddenApplicationsShow) {
  const auto here = open(editor, Rect{{0, 0}, {50, 50}});
  const auto there = open(editor, Rect{{100, 0}, {50, 50}}, SimWindowKind::normal, 1);
  const auto everywhere = open(files, Rect{{200, 0}, {50, 50}}, SimWindowKind::normal, -1);
  ContentFilter filter;
  filter.displayID = 1;
  EXPECT_EQ(desktop->windowsInFrame(*compose(filter)), (std::set<std::uint32_t>{here, everywhere}));
  desktop->switchDesktop(1);
  EXPECT_EQ(desktop->windowsInFrame(*compose(filter)),
            (std::set<std::uint32_t>{there, everywhere}));
  desktop->hide(files);
  EXPECT_EQ(desktop->windowsInFrame(*compose(filter)), std::set<std::uint32_t>{there});
}

TEST_F(SimCompositionTest, StackingMovesWithRaiseAndActivation) {
  const auto a = open(editor, Rect{{0, 0}, {100, 100}});
  const auto b = open(files, Rect{{50, 50}, {100, 100}});
  ContentFilter filter;
  filter.displayID = 1;
  EXPECT_EQ(compose(filter)->pixel(75, 75), windowPrimaryColor(b));
  ASSERT_TRUE(desktop->raiseWindow(a));
  EXPECT_EQ(compose(filter)->pixel(75, 75), windowPrimaryColor(a));
  ASSERT_TRUE(desktop->activate(files));
  EXPECT_EQ(compose(filter)->pixel(75, 75), windowPrimaryColor(b));
}

TEST_F(SimCompositionTest, ScalesToTheConfiguredSizeAndClipsToTheDisplay) {
  ASSERT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(2, Rect{{320, 0}, {100, 100}}, 2)));
  const auto straddling = open(editor, Rect{{300, 0}, {60, 50}});
  ContentFilter second;
  second.displayID = 2;
  auto native = compose(second);
  ASSERT_EQ(native->width(), 200);  // backing scale 2
  ASSERT_EQ(native->height(), 200);
  EXPECT_EQ(native->pixel(0, 0), windowPrimaryColor(straddling));
  EXPECT_EQ(native->pixel(79, 99), windowPrimaryColor(straddling));  // x < 360 points
  EXPECT_EQ(native->pixel(80, 99), kDefaultBackgroundColor);
  EXPECT_EQ(native->pixel(0, 100), kDefaultBackgroundColor);  // y >= 50 points

  auto small = compose(second, 10, 10);
  ASSERT_EQ(small->width(), 10);
  EXPECT_EQ(small->pixel(3, 4), windowPrimaryColor(straddling));  // centre at 355 points
  EXPECT_EQ(small->pixel(4, 4), kDefaultBackgroundColor);
  EXPECT_EQ(small->pixel(0, 5), kDefaultBackgroundColor);
}

TEST_F(SimCompositionTest, CheckerboardUsesBothColoursAndMovesWithThePhase) {
  SimWindowSpec spec;
  spec.frame = Rect{{0, 0}, {32, 32}};
  spec.pattern = SimWindowPattern{true, 8, 0};
  const auto id = desktop->addWindow(editor, spec).value();
  ContentFilter filter;
  filter.displayID = 1;
  auto frame = compose(filter);
  EXPECT_EQ(frame->pixel(0, 0), windowPrimaryColor(id));
  EXPECT_EQ(frame->pixel(8, 0), windowSecondaryColor(id));
  EXPECT_EQ(frame->pixel(8, 8), windowPrimaryColor(id));
  EXPECT_EQ(frame->pixel(31, 31), windowPrimaryColor(id));
  ASSERT_TRUE(desktop->setWindowPattern(id, SimWindowPattern{true, 8, 1}));
  EXPECT_EQ(compose(filter)->pixel(0, 0), windowSecondaryColor(id));
  EXPECT_TRUE(desktop->frameContainsPixelsOf(*frame, "org.example.Editor"));
}

TEST_F(SimCompositionTest, ClosedWindowsOfQuitApplicationsAreStillRecognised) {
  const auto secret = open(vault, Rect{{0, 0}, {50, 50}});
  ContentFilter filter;
  filter.displayID = 1;
  auto earlier = compose(filter);
  ASSERT_TRUE(desktop->quitApplication(vault));
  EXPECT_TRUE(desktop->frameContainsPixelsOf(*earlier, "org.example.Vault"));
  EXPECT_TRUE(desktop->frameIsUnfiltered(*earlier, excludingVault()));
  EXPECT_FALSE(desktop->frameContainsWindow(*compose(filter), secret));
}

TEST_F(SimCompositionTest, CursorIsDrawnOnlyWhenAsked) {
  desktop->moveCursor(Point{100, 100});
  ContentFilter filter;
  filter.displayID = 1;
  EXPECT_EQ(compose(filter)->pixel(105, 105), kDefaultBackgroundColor);
  auto withCursor = desktop->composeNow(filter, 0, 0, true).value();
  EXPECT_EQ(withCursor->pixel(105, 105), kCursorFillColor);
  EXPECT_EQ(withCursor->pixel(100, 100), kCursorOutlineColor);
}

TEST_F(SimCompositionTest, UnusableRequestsFailWithASentence) {
  ContentFilter missing;
  missing.displayID = 9;
  auto result = desktop->composeNow(missing, 0, 0);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "Display 9 is not connected.");
  ContentFilter filter;
  filter.displayID = 1;
  EXPECT_FALSE(desktop->composeNow(filter, 100000, 10).ok());
  EXPECT_FALSE(desktop->setBackgroundColor(windowPrimaryColor(5)).ok());
  EXPECT_FALSE(desktop->addWindow(editor, SimWindowSpec{Rect{{0, 0}, {-1, 5}}}).ok());
  EXPECT_FALSE(desktop->addWindow(12345, SimWindowSpec{Rect{{0, 0}, {1, 5}}}).ok());
  EXPECT_FALSE(desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{0, 0}, {5, 5}})).ok());
  EXPECT_FALSE(desktop->addDisplay(SimDesktop::makeDisplay(3, Rect{{0, 0}, {0, 5}})).ok());
}

}  // namespace
}  // namespace corvane::platform::sim

namespace corvane::platform::sim {
namespace {

// What one output pixel should show, found the slow way: the topmost window on screen that the
// filter keeps and that contains the point at the pixel's centre.
std::uint32_t referencePixel(const SimDesktopState& state, const ContentFilter& filter,
                             const Screen& display, int width, int height, int x, int y) {
  const Point point{display.frame.minX() + (x + 0.5) * display.frame.width() / width,
                    display.frame.minY() + (y + 0.5) * display.frame.height() / height};
  for (auto it = state.windows.rbegin(); it != state.windows.rend(); ++it) {
    if (!state.isOnScreen(*it) || !it->frame.contains(point)) continue;
    const SimApplication* app = state.application(it->ownerProcessID);
    if (filterLeavesOut(filter, it->id,
                        SimWindowOwner{app->info.bundleIdentifier, it->ownerProcessID, it->kind})) {
      continue;
    }
    if (!it->pattern.checkerboard) return windowPrimaryColor(it->id);
    const double cell = it->pattern.cellSize;
    const long column = static_cast<long>(std::floor((point.x - it->frame.minX()) / cell));
    const long row = static_cast<long>(std::floor((point.y - it->frame.minY()) / cell));
    return ((column + row + it->pattern.phase) & 1) != 0 ? windowSecondaryColor(it->id)
                                                         : windowPrimaryColor(it->id);
  }
  return state.backgroundColor;
}

TEST(SimCompositionReferenceTest, RandomDesktopsComposeLikeThePixelByPixelReference) {
  runtime::VirtualRunLoop loop;
  std::mt19937 random(20261207);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 40; ++round) {
    auto desktop = SimDesktop::make();
    ASSERT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{40, 20}, {80, 60}})));
    std::vector<std::int32_t> apps;
    for (int a = 0; a < 4; ++a) {
      apps.push_back(
          desktop->launchApplication({"org.example.App" + std::to_string(a), "App"}).value());
    }
    for (int w = 0; w < 12; ++w) {
      SimWindowSpec spec;
      spec.frame = Rect{{double(pick(0, 150)), double(pick(0, 100))},
                        {double(pick(0, 70)), double(pick(0, 50))}};
      spec.desktop = pick(-1, 1);
      spec.kind = static_cast<SimWindowKind>(pick(0, 3));
      spec.pattern = SimWindowPattern{pick(0, 1) == 1, double(pick(1, 9)), pick(0, 1)};
      ASSERT_TRUE(desktop->addWindow(apps[pick(0, 3)], spec).ok());
    }
    if (pick(0, 1)) desktop->hide(apps[pick(0, 3)]);
    desktop->switchDesktop(pick(0, 1));
    ContentFilter filter;
    filter.displayID = 1;
    filter.excludeDesktopWindows = pick(0, 1) == 1;
    filter.excludedApplications.push_back({"org.example.App" + std::to_string(pick(0, 3)), "", 0});
    for (const auto& window : desktop->snapshot().windows) {
      if (pick(0, 5) == 0) filter.exceptingWindowIDs.insert(window.id);
      if (pick(0, 7) == 0) filter.excludedWindowIDs.insert(window.id);
    }

    const auto state = desktop->snapshot();
    const int scaled[][2] = {{80, 60}, {160, 120}, {40, 30}};
    const auto& size = scaled[round % 3];
    auto frame = desktop->composeNow(filter, size[0], size[1]).value();
    for (int y = 0; y < size[1]; ++y) {
      for (int x = 0; x < size[0]; ++x) {
        ASSERT_EQ(frame->pixel(x, y),
                  referencePixel(state, filter, state.displays[0], size[0], size[1], x, y))
            << "round " << round << " at " << x << "," << y;
      }
    }
    EXPECT_FALSE(desktop->frameIsUnfiltered(*frame, filter));
  }
}

}  // namespace
}  // namespace corvane::platform::sim
