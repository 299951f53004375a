#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <thread>

#include "support/tesseract_analyzer.h"

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

}  // namespace
}  // namespace corvane::verification
