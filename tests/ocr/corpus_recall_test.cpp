#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "platform/linux/ocr/tesseract_text_recognizer.h"
#include "support/text_corpus.h"
#include "verification/protected_frame_analyzer.h"

namespace corvane::verification {
namespace {

using model::SensitiveKind;

struct CorpusScore {
  int secrets = 0;
  int found = 0;
  int benign = 0;
  int falseMasks = 0;
  std::vector<std::string> missed;
};

// A secret line counts as found when an item of its kind lies on it; a benign line is falsely
// masked when any item lies on it.
CorpusScore score(const testing::RenderedCorpus& corpus,
                  const model::ProtectedFrameAnalysisResult& result) {
  CorpusScore score;
  for (std::size_t i = 0; i < corpus.lines.size(); ++i) {
    const platform::Rect& band = corpus.bands[i];
    bool masked = false;
    bool found = false;
    for (const model::DetectedItem& item : result.detectedItems) {
      const double y = item.screenFrame->minY() + item.screenFrame->height() / 2;
      if (y < band.minY() || y >= band.maxY()) continue;
      masked = true;
      found = found || item.kind == corpus.lines[i].secret;
    }
    if (corpus.lines[i].secret) {
      ++score.secrets;
      if (found)
        ++score.found;
      else
        score.missed.push_back(corpus.lines[i].text);
    } else {
      ++score.benign;
      if (masked) ++score.falseMasks;
    }
  }
  return score;
}

// Every planted secret at every size, light and dark, with real Tesseract in accurate mode; the
// eight renderings run on four workers of our own.
TEST(CorpusRecall, AccurateFindsPlantedSecretsWithoutMaskingBenignLines) {
  auto recognizer = std::make_shared<platform::ocr::TesseractTextRecognizer>(
      platform::ocr::TesseractTextRecognizer::Options{});
  const auto start = std::chrono::steady_clock::now();
  ProtectedFrameAnalyzer::Services services{
      recognizer,
      [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      },
      std::make_shared<ProtectedFrameAnalyzerDiagnosticThrottle>(),
      {}};
  const ProtectedFrameAnalyzer analyzer(SensitivityEngine(), services);
  const SensitivityPreferences preferences{
      {SensitiveKind::apiKey, SensitiveKind::email, SensitiveKind::phoneNumber,
       SensitiveKind::customer, SensitiveKind::revenue, SensitiveKind::internalURL},
      testing::kCorpusAlwaysHideWords,
      {}};

  struct Case {
    double size;
    bool dark;
    CorpusScore score;
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
        if (result.analysisSucceeded) cases[i].score = score(corpus, result);
      }
    });
  }
  for (auto& worker : workers) worker.join();

  std::map<double, CorpusScore> bySize;
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
  EXPECT_LE(recognizer->engineCount(), 8u);
}

}  // namespace
}  // namespace corvane::verification
