#include <gtest/gtest.h>

#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {
namespace {

using Engine = LegacySourceProtectionEngine;
using model::DetectedItem;
using model::ProtectedRedaction;
using model::ProtectedRedactionScope;
using model::SensitiveKind;
using platform::Rect;

ProtectedRedaction box(Rect frame,
                       ProtectedRedactionScope scope = ProtectedRedactionScope::sensitiveText,
                       SensitiveKind kind = SensitiveKind::email) {
  ProtectedRedaction redaction;
  redaction.normalizedFrame = frame;
  redaction.scope = scope;
  redaction.kind = kind;
  return redaction;
}

TEST(VerificationEngineRedactionOperationsTest,
     AMaskIsCoveredOnlyInsideAProtectionGrownByTwoThousandths) {
  const auto protection = box({{0.2, 0.2}, {0.2, 0.1}});
  const auto within = box({{0.199, 0.2}, {0.2, 0.1}});   // 0.001 out on the left
  const auto outside = box({{0.2, 0.2}, {0.203, 0.1}});  // 0.003 out on the right
  const auto elsewhere = box({{0.7, 0.7}, {0.01, 0.01}});
  const auto uncovered =
      Engine::uncoveredSourceRedactions({within, outside, elsewhere}, {protection});
  EXPECT_EQ(uncovered, (std::vector<ProtectedRedaction>{outside, elsewhere}));
  EXPECT_EQ(Engine::uncoveredSourceRedactions({within}, {}).size(), 1u);
}

TEST(VerificationEngineRedactionOperationsTest, ItemsOfOneKindTextAndTruncatedOriginAreKeptOnce) {
  auto item = [](SensitiveKind kind, std::string text, std::optional<Rect> frame) {
    DetectedItem result;
    result.kind = kind;
    result.text = std::move(text);
    result.screenFrame = frame;
    return result;
  };
  const auto first = item(SensitiveKind::email, "a@b.c", Rect{{0.1234, 0.5}, {0.1, 0.1}});
  const auto sameKey = item(SensitiveKind::email, "a@b.c", Rect{{0.1239, 0.5005}, {0.3, 0.1}});
  const auto movedDown = item(SensitiveKind::email, "a@b.c", Rect{{0.1234, 0.502}, {0.1, 0.1}});
  const auto otherKind = item(SensitiveKind::customer, "a@b.c", Rect{{0.1234, 0.5}, {0.1, 0.1}});
  const auto noFrame = item(SensitiveKind::email, "a@b.c", std::nullopt);
  const auto atOrigin = item(SensitiveKind::email, "a@b.c", Rect{{0.0004, 0}, {0.1, 0.1}});
  const auto kept =
      Engine::deduplicatedDetectedItems({first, sameKey, movedDown, otherKind, noFrame, atOrigin});
  EXPECT_EQ(kept, (std::vector<DetectedItem>{first, movedDown, otherKind, noFrame}));
}

TEST(VerificationEngineRedactionOperationsTest, ReviewLinesCountEachLabelInLabelOrder) {
  const Rect r{{0.1, 0.1}, {0.1, 0.1}};
  const auto lines = Engine::baselineReviewItems(
      {box(r), box(r, ProtectedRedactionScope::unverifiedChange), box(r),
       box(r, ProtectedRedactionScope::sourceOverlay, SensitiveKind::apiKey)});
  EXPECT_EQ(lines, (std::vector<std::string>{"API key source mask: 1", "Email hidden: 2",
                                             "Unverified region sealed: 1"}));
  EXPECT_TRUE(Engine::baselineReviewItems({}).empty());
}

TEST(VerificationEngineRedactionOperationsTest, OnlyUntouchedTextCoversAreCarriedForward) {
  const Rect changed{{0.5, 0.5}, {0.2, 0.2}};
  const auto touching = box({{0.45, 0.45}, {0.1, 0.1}});
  const auto untouched = box({{0.1, 0.1}, {0.1, 0.1}});
  const auto mask = box({{0.1, 0.3}, {0.1, 0.1}}, ProtectedRedactionScope::sourceOverlay);
  EXPECT_EQ(Engine::carriedForwardRedactions({touching, untouched, mask}, {changed}),
            std::vector<ProtectedRedaction>{untouched});
  EXPECT_EQ(Engine::carriedForwardRedactions({untouched, mask}, {}),
            std::vector<ProtectedRedaction>{untouched});
}

}  // namespace
}  // namespace corvane::verification
