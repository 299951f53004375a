#include <gtest/gtest.h>

#include "app/source_protection_engine.h"
#include "app/system_settings_links.h"
#include "platform/sim/sim_desktop_settings.h"
#include "platform/sim/sim_window_system.h"
#include "runtime/virtual_run_loop.h"
#include "verification/source_redaction_overlay_manager.h"

namespace corvane::app {
namespace {

TEST(SmallRecordsTest, OverlayHideIsSafeWithNothingShownAndAlwaysRaisesTheRevision) {
  verification::SourceRedactionOverlayManager overlay;
  overlay.hide();
  EXPECT_EQ(overlay.revision(), 1u);
  EXPECT_FALSE(overlay.panel());
  EXPECT_TRUE(overlay.redactions().empty());
  EXPECT_FALSE(overlay.protectedApplicationPID());
  EXPECT_TRUE(overlay.missedScanCounts().empty());
  overlay.hide();
  EXPECT_EQ(overlay.revision(), 2u);
}

TEST(SmallRecordsTest, SettingsLinksReportWhetherAPaneOpened) {
  platform::sim::SimSettingsOpener opener;
  // No screen-capture pane on X11: the caller explains the permission's denial instead.
  EXPECT_FALSE(ScreenCapturePermissionManager::openSettings(opener));
  EXPECT_EQ(opener.screenCaptureSettingsRequests(), 1);
  EXPECT_TRUE(NotificationGuard{}.openFocusSettings(opener));
  opener.setOpensNotificationSettings(false);
  EXPECT_FALSE(NotificationGuard{}.openFocusSettings(opener));
  EXPECT_EQ(opener.notificationSettingsOpened(), 1);
}

TEST(SmallRecordsTest, SourceProtectionEngineStartsWithTheBuiltInPatternsAndMaskingOff) {
  const SourceProtectionEngine engine;
  EXPECT_FALSE(engine.isMaskingEnabled);
  EXPECT_EQ(engine.sensitivityEngine.patterns().size(), 5u);
}

}  // namespace
}  // namespace corvane::app
