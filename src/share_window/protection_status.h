#pragma once

namespace corvane::share_window {

// The engine's state as the controller hands it to the window.
struct ProtectionStatusFlags {
  bool isFailed = false;
  bool isHoldingSafeFrame = false;
  bool isPublishingPaused = false;
  bool isSourceContextTransitioning = false;
  bool isCheckingChanges = false;
  bool hasRecoveryMessage = false;

  bool operator==(const ProtectionStatusFlags&) const = default;
};

// What the window's status line says. The first matching condition wins, in this order: no
// session (off), failed, waiting for the first frame, desktop recovery needed, switching desktop,
// paused, applying a filter change, holding (only once it has lasted the holding delay), resized
// under the recorders, live.
enum class ProtectedShareWindowStatus {
  off,
  waitingForFirstFrame,
  live,
  paused,
  holding,
  checkingChanges,
  switchingDesktop,
  recoveryNeeded,
  // The screen changed size and the window with it: a recorder reading the window by id stops
  // (or reads the wrong area) and must be started again.
  recordingMustRestart,
  failed,
};

// The holding state shows only once it has lasted this long, so a short hold does not flicker.
inline constexpr double kHoldingStatusDelaySeconds = 0.25;

ProtectedShareWindowStatus windowStatus(bool isSessionWindow, bool hasPublishedLiveFrame,
                                        const ProtectionStatusFlags& flags, bool holdingShown,
                                        bool resizedUnderRecorders);

}  // namespace corvane::share_window
