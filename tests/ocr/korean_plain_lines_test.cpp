#include <gtest/gtest.h>

#include "support/tesseract_analyzer.h"
#include "support/text_corpus_screens.h"
#include "verification/protected_analysis_region_planner.h"

namespace corvane::verification {
namespace {

using testing::CorpusScreen;
using testing::screen_corpus_detail::ScreenPainter;

const char* const kPlainKorean[] = {
    "회의 자료를 확인해 주세요",    "다음 주 일정이 변경되었습니다", "보고서는 금요일까지 제출",
    "점심 식사 후에 다시 모입니다", "새 버전이 배포되었습니다",      "오늘 회의는 취소되었습니다",
};

struct Looks {
  const char* name;
  const char* font;
  int size;
  bool dark;
};

// A window of plain Korean lines from its left edge, as a terminal or a page writes them.
CorpusScreen plainKoreanWindow(const Looks& looks) {
  using namespace testing::screen_corpus_detail;
  CorpusScreen screen;
  screen.image = std::make_shared<platform::PixelBuffer>(960, 420);
  screen.windows = {platform::Rect{{0, 0}, {960, 420}}};
  ScreenPainter painter(screen, renderings()[0]);
  const Theme& t = theme(looks.dark);
  painter.fill(screen.windows.front(), t.background);
  double top = 16;
  for (const char* line : kPlainKorean) {
    painter.write(15, top, looks.font, looks.size, {{line, t.text}}, std::nullopt, true);
    top += looks.size * 1.9;
  }
  return screen;
}

// Ordinary Korean text is no secret: once read it is not covered at either level, whether the
// layout cut the first syllables of its rows off into a column of their own or English misread a
// row as letters and signs a rule matches ("$04"), where the whole set read it in Hangul.
TEST(KoreanPlainLines, AreNotCoveredInTerminalsOrOnPages) {
  if (!testing::koreanInstalled()) GTEST_SKIP() << "no Korean model installed";
  const auto tesseract = testing::makeTesseractAnalyzer();
  const Looks looks[] = {{"dark page", testing::screen_corpus_detail::kKoreanFont, 20, true},
                         {"light page", testing::screen_corpus_detail::kKoreanFont, 16, false},
                         {"dark terminal", "Noto Sans Mono CJK KR", 16, true},
                         {"light terminal", "Noto Sans Mono CJK KR", 14, false}};
  for (const Looks& look : looks) {
    const CorpusScreen screen = plainKoreanWindow(look);
    for (const auto quality :
         {ProtectedFrameAnalysisQuality::accurate, ProtectedFrameAnalysisQuality::fast}) {
      SCOPED_TRACE(std::string(look.name) +
                   (quality == ProtectedFrameAnalysisQuality::fast ? ", fast" : ", accurate"));
      const auto result = tesseract.analyzer->analyze(screen.image, testing::corpusPreferences(),
                                                      false, {{{0, 0}, {1, 1}}}, quality, nullptr);
      ASSERT_TRUE(result.analysisSucceeded);
      const auto score = testing::scoreScreen(screen, result);
      EXPECT_EQ(score.plainLines.total, static_cast<int>(std::size(kPlainKorean)));
      EXPECT_EQ(score.plainLines.masked, 0);
      for (const auto& line : score.falselyMasked) ADD_FAILURE() << "covered: " << line;
      if (score.plainLines.masked > 0)
        for (const auto& item : result.detectedItems)
          ADD_FAILURE() << "found: " << item.text << " in " << item.rawText.value_or("");
    }
  }
}

// On a desktop whose dark window of Korean documents at 20 px sits beside a light one, the layout
// cuts the first syllables of the rows off into a column of their own; the rows are read whole
// again, and none is covered.
TEST(KoreanPlainLines, RowsWhoseFirstSyllablesTheLayoutCutOffAreReadWhole) {
  if (!testing::koreanInstalled()) GTEST_SKIP() << "no Korean model installed";
  const auto tesseract = testing::makeTesseractAnalyzer();
  CorpusScreen screen = testing::corpusScreen(34);
  std::erase_if(screen.lines, [](const testing::ScreenLine& line) {
    return !line.plain || std::all_of(line.text.begin(), line.text.end(),
                                      [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  });
  ASSERT_GE(screen.lines.size(), 3u);
  // Planned along its windows, as the pipeline plans a frame.
  using Planner = ProtectedAnalysisRegionPlanner;
  const auto regions =
      Planner::regions({{{0, 0}, {1, 1}}}, Planner::kHorizontalMargin, Planner::kVerticalMargin,
                       Planner::windowRegions(screen.image.get()));
  const auto result =
      tesseract.analyzer->analyze(screen.image, testing::corpusPreferences(), false, regions,
                                  ProtectedFrameAnalysisQuality::accurate, nullptr);
  ASSERT_TRUE(result.analysisSucceeded);
  for (const auto& line : testing::scoreScreen(screen, result).falselyMasked)
    ADD_FAILURE() << "covered: " << line;
}

}  // namespace
}  // namespace corvane::verification
