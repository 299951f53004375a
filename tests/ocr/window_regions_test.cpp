#include <gtest/gtest.h>

#include <random>

#include "support/tesseract_analyzer.h"
#include "support/text_corpus_screens.h"
#include "verification/candidate_text_pass.h"
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

constexpr int kRows = 6, kWidth = 1040, kEdge = kWidth / 2;

// Two windows side by side, dark on the left and light on the right, with lines at the same
// heights running up to the edge they share, a secret on one side of each pair; the frame
// carries the windows. `size` is the text height in pixels.
testing::CorpusScreen sideBySideWindows(std::uint32_t seed, int& size) {
  using K = model::SensitiveKind;
  const K kinds[] = {K::apiKey, K::email, K::phoneNumber, K::revenue, K::internalURL};
  std::mt19937 random(seed);
  SecretMaker secrets(random);
  const Rendering& rendering = renderings()[seed % renderings().size()];
  const Fonts& fonts = fontSets()[seed % fontSets().size()];
  size = std::uniform_int_distribution<int>(13, 16)(random);
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
        painter.write(kEdge + 6, top, fonts.sans, size, {{plain, light.text}}, std::nullopt, true);
      } else {
        painter.write(leftX, top, fonts.sans, size, {{plain, dark.text}}, std::nullopt, true);
        painter.write(kEdge + 6, top, fonts.sans, size,
                      {{prefix, light.text}, {secret, light.text, true}}, kind, false);
      }
    }
  }
  screen.image->setWindowAreas({{{0, 0, kEdge, screen.image->height()}},
                                {{kEdge, 0, kWidth - kEdge, screen.image->height()}}});
  return screen;
}

// Nothing spans the edge: a box may touch it, not reach a few pixels into both windows.
void expectNothingSpansTheEdge(const model::ProtectedFrameAnalysisResult& result) {
  auto spans = [&](const Rect& normalized) {
    return normalized.minX() * kWidth < kEdge - 3 && normalized.maxX() * kWidth > kEdge + 3;
  };
  for (const auto& redaction : result.redactions)
    EXPECT_FALSE(spans(redaction.normalizedFrame)) << redaction.title;
  for (const auto& item : result.detectedItems)
    EXPECT_FALSE(item.screenFrame && spans(*item.screenFrame)) << item.text;
}

// Planned along the windows the frame carries, each window is read on its own: every secret is
// masked, and no mask or finding reaches from one window into the other.
TEST(WindowRegions, SideBySideWindowsOfOppositePolarityAreReadApart) {
  const auto tesseract = testing::makeTesseractAnalyzer();
  const auto preferences = testing::corpusPreferences();
  for (std::uint32_t seed = 1; seed <= 2; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    int size = 0;
    const testing::CorpusScreen screen = sideBySideWindows(seed, size);
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
    expectNothingSpansTheEdge(result);
  }
}

// A quick read of a change across the edge reads each window's part of it on its own too: the
// secrets in the changed rows are masked, and nothing reaches from one window into the other.
TEST(WindowRegions, AQuickReadOfAChangeAcrossTheEdgeReadsTheWindowsApart) {
  const auto tesseract = testing::makeTesseractAnalyzer();
  for (std::uint32_t seed = 3; seed <= 5; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    int size = 0;
    const testing::CorpusScreen screen = sideBySideWindows(seed, size);
    std::mt19937 random(seed);
    const int firstRow = std::uniform_int_distribution<int>(0, kRows - 3)(random);
    const double width = std::uniform_int_distribution<int>(160, 360)(random);
    const double height = screen.image->height();
    const double top = 12 + firstRow * 2 * size - 4;
    const Rect change{{(kEdge - width / 2) / kWidth, top / height},
                      {width / kWidth, (3 * 2 * size) / height}};
    auto candidate = std::make_shared<ProtectedAnalysisCandidate>();
    candidate->sourceImage = screen.image;
    candidate->analysisImage = screen.image;
    candidate->changedRects = {change};
    CandidateTextPass pass;
    pass.candidate = candidate;
    pass.isRegionPass = true;
    pass.preferences = testing::corpusPreferences();
    pass.maskAllRecognizedText = false;
    const auto result = readCandidateText(*tesseract.analyzer, pass);
    ASSERT_TRUE(result.analysisSucceeded);
    expectNothingSpansTheEdge(result);
    int left = 0, right = 0;
    for (const auto& item : result.detectedItems) {
      if (!item.screenFrame || item.kind == model::SensitiveKind::customer)
        continue;  // covers, not findings
      (item.screenFrame->maxX() * kWidth <= kEdge + 3 ? left : right) += 1;
    }
    EXPECT_GT(left, 0) << "a secret of the dark window is read";
    EXPECT_GT(right, 0) << "a secret of the light window is read";
  }
}

