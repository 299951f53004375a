#include "app/menu_bar_popover_state.h"

#include <algorithm>

#include "app/corvane_controller.h"

namespace corvane::app {

menubar::MenuBarPopoverInput menuBarPopoverInput(const CorvaneController& controller) {
  menubar::MenuBarPopoverInput input;
  input.isStartupInitializationComplete = controller.isStartupInitializationComplete();
  input.isInitialSetupComplete = controller.isInitialSetupComplete();
  input.screenRecordingPermissionGranted = controller.screenRecordingPermissionGranted();
  input.isDemoModeOn = controller.isDemoModeOn();
  input.isProtectedShareStopping = controller.isProtectedShareStopping();
  input.isProtectedShareWindowHiddenLocally = controller.isProtectedShareWindowHiddenLocally();
  input.isScanning = controller.isScanning();
  input.isProtectedShareHealthy = controller.isProtectedShareHealthy();
  input.isProtectedSharePreparing = controller.isProtectedSharePreparing();
  input.canHideProtectedShareWindowLocally = controller.canHideProtectedShareWindowLocally();
  const auto& engine = *controller.protectedShareEngine();
  input.isPublishingPaused = *engine.isPublishingPaused;
  input.isSourceContextTransitioning = *engine.isSourceContextTransitioning;
  input.hasSourceContextRecoveryMessage = engine.sourceContextRecoveryMessage->has_value();
  input.isOutputRetained = controller.directShareTestState().retainsOutput();
  input.statusMessage = controller.statusMessage();
  input.hiddenAppsCount = controller.hiddenAppsCount();
  input.enabledProtectedAppsCount = controller.enabledInstalledProtectedAppCount();
  input.notInstalledAppsCount = controller.enabledMissingProtectedAppCount();
  return input;
}

}  // namespace corvane::app
