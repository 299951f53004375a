#include <gtest/gtest.h>

#include "app/controller_harness.h"
#include "app/menu_bar_popover_state.h"

namespace corvane::app {
namespace {

using testing::ControllerHarness;

TEST(MenuBarPopoverStateTest, ReadsTheControllerAndItsEngine) {
  ControllerHarness h;
  auto& controller = h.make();
  auto input = menuBarPopoverInput(controller);
  EXPECT_FALSE(input.isStartupInitializationComplete);
  EXPECT_FALSE(input.isDemoModeOn);
  EXPECT_EQ(input.statusMessage, "Ready to protect your next demo");
  // No session: the "Excluded Apps" token needs the enabled applications, not the session's 0.
  const auto enabled =
      std::count_if(model::ProtectedApp::defaults().begin(), model::ProtectedApp::defaults().end(),
                    [](const auto& app) { return app.isEnabled; });
  EXPECT_EQ(input.hiddenAppsCount, 0);
  EXPECT_EQ(input.enabledProtectedAppsCount, enabled);
  controller.setProtectedApps({{"org.example.Vault", "Vault", "lock.fill", true},
                               {"org.example.Notes", "Notes", "", false},
                               {"org.example.Mail", "Mail", "", true}});
  EXPECT_EQ(menuBarPopoverInput(controller).enabledProtectedAppsCount, 2);

  controller.completeStartupInitialization();
  h.loop.runUntilIdle();
  auto& engine = *controller.protectedShareEngine();
  engine.isPublishingPaused.set(true);
  engine.sourceContextRecoveryMessage.set(std::string("Retry"));
  input = menuBarPopoverInput(controller);
  EXPECT_TRUE(input.isStartupInitializationComplete);
  EXPECT_TRUE(input.isPublishingPaused);
  EXPECT_FALSE(input.isSourceContextTransitioning);
  EXPECT_TRUE(input.hasSourceContextRecoveryMessage);
}

}  // namespace
}  // namespace corvane::app
