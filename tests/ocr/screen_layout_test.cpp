#include <gtest/gtest.h>

#include "support/tesseract_analyzer.h"
#include "support/text_corpus_screens.h"
#include "verification/normalized_geometry.h"

namespace corvane::verification {
namespace {

using namespace testing::screen_corpus_detail;
using K = model::SensitiveKind;
using platform::Rect;

// A light page `width` × `height` px, drawn by `draw`, analysed as one region.
template <typename Draw>
testing::ScreenScore analyzedPage(int width, int height, Draw draw, int rendering = 0) {
  static const auto tesseract = testing::makeTesseractAnalyzer();
  testing::CorpusScreen screen;
  screen.image = std::make_shared<platform::PixelBuffer>(width, height);
  {
    ScreenPainter painter(screen, renderings()[static_cast<std::size_t>(rendering)]);
    painter.fill({{0, 0}, {double(width), double(height)}}, theme(false).background);
    draw(painter);
  }
  const auto result =
      tesseract.analyzer->analyze(screen.image, testing::corpusPreferences(), false, {kUnitRect},
                                  ProtectedFrameAnalysisQuality::accurate, nullptr);
  EXPECT_TRUE(result.analysisSucceeded);
  auto score = testing::scoreScreen(screen, result);
  for (const auto& missed : score.missed) ADD_FAILURE() << "missed: " << missed;
  for (const auto& line : score.falselyMasked) ADD_FAILURE() << "falsely masked: " << line;
  return score;
}

// Dashboard cards in a row, their figures on one baseline: the revenue is masked, the figures of
// the cards beside it are not.
TEST(ScreenLayout, CardsInARowAreReadApart) {
  const Theme& t = theme(false);
  const auto score = analyzedPage(800, 140, [&](ScreenPainter& painter) {
    const char* labels[] = {"Revenue", "Active users", "Orders"};
    const char* figures[] = {"$482,000", "12,408", "1,337"};
    for (int card = 0; card < 3; ++card) {
      const double x = 20 + card * 250;
      painter.fill({{x, 20}, {230, 100}}, t.chrome);
      painter.write(x + 16, 34, "DejaVu Sans", 13, {{labels[card], t.muted}}, std::nullopt, false);
      if (card == 0)
        painter.write(x + 16, 64, "DejaVu Sans", 24, {{figures[card], t.text, true}}, K::revenue,
                      false);
      else
        painter.write(x + 16, 64, "DejaVu Sans", 24, {{figures[card], t.text}}, std::nullopt, true);
    }
  });
  EXPECT_EQ(score.secrets.total, 1);
  EXPECT_EQ(score.plainLines.total, 2);
}

}  // namespace
}  // namespace corvane::verification
