#include <gtest/gtest.h>

#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {
namespace {

using Engine = LegacySourceProtectionEngine;
using model::ProtectedRedaction;
using Scope = model::ProtectedRedactionScope;
using model::SensitiveKind;
using platform::Rect;

ProtectedRedaction box(Rect frame, Scope scope = Scope::sensitiveText,
                       SensitiveKind kind = SensitiveKind::email) {
  return {.kind = kind, .normalizedFrame = frame, .scope = scope};
}

TEST(VerificationEngineRedactionOperationsTest, MasksAreCoveredOnlyInsideAProtectionGrownBy0002) {
  const auto protection = box({{0.2, 0.2}, {0.2, 0.1}});
  const auto within = box({{0.199, 0.2}, {0.2, 0.1}});   // 0.001 out on the left
  const auto outside = box({{0.2, 0.2}, {0.203, 0.1}});  // 0.003 out on the right
  EXPECT_EQ(Engine::uncoveredSourceRedactions({within, outside}, {protection}),
            std::vector<ProtectedRedaction>{outside});
  EXPECT_EQ(Engine::uncoveredSourceRedactions({within}, {}).size(), 1u);
}

TEST(VerificationEngineRedactionOperationsTest, ItemsOfOneKindTextAndTruncatedOriginAreKeptOnce) {
  auto item = [](SensitiveKind kind, std::optional<Rect> frame) {
    return model::DetectedItem{.text = "a@b.c", .kind = kind, .screenFrame = frame};
  };
  const auto first = item(SensitiveKind::email, Rect{{0.1234, 0.5}, {0.1, 0.1}});
  const auto sameKey = item(SensitiveKind::email, Rect{{0.1239, 0.5005}, {0.3, 0.1}});
  const auto lower = item(SensitiveKind::email, Rect{{0.1234, 0.502}, {0.1, 0.1}});
  const auto otherKind = item(SensitiveKind::customer, Rect{{0.1234, 0.5}, {0.1, 0.1}});
  const auto noFrame = item(SensitiveKind::email, std::nullopt);
  const auto nearOrigin = item(SensitiveKind::email, Rect{{0.0004, 0}, {0.1, 0.1}});
  EXPECT_EQ(
      Engine::deduplicatedDetectedItems({first, sameKey, lower, otherKind, noFrame, nearOrigin}),
      (std::vector<model::DetectedItem>{first, lower, otherKind, noFrame}));
}

TEST(VerificationEngineRedactionOperationsTest, ReviewLinesCountEachLabelInLabelOrder) {
  const Rect r{{0.1, 0.1}, {0.1, 0.1}};
  EXPECT_EQ(Engine::baselineReviewItems({box(r), box(r, Scope::unverifiedChange), box(r),
                                         box(r, Scope::sourceOverlay, SensitiveKind::apiKey)}),
            (std::vector<std::string>{"API key source mask: 1", "Email hidden: 2",
                                      "Unverified region sealed: 1"}));
}

TEST(VerificationEngineRedactionOperationsTest, OnlyUntouchedTextCoversAreCarriedForward) {
  const auto touching = box({{0.45, 0.45}, {0.1, 0.1}});
  const auto untouched = box({{0.1, 0.1}, {0.1, 0.1}});
  const auto mask = box({{0.1, 0.3}, {0.1, 0.1}}, Scope::sourceOverlay);
  EXPECT_EQ(
      Engine::carriedForwardRedactions({touching, untouched, mask}, {{{0.5, 0.5}, {0.2, 0.2}}}),
      std::vector<ProtectedRedaction>{untouched});
}

}  // namespace
}  // namespace corvane::verification
