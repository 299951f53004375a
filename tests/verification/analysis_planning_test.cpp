#include <gtest/gtest.h>

#include <random>

#include "platform/window_areas.h"

#include "verification/analysis_image_preparation.h"
#include "verification/protected_analysis_cancellation.h"
#include "verification/protected_analysis_region_planner.h"
#include "verification/protected_frame_analyzer_diagnostic_throttle.h"

namespace corvane::verification {
namespace {

using platform::Rect;
using Planner = ProtectedAnalysisRegionPlanner;

void expectRects(const std::vector<Rect>& actual, const std::vector<Rect>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i].minX(), expected[i].minX(), 1e-9);
    EXPECT_NEAR(actual[i].minY(), expected[i].minY(), 1e-9);
    EXPECT_NEAR(actual[i].width(), expected[i].width(), 1e-9);
    EXPECT_NEAR(actual[i].height(), expected[i].height(), 1e-9);
  }
}

const Rect kWhole{{0, 0}, {1, 1}};

TEST(RegionPlanner, GrowsMergesAndFallsBackToTheWholeFrame) {
  EXPECT_TRUE(Planner::regions({}).empty());
  expectRects(Planner::regions({{{1.5, 0.2}, {0.1, 0.1}}, {{-0.5, 0}, {0.2, 0.1}}}), {kWhole});
  expectRects(Planner::regions({{{0.4, 0.4}, {0.1, 0.05}}}), {{{0.15, 0.375}, {0.6, 0.1}}});

  // Without horizontal margin: edges 0.0005 apart merge, 0.002 apart stay separate (and sorted).
  expectRects(Planner::regions({{{0.5, 0.5}, {0.1, 0.02}}, {{0.1, 0.1}, {0.1, 0.02}}}, 0, 0),
              {{{0.1, 0.1}, {0.1, 0.02}}, {{0.5, 0.5}, {0.1, 0.02}}});
  expectRects(Planner::regions({{{0.1, 0.1}, {0.1, 0.02}}, {{0.2005, 0.1}, {0.1, 0.02}}}, 0, 0),
              {{{0.1, 0.1}, {0.2005, 0.02}}});
  EXPECT_EQ(Planner::regions({{{0.1, 0.1}, {0.1, 0.02}}, {{0.202, 0.1}, {0.1, 0.02}}}, 0, 0).size(),
            2u);
  // A merge that reaches an earlier region merges that too.
  expectRects(
      Planner::regions(
          {{{0.1, 0.1}, {0.1, 0.02}}, {{0.5, 0.1}, {0.1, 0.02}}, {{0.15, 0.1}, {0.4, 0.02}}}, 0, 0),
      {{{0.1, 0.1}, {0.5, 0.02}}});

  EXPECT_EQ(
      Planner::regions(
          {{{0.1, 0.1}, {0.05, 0.02}}, {{0.1, 0.5}, {0.05, 0.02}}, {{0.1, 0.9}, {0.05, 0.02}}}, 0,
          0),
      std::vector<Rect>{kWhole});
  EXPECT_EQ(Planner::regions({{{0, 0}, {0.6, 0.4}}, {{0, 0.6}, {0.6, 0.4}}}, 0, 0),
            std::vector<Rect>{kWhole});
}

