#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <thread>

#include "support/tesseract_analyzer.h"
#include "support/text_corpus_screens.h"
#include "verification/structured_text_heuristics.h"

namespace corvane::verification {
namespace {

// Every planted secret at every size, light and dark, with real Tesseract in accurate mode; the
// eight renderings run on four workers of our own.
TEST(CorpusRecall, AccurateFindsPlantedSecretsWithoutMaskingBenignLines) {
  const auto tesseract = testing::makeTesseractAnalyzer();
  const auto& analyzer = *tesseract.analyzer;
  const auto preferences = testing::corpusPreferences();

  struct Case {
    double size;
    bool dark;
    testing::CorpusScore score;
  };
  std::vector<Case> cases;
  for (double size : {10.0, 12.0, 14.0, 18.0}) {
    for (bool dark : {false, true}) cases.push_back({size, dark, {}});
  }
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&] {
      for (std::size_t i = next++; i < cases.size(); i = next++) {
        const auto corpus =
            testing::renderCorpus(testing::corpusLines(), cases[i].size, cases[i].dark);
        const auto result = analyzer.analyze(corpus.image, preferences, false, {{{0, 0}, {1, 1}}},
                                             ProtectedFrameAnalysisQuality::accurate, nullptr);
        if (result.analysisSucceeded) cases[i].score = testing::scoreCorpus(corpus, result);
      }
    });
  }
  for (auto& worker : workers) worker.join();

  std::map<double, testing::CorpusScore> bySize;
  int benign = 0;
  int falseMasks = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << " px " << (c.dark ? "dark" : "light"));
    ASSERT_GT(c.score.secrets, 0) << "analysis failed";
    for (const std::string& line : c.score.missed) std::printf("missed: %s\n", line.c_str());
    bySize[c.size].secrets += c.score.secrets;
    bySize[c.size].found += c.score.found;
    benign += c.score.benign;
    falseMasks += c.score.falseMasks;
  }
  EXPECT_EQ(bySize[14].found, bySize[14].secrets);
  EXPECT_EQ(bySize[18].found, bySize[18].secrets);
  EXPECT_GE(bySize[10].found * 100, bySize[10].secrets * 95);
  EXPECT_GE(bySize[12].found * 100, bySize[12].secrets * 95);
  EXPECT_LE(falseMasks * 100, benign) << falseMasks << " false masks on " << benign << " lines";
  // Engines are made per worker as needed, never per call.
  EXPECT_LE(tesseract.recognizer->engineCount(), 8u);
}

// The screen corpus is what it claims: every planted secret is one the rules find in its line as
// written, no plain line holds anything they find or a credential's marker, every kind and size
// from 10 to 24 px is planted, and secrets and plain lines lie inside their screen.
TEST(ScreenCorpus, PlantsSecretsTheRulesFindAndPlainLinesTheyDoNot) {
  const SensitivityEngine rules;
  const auto preferences = testing::corpusPreferences();
  std::set<model::SensitiveKind> kinds;
  std::set<int> sizes;
  int desktops = 0;
  for (int index = 0; index < 40; ++index) {
    const auto screen = testing::corpusScreen(index);
    desktops += screen.windows.size() == 2;
    const platform::Rect whole{{0, 0},
                               {double(screen.image->width()), double(screen.image->height())}};
    for (const auto& line : screen.lines) {
      SCOPED_TRACE(line.text + " on " + screen.label);
      const auto found = rules.detect(line.text, "corpus", preferences, std::nullopt, 1);
      if (line.secret) {
        kinds.insert(*line.secret);
        sizes.insert(line.pixelSize);
        EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                                [&](const auto& item) { return item.kind == *line.secret; }));
        EXPECT_TRUE(whole.contains(line.secretBox.origin));
        EXPECT_GT(line.secretBox.width(), 0);
      } else if (line.plain) {
        EXPECT_TRUE(found.empty()) << found.front().text;
        EXPECT_FALSE(StructuredTextHeuristics::holdsCredentialMarker(line.text));
        EXPECT_TRUE(whole.contains(line.textBox.origin));
      }
    }
  }
  EXPECT_EQ(desktops, 20);
  EXPECT_EQ(kinds.size(), 5u);
  EXPECT_EQ(sizes, (std::set<int>{10, 11, 12, 14, 16, 18, 20, 24}));
}

}  // namespace
}  // namespace corvane::verification
