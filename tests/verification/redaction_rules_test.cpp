#include <gtest/gtest.h>

#include <algorithm>

#include "verification/normalized_geometry.h"
#include "verification/protected_clean_change_gate.h"
#include "verification/protected_frame_analyzer.h"
#include "verification/protected_frame_change_summary.h"
#include "verification/redaction_coalescing.h"

namespace corvane::verification {
namespace {

using model::ProtectedRedaction;
using model::ProtectedRedactionScope;
using model::RiskLevel;

ProtectedRedaction box(platform::Rect frame, std::string title = "Key",
                       ProtectedRedactionScope scope = ProtectedRedactionScope::sensitiveText,
                       RiskLevel risk = RiskLevel::suggested) {
  ProtectedRedaction redaction;
  redaction.normalizedFrame = frame;
  redaction.title = std::move(title);
  redaction.scope = scope;
  redaction.risk = risk;
  redaction.confidence = 0.5;
  return redaction;
}

// The engine's merge rule and the analyzer's, each over one list of boxes.
using Merge = std::vector<ProtectedRedaction> (*)(const std::vector<ProtectedRedaction>&);
const Merge kBothMergeRules[] = {&coalesced, &ProtectedFrameAnalyzer::coalesced};

void expectRect(const platform::Rect& actual, const platform::Rect& expected) {
  EXPECT_NEAR(actual.minX(), expected.minX(), 1e-12);
  EXPECT_NEAR(actual.minY(), expected.minY(), 1e-12);
  EXPECT_NEAR(actual.width(), expected.width(), 1e-12);
  EXPECT_NEAR(actual.height(), expected.height(), 1e-12);
}

TEST(RedactionCoalescingTest, MergesFromFortyFivePercentOfTheSmallerBox) {
  EXPECT_TRUE(coalesced({}).empty());
  const auto a = box({{0.1, 0.1}, {0.1, 0.1}});
  EXPECT_EQ(coalesced({a, box({{0.16, 0.1}, {0.1, 0.1}})}).size(), 2u) << "40 % overlap";

  auto b = box({{0.155, 0.1}, {0.1, 0.1}}, "Mail", ProtectedRedactionScope::sensitiveText,
               RiskLevel::critical);
  b.confidence = 0.9;
  const auto merged = coalesced({a, b});
  ASSERT_EQ(merged.size(), 1u) << "45 % overlap";
  EXPECT_NE(merged[0].id, a.id);
  EXPECT_NE(merged[0].id, b.id);
  expectRect(merged[0].normalizedFrame, {{0.1, 0.1}, {0.155, 0.1}});
  EXPECT_EQ(merged[0].risk, RiskLevel::critical);
  EXPECT_EQ(merged[0].title, "Key") << "critical merges keep the earlier title";
  EXPECT_EQ(merged[0].confidence, 0.9);

  const auto unverified =
      coalesced({a, box({{0.1, 0.1}, {0.1, 0.1}}, "x", ProtectedRedactionScope::unverifiedChange)});
  ASSERT_EQ(unverified.size(), 1u);
  EXPECT_EQ(unverified[0].scope, ProtectedRedactionScope::unverifiedChange);
  EXPECT_EQ(unverified[0].title, "Unverified change");
}

// Both merge rules, the engine's and the analyzer's, clip a merged box to the frame.
TEST(RedactionCoalescingTest, MergedBoxesAreClippedToTheFrameNeverShiftedOrTurnedInsideOut) {
  for (Merge merge : kBothMergeRules) {
    const auto right = merge({box({{0.9, 0.2}, {0.3, 0.1}}), box({{0.95, 0.2}, {0.3, 0.1}})});
    ASSERT_EQ(right.size(), 1u);
    expectRect(right[0].normalizedFrame, {{0.9, 0.2}, {0.1, 0.1}});

    const auto left = merge({box({{-0.2, 0.5}, {0.3, 0.2}}), box({{-0.1, 0.5}, {0.3, 0.2}})});
    ASSERT_EQ(left.size(), 1u);
    expectRect(left[0].normalizedFrame, {{0, 0.5}, {0.2, 0.2}});

    const auto outside = merge({box({{1.2, 0.2}, {0.1, 0.1}}), box({{1.21, 0.2}, {0.1, 0.1}}),
                                box({{0.1, 1.3}, {0.2, 0.1}}), box({{0.1, 1.31}, {0.2, 0.1}})});
    EXPECT_TRUE(outside.empty()) << "merged boxes wholly outside the frame cover nothing";
  }
}

// A column covered as unverified beside message masks that touch it, and a square over the end
// of a line: merged into bounding boxes they would hide the plain lines beside them.
TEST(RedactionCoalescingTest, BoxesMergeOnlyWhereTheirBoundingBoxHidesNothingBeside) {
  const auto unverified = ProtectedRedactionScope::unverifiedChange;
  std::vector<ProtectedRedaction> masks{box({{0.02, 0.1}, {0.05, 0.7}}, "Column", unverified)};
  std::vector<platform::Point> plain;
  for (int row = 0; row < 7; ++row) {
    masks.push_back(box({{0.065, 0.1 + row * 0.1}, {0.5, 0.04}}, "Message", unverified));
    plain.push_back({0.3, 0.17 + row * 0.1});
  }
  masks.push_back(box({{0.1, 0.9}, {0.5, 0.03}}));
  masks.push_back(box({{0.55, 0.9}, {0.04, 0.05}}));
  for (Merge merge : kBothMergeRules) {
    const auto merged = merge(masks);
    for (const auto& redaction : merged) {
      for (const platform::Point& point : plain)
        EXPECT_FALSE(redaction.normalizedFrame.contains(point)) << redaction.title;
      EXPECT_FALSE(redaction.normalizedFrame.contains({0.2, 0.94})) << "below the line";
    }
    for (const auto& mask : masks) {
      EXPECT_TRUE(std::any_of(merged.begin(), merged.end(), [&](const auto& redaction) {
        return containsRect(redaction.normalizedFrame, mask.normalizedFrame);
      })) << "every mask still covered";
    }
    // In line with each other, or one within the other, boxes still merge.
    EXPECT_EQ(merge({box({{0.1, 0.1}, {0.2, 0.04}}), box({{0.2, 0.1}, {0.2, 0.04}}),
                     box({{0.15, 0.11}, {0.1, 0.02}})})
                  .size(),
              1u);
  }
}

// Masks over the start of five lines, each overlapping the one above by half, below a mask over
// a whole line: merged one after another, each merge alone hides little, but the merged box would
// hide the plain text beside the short masks. And two masks meeting at the edge between two
// windows stay in their windows.
TEST(RedactionCoalescingTest, MasksMergeWithinOneWindowJudgedByEverythingAMergedMaskHolds) {
  const auto unverified = ProtectedRedactionScope::unverifiedChange;
  std::vector<ProtectedRedaction> masks{box({{0.1, 0.1}, {0.4, 0.06}}, "Line", unverified)};
  std::vector<platform::Point> plain;
  for (int row = 1; row <= 5; ++row) {
    masks.push_back(box({{0.1, 0.1 + row * 0.03}, {0.15, 0.06}}, "Start", unverified));
    // Beside the second and later: the first merge alone may hide a sliver beside its mask.
    if (row >= 2) plain.push_back({0.4, 0.1 + row * 0.03 + 0.045});
  }
  for (Merge merge : kBothMergeRules) {
    const auto merged = merge(masks);
    for (const auto& redaction : merged) {
      for (const platform::Point& point : plain)
        EXPECT_FALSE(redaction.normalizedFrame.contains(point)) << point.y;
    }
    for (const auto& mask : masks) {
      EXPECT_TRUE(std::any_of(merged.begin(), merged.end(), [&](const auto& redaction) {
        return containsRect(redaction.normalizedFrame, mask.normalizedFrame);
      })) << "every mask still covered";
    }
  }

  const MaskAreas windows{{{{0, 0}, {0.5, 1}}}, {{{0.5, 0}, {0.5, 1}}}};
  const std::vector<ProtectedRedaction> atTheEdge{box({{0.43, 0.5}, {0.12, 0.04}}),
                                                  box({{0.47, 0.5}, {0.16, 0.04}})};
  for (const auto& merged :
       {coalesced(atTheEdge, windows), ProtectedFrameAnalyzer::coalesced(atTheEdge, windows)}) {
    EXPECT_EQ(merged.size(), 2u);
  }
  // Within one window they merge.
  EXPECT_EQ(coalesced(atTheEdge, {{{{0, 0}, {1, 1}}}}).size(), 1u);
}

TEST(ProtectedCleanChangeGateTest, CountsConfirmationsPerSignatureAndKeepsSixteen) {
  ProtectedCleanChangeGate gate;
  EXPECT_TRUE(gate.recordCleanResult(42)) << "one confirmation is enough by default";
  gate.requiredConfirmations = 2;
  EXPECT_FALSE(gate.recordCleanResult(7));
  EXPECT_TRUE(gate.recordCleanResult(7));
  EXPECT_TRUE(gate.recordCleanResult(42));
  EXPECT_FALSE(gate.recordCleanResult(0));
  EXPECT_FALSE(gate.signature);
  EXPECT_TRUE(gate.confirmationCounts.empty());

  for (std::uint64_t s = 1; s <= 16; ++s) {
    gate.recordCleanResult(s);
    if (s != 5) gate.recordCleanResult(s);
  }
  gate.recordCleanResult(17);
  EXPECT_EQ(gate.confirmationCounts.size(), 16u);
  EXPECT_FALSE(gate.confirmationCounts.contains(5)) << "the least confirmed goes";
  EXPECT_TRUE(gate.confirmationCounts.contains(17));
}

}  // namespace
}  // namespace corvane::verification