// Planned along the windows of random stackings, for careful and for quick reads, the regions
// still cover every changed point, and each lies within what shows of one window or where no
// window shows: none straddles a window's edge. Pieces that no change reaches are not read.
TEST(RegionPlanner, CutsAlongTheWindowsAndStillCoversTheChanges) {
  for (const bool quick : {false, true}) {
    SCOPED_TRACE(quick ? "quick" : "careful");
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      std::mt19937 random(seed);
      auto unit = [&] { return std::uniform_real_distribution<double>(0, 1)(random); };
      std::vector<platform::WindowPlacement> stacking(static_cast<std::size_t>(1 + random() % 5));
      for (auto& window : stacking) {
        window.bounds = {{std::floor(unit() * 90), std::floor(unit() * 60)},
                         {std::ceil(unit() * 60 + 4), std::ceil(unit() * 40 + 4)}};
        window.opaque = random() % 4 != 0;
      }
      auto frame = std::make_shared<platform::PixelBuffer>(100, 70);
      frame->setWindowAreas(platform::visibleWindowAreas(stacking, 100, 70, 100, 70));
      const auto windows = Planner::windowRegions(frame.get());
      std::vector<Rect> changes;
      for (std::size_t i = 0; i < 1 + random() % 3; ++i)
        changes.push_back({{unit() * 0.9, unit() * 0.9}, {unit() * 0.3, unit() * 0.1}});
      const auto regions = quick ? Planner::changeRegions(changes, Planner::kHorizontalMargin,
                                                          Planner::kVerticalMargin, windows)
                                 : Planner::regions(changes, Planner::kHorizontalMargin,
                                                    Planner::kVerticalMargin, windows);
      for (const Rect& region : regions) {
        bool withinOne = false, touchesAny = false;
        for (const auto& window : windows) {
          for (const Rect& shown : window) {
            const Rect overlap = region.intersection(shown);
            touchesAny = touchesAny || !overlap.isEmpty();
            withinOne = withinOne || (std::abs(overlap.area() - region.area()) < 1e-12);
          }
        }
        EXPECT_TRUE(withinOne || !touchesAny) << region.minX() << "," << region.minY();
      }
      for (const Rect& change : changes) {
        for (int i = 0; i < 8; ++i) {
          const platform::Point p{change.minX() + change.width() * (i + 0.5) / 8,
                                  change.minY() + change.height() * ((i * 3) % 8 + 0.5) / 8};
          if (!kWhole.contains(p)) continue;
          EXPECT_TRUE(std::any_of(regions.begin(), regions.end(),
                                  [&](const Rect& region) { return region.contains(p); }))
              << p.x << "," << p.y;
        }
      }
      for (const Rect& region : regions) {
        EXPECT_TRUE(std::any_of(changes.begin(), changes.end(),
                                [&](const Rect& change) { return region.intersects(change); }));
      }
    }
  }
}

TEST(ImagePreparation, ScalesTheLongerSideDownToTheLimit) {
  auto check = [](int w, int h, int limit, int ew, int eh) {
    auto image = std::make_shared<const platform::PixelBuffer>(w, h);
    const auto prepared = visionOptimizedImage(image, limit);
    EXPECT_EQ(prepared->width(), ew);
    EXPECT_EQ(prepared->height(), eh);
    return prepared == image;
  };
  EXPECT_FALSE(check(5120, 2880, 3840, 3840, 2160));
  EXPECT_TRUE(check(3840, 2400, 3840, 3840, 2400));
  EXPECT_FALSE(check(10000, 2, 3840, 3840, 1));
  EXPECT_TRUE(check(500, 200, 0, 500, 200));

  // The scaled copy holds the picture: a red left half stays red on the left.
  auto image = std::make_shared<platform::PixelBuffer>(400, 100);
  image->fill(0xFFFFFFFF);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 200; ++x) image->setPixel(x, y, 0xFFFF0000);
  }
  const auto small = visionOptimizedImage(image, 100);
  EXPECT_EQ(small->pixel(10, 10), 0xFFFF0000u);
  EXPECT_EQ(small->pixel(90, 20), 0xFFFFFFFFu);
}

TEST(AnalysisCancellation, CancelsEveryRequestOnceIncludingLateOnes) {
  ProtectedAnalysisCancellation cancellation;
  auto early = std::make_shared<platform::TextRequestCancellation>();
  cancellation.registerRequests({early});
  EXPECT_FALSE(early->isCancelled());
  cancellation.cancel();
  cancellation.cancel();
  EXPECT_TRUE(early->isCancelled());
  auto late1 = std::make_shared<platform::TextRequestCancellation>();
  auto late2 = std::make_shared<platform::TextRequestCancellation>();
  cancellation.registerRequests({late1, late2});
  EXPECT_TRUE(late1->isCancelled());
  EXPECT_TRUE(late2->isCancelled());
  // Late requests are cancelled, not kept.
  EXPECT_EQ(late1.use_count(), 1);
}

TEST(AnalyzerDiagnosticThrottle, AllowsOneReportPerSecondOfUptime) {
  ProtectedFrameAnalyzerDiagnosticThrottle throttle;
  EXPECT_FALSE(throttle.shouldReport(0.5));
  EXPECT_TRUE(throttle.shouldReport(1.0));
  EXPECT_FALSE(throttle.shouldReport(1.999));
  EXPECT_TRUE(throttle.shouldReport(2.0));
}

}  // namespace
}  // namespace corvane::verification
