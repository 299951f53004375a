#pragma once

#include <string>

namespace corvane::menubar {

// Everything the tray popover shows, read from the application controller at one moment. The
// popover's view model is a pure function of it.
struct MenuBarPopoverInput {
  bool isStartupInitializationComplete = false;
  bool isInitialSetupComplete = false;
  bool screenRecordingPermissionGranted = false;
  bool isDemoModeOn = false;
  bool isProtectedShareStopping = false;
  bool isProtectedShareWindowHiddenLocally = false;
  bool isScanning = false;
  // Derived session state of the controller.
  bool isProtectedShareHealthy = false;
  bool isProtectedSharePreparing = false;
  bool canHideProtectedShareWindowLocally = false;
  // The capture engine's state.
  bool isPublishingPaused = false;
  bool isSourceContextTransitioning = false;
  bool hasSourceContextRecoveryMessage = false;
  // The direct-share test holds the output (accepted, or sealed until the host stops sharing).
  bool isOutputRetained = false;

  std::string statusMessage;
  // Excluded applications the running filter leaves out; 0 without a session.
  int hiddenAppsCount = 0;
  // Enabled excluded applications that are installed now.
  int enabledProtectedAppsCount = 0;
  // Enabled excluded ids that name no installed application (nothing of theirs can be shared).
  int notInstalledAppsCount = 0;

  bool operator==(const MenuBarPopoverInput&) const = default;
};

}  // namespace corvane::menubar
