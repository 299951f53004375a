#include <gtest/gtest.h>

#include "support/tesseract_analyzer.h"
#include "support/text_corpus_screens.h"
#include "verification/normalized_geometry.h"

namespace corvane::verification {
namespace {

using namespace testing::screen_corpus_detail;
using K = model::SensitiveKind;

// A light page `width` × `height` px, drawn by `draw`, analysed as one region.
template <typename Draw>
testing::ScreenScore analyzedPage(int width, int height, Draw draw) {
  const auto tesseract = testing::makeTesseractAnalyzer();
  testing::CorpusScreen screen;
  screen.image = std::make_shared<platform::PixelBuffer>(width, height);
  {
    ScreenPainter painter(screen, renderings()[0]);
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

// Form fields whose credential label stands above or beside the box holding the value, read as
// lines of their own: the values are masked, the plain field beside them is not.
TEST(ScreenLayout, ACredentialLabelReachesTheValueOfItsField) {
  const Theme& t = theme(false);
  auto field = [&](ScreenPainter& painter, double x, double top, const std::string& value,
                   bool secret) {
    painter.fill({{x, top}, {300, 30}}, t.field);
    painter.frame({{x, top}, {300, 30}}, t.muted);
    if (secret)
      painter.write(x + 8, top + 8, "DejaVu Sans", 14, {{value, t.text, true}}, K::apiKey, false);
    else
      painter.write(x + 8, top + 8, "DejaVu Sans", 14, {{value, t.text}}, std::nullopt, true);
  };
  const auto score = analyzedPage(760, 260, [&](ScreenPainter& painter) {
    painter.write(30, 20, "DejaVu Sans", 14, {{"API token", t.text}}, std::nullopt, false);
    field(painter, 30, 44, "f3Kq9xZ2pL7vB8mN", true);
    painter.write(400, 20, "DejaVu Sans", 14, {{"Display name", t.text}}, std::nullopt, false);
    field(painter, 400, 44, "Nina Berg", false);
    painter.write(30, 130, "DejaVu Sans", 14, {{"Password", t.text}}, std::nullopt, false);
    field(painter, 180, 122, "hunter2-Qx81", true);
    painter.write(30, 200, "DejaVu Sans", 14, {{"Team", t.text}}, std::nullopt, false);
    field(painter, 180, 192, "Platform tools", false);
  });
  EXPECT_EQ(score.secrets.total, 2);
  EXPECT_EQ(score.plainLines.total, 2);
}

}  // namespace
}  // namespace corvane::verification
