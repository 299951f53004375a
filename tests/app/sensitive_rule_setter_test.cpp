#include <gtest/gtest.h>

#include "app/controller_harness.h"

namespace corvane::app::testing {
namespace {

using model::PreferencesStore;
using model::SensitiveKind;
using model::SensitiveRule;

std::optional<std::vector<SensitiveRule>> storedRules(platform::DefaultsSuite& suite) {
  return PreferencesStore::load<std::vector<SensitiveRule>>(suite,
                                                            PreferencesStore::sensitiveRulesKey);
}

TEST(SensitiveRuleSetterTest, SwitchingOneRuleSavesTheWholeListAndSurvivesARelaunch) {
  ControllerHarness h;
  auto& controller = h.make();
  h.loop.runUntilIdle();
  int announcements = 0;
  auto subscription = controller.observeChanges([&] { ++announcements; });

  // Already on: nothing to save.
  controller.setSensitiveRule(SensitiveKind::email, true);
  h.loop.runUntilIdle();
  EXPECT_FALSE(storedRules(*h.settings()));
  EXPECT_EQ(announcements, 0);

  controller.setSensitiveRule(SensitiveKind::email, false);
  h.loop.runUntilIdle();
  auto expected = SensitiveRule::defaults();
  expected[1].isEnabled = false;
  EXPECT_EQ(controller.sensitiveRules(), expected);
  EXPECT_EQ(storedRules(*h.settings()), expected);
  EXPECT_EQ(announcements, 1);

  // A list without the kind is left alone.
  std::vector<SensitiveRule> shortList{{SensitiveKind::apiKey, true}};
  controller.setSensitiveRules(shortList);
  controller.setSensitiveRule(SensitiveKind::revenue, false);
  EXPECT_EQ(controller.sensitiveRules(), shortList);
  EXPECT_EQ(storedRules(*h.settings()), shortList);

  controller.setSensitiveRules(expected);
  controller.setSensitiveRule(SensitiveKind::internalURL, false);
  expected[5].isEnabled = false;
  subscription = {};
  h.controller.reset();
  EXPECT_EQ(h.make().sensitiveRules(), expected);
}

}  // namespace
}  // namespace corvane::app::testing