// A black terminal with small bitmap text beside a light page, the frame carrying no windows:
// read as one region, the terminal was never inverted nor its lines read, and the analysis passed.
// Every secret in it is masked now (or the analysis fails), and the page's lines stay plain.
TEST(WindowRegions, ADarkWindowOnALightFrameWithoutWindowsIsReadOrCovered) {
  using K = model::SensitiveKind;
  const auto tesseract = testing::makeTesseractAnalyzer();
  std::mt19937 random(7);
  SecretMaker secrets(random);
  testing::CorpusScreen screen;
  screen.image = std::make_shared<platform::PixelBuffer>(1280, 720);
  {
    ScreenPainter painter(screen, {CAIRO_ANTIALIAS_NONE, CAIRO_HINT_STYLE_FULL, "bitmap"});
    const double page[3] = {0.93, 0.93, 0.94}, black[3] = {0, 0, 0}, grey[3] = {0.8, 0.8, 0.8};
    painter.fill({{0, 0}, {1280, 720}}, page);
    for (int row = 0; row < 20; ++row)
      painter.write(
          20, 30 + row * 30, "DejaVu Sans", 14,
          {{plainLines()[static_cast<std::size_t>(row) % plainLines().size()], theme(false).text}},
          std::nullopt, true);
    painter.fill({{600, 100}, {600, 500}}, black);
    const K kinds[] = {K::apiKey, K::email, K::phoneNumber, K::internalURL, K::apiKey, K::apiKey};
    for (int row = 0; row < 24; ++row) {
      const double top = 110 + row * 15;
      if (row % 4 != 0) {
        painter.write(604, top, "DejaVu Sans Mono", 11, {{"user@host:~$ ls -la ~/src", grey}},
                      std::nullopt, false);
        continue;
      }
      const auto [secret, lead] = secrets.make(kinds[row / 4]);
      painter.write(604, top, "DejaVu Sans Mono", 11, {{lead, grey}, {secret, grey, true}},
                    kinds[row / 4], false);
    }
  }
  const auto result =
      tesseract.analyzer->analyze(screen.image, testing::corpusPreferences(), false, {kUnitRect},
                                  ProtectedFrameAnalysisQuality::accurate, nullptr);
  if (!result.analysisSucceeded) return;
  const auto score = testing::scoreScreen(screen, result);
  EXPECT_EQ(score.secrets.total, 6);
  EXPECT_EQ(score.secrets.masked, score.secrets.total);
  for (const auto& missed : score.missed) ADD_FAILURE() << "missed: " << missed;
  EXPECT_EQ(score.plainLines.masked, 0);
}

// Whole desktops of the screen corpus, a dark window beside a light one below a bar, each with
// text of its own size, handed over without their window areas as a capture that did not say
// which windows it drew: read as one region, one polarity and one text size for all, the dark
// window's lines went unread. Each window is read on its own now: every secret is masked on the
// published frame and the plain lines stay clear.
TEST(WindowRegions, ADesktopWithADarkAndALightWindowAndNoWindowAreasIsReadWindowByWindow) {
  const auto tesseract = testing::makeTesseractAnalyzer();
  for (const int index : {2, 6}) {
    SCOPED_TRACE("screen " + std::to_string(index));
    const testing::CorpusScreen screen = testing::withoutWindowAreas(testing::corpusScreen(index));
    const auto result =
        tesseract.analyzer->analyze(screen.image, testing::corpusPreferences(), false, {kUnitRect},
                                    ProtectedFrameAnalysisQuality::accurate, nullptr);
    ASSERT_TRUE(result.analysisSucceeded);
    const auto score = testing::scoreScreen(screen, result);
    EXPECT_EQ(score.secrets.masked, score.secrets.total);
    for (const auto& missed : score.missed) ADD_FAILURE() << "missed: " << missed;
    EXPECT_LE(score.plainLines.masked, 1);
  }
}

}  // namespace
}  // namespace corvane::verification
