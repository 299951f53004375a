#include <gtest/gtest.h>

#include <random>

#include "support/tesseract_analyzer.h"
#include "support/text_corpus_screens.h"
#include "verification/normalized_geometry.h"
#include "verification/protected_analysis_region_planner.h"

namespace corvane::verification {
namespace {

using namespace testing::screen_corpus_detail;
using platform::Rect;

// The ink width of `text` as the painter writes it.
double inkWidth(const std::string& text, const Rendering& rendering, const char* family, int size) {
  testing::CorpusScreen scratch;
  scratch.image = std::make_shared<platform::PixelBuffer>(1600, 4 * size);
  ScreenPainter painter(scratch, rendering);
  painter.write(0, 0, family, size, {{text, theme(false).text}}, std::nullopt, false);
  return scratch.lines.back().textBox.maxX();
}

// Two windows side by side, dark on the left and light on the right, with lines at the same
// heights running up to the edge they share, a secret on one side of each pair. Planned along
// the windows the frame carries, each window is read on its own: every secret is masked, and no
// mask or finding reaches from one window into the other.
TEST(WindowRegions, SideBySideWindowsOfOppositePolarityAreReadApart) {
  const auto tesseract = testing::makeTesseractAnalyzer();
  const auto preferences = testing::corpusPreferences();
  using K = model::SensitiveKind;
  const K kinds[] = {K::apiKey, K::email, K::phoneNumber, K::revenue, K::internalURL};
  for (std::uint32_t seed = 1; seed <= 2; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    SecretMaker secrets(random);
    const Rendering& rendering = renderings()[seed % renderings().size()];
    const Fonts& fonts = fontSets()[seed % fontSets().size()];
    const int size = std::uniform_int_distribution<int>(13, 16)(random);
    constexpr int kRows = 6, kWidth = 1040, kEdge = kWidth / 2;
    testing::CorpusScreen screen;
    screen.image = std::make_shared<platform::PixelBuffer>(kWidth, 24 + kRows * 2 * size);
    const Rect left{{0, 0}, {double(kEdge), double(screen.image->height())}};
    const Rect right{{double(kEdge), 0}, {double(kWidth - kEdge), double(screen.image->height())}};
    screen.windows = {left, right};
    {
      ScreenPainter painter(screen, rendering);
      painter.fill(left, theme(true).background);
      painter.fill(right, theme(false).background);
      for (int row = 0; row < kRows; ++row) {
        const double top = 12 + row * 2 * size;
        const K kind = kinds[(static_cast<std::size_t>(row) + seed) % std::size(kinds)];
        const auto [secret, prefix] = secrets.make(kind);
        const std::string plain = plainLines()[random() % plainLines().size()].substr(0, 18);
        const bool secretOnLeft = row % 2 == 0;
        const std::string leftText = secretOnLeft ? prefix + secret : plain;
        // The left line ends a few pixels before the edge; the right one starts just after it.
        const double leftX = kEdge - 6 - inkWidth(leftText, rendering, fonts.sans, size);
        const Theme& dark = theme(true);
        const Theme& light = theme(false);
        if (secretOnLeft) {
          painter.write(leftX, top, fonts.sans, size,
                        {{prefix, dark.text}, {secret, dark.text, true}}, kind, false);
          painter.write(kEdge + 6, top, fonts.sans, size, {{plain, light.text}}, std::nullopt,
                        true);
        } else {
          painter.write(leftX, top, fonts.sans, size, {{plain, dark.text}}, std::nullopt, true);
          painter.write(kEdge + 6, top, fonts.sans, size,
                        {{prefix, light.text}, {secret, light.text, true}}, kind, false);
        }
      }
    }
    screen.image->setWindowAreas({{{0, 0, kEdge, screen.image->height()}},
                                  {{kEdge, 0, kWidth - kEdge, screen.image->height()}}});

    using Planner = ProtectedAnalysisRegionPlanner;
    const auto regions =
        Planner::regions({kUnitRect}, Planner::kHorizontalMargin, Planner::kVerticalMargin,
                         Planner::windowRegions(screen.image.get()));
    const auto result =
        tesseract.analyzer->analyze(screen.image, preferences, false, regions,
                                    ProtectedFrameAnalysisQuality::accurate, nullptr);
    ASSERT_TRUE(result.analysisSucceeded);
    const auto score = testing::scoreScreen(screen, result);
    EXPECT_EQ(score.secrets.masked, score.secrets.total);
    for (const auto& missed : score.missed) ADD_FAILURE() << "missed: " << missed;
    // Nothing spans the edge: a box may touch it, not reach a few pixels into both windows.
    auto spans = [&](const Rect& normalized) {
      return normalized.minX() * kWidth < kEdge - 3 && normalized.maxX() * kWidth > kEdge + 3;
    };
    for (const auto& redaction : result.redactions)
      EXPECT_FALSE(spans(redaction.normalizedFrame)) << redaction.title;
    for (const auto& item : result.detectedItems)
      EXPECT_FALSE(item.screenFrame && spans(*item.screenFrame)) << item.text;
  }
}

}  // namespace
}  // namespace corvane::verification
