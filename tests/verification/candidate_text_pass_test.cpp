#include <gtest/gtest.h>

#include <memory>

#include "frame_images.h"
#include "platform/sim/scripted_text_recognizer.h"
#include "verification/candidate_text_pass.h"

namespace corvane::verification {
namespace {

using platform::Rect;

// An analyzer on a scripted recognizer whose every analysis takes 250 ms of its clock.
struct ScriptedAnalyzer {
  ScriptedAnalyzer() {
    auto ticks = std::make_shared<int>(0);
    analyzer = std::make_unique<ProtectedFrameAnalyzer>(
        SensitivityEngine(), ProtectedFrameAnalyzer::Services{
                                 recognizer,
                                 [ticks] { return 0.25 * (*ticks)++; },
                                 std::make_shared<ProtectedFrameAnalyzerDiagnosticThrottle>(),
                                 {}});
  }
  std::shared_ptr<platform::sim::ScriptedTextRecognizer> recognizer =
      std::make_shared<platform::sim::ScriptedTextRecognizer>();
  std::unique_ptr<ProtectedFrameAnalyzer> analyzer;
};

CandidateTextPass regionPass(const std::vector<Rect>& regions) {
  auto candidate = std::make_shared<ProtectedAnalysisCandidate>();
  candidate->sourceImage = testing::solidFrame(320, 180);
  candidate->analysisImage = candidate->sourceImage;
  candidate->changedRects = regions;
  for (const Rect& region : regions)
    candidate->nativeRegionImages.push_back({testing::solidFrame(96, 18), region, {}});
  CandidateTextPass pass;
  pass.candidate = candidate;
  pass.isRegionPass = true;
  pass.preferences.enabledKinds = {model::SensitiveKind::email};
  pass.maskAllRecognizedText = false;
  return pass;
}

TEST(CandidateTextPassTest, CropFindingsAreMappedIntoTheFrameAndTheirDurationsAdded) {
  ScriptedAnalyzer scripted;
  // One address across each whole crop (recognition space: origin bottom left).
  scripted.recognizer->addLine("alice@example.com", 0.9f, Rect{{0.0, 0.25}, {1.0, 0.5}});
  const std::vector<Rect> regions{{{0.0, 0.0}, {0.3, 0.1}}, {{0.75, 0.92}, {0.25, 0.08}}};
  const auto result = readCandidateText(*scripted.analyzer, regionPass(regions));
  ASSERT_TRUE(result.analysisSucceeded);
  EXPECT_EQ(result.durationMS, 500);
  ASSERT_EQ(result.detectedItems.size(), 2u);
  ASSERT_EQ(result.redactions.size(), 2u);
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const Rect& found = *result.detectedItems[i].screenFrame;
    EXPECT_NEAR(found.minX(), regions[i].minX(), 1e-9);
    EXPECT_NEAR(found.width(), regions[i].width(), 1e-9);
    EXPECT_NEAR(found.minY(), regions[i].minY() + 0.25 * regions[i].height(), 1e-9);
    EXPECT_NEAR(found.height(), 0.5 * regions[i].height(), 1e-9);
  }
  for (const auto& redaction : result.redactions) {
    EXPECT_GE(redaction.normalizedFrame.minX(), 0);
    EXPECT_GE(redaction.normalizedFrame.minY(), 0);
    EXPECT_LE(redaction.normalizedFrame.maxX(), 1);
    EXPECT_LE(redaction.normalizedFrame.maxY(), 1);
  }
}

}  // namespace
}  // namespace corvane::verification
