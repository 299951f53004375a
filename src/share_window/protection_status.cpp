#include "share_window/protection_status.h"

namespace corvane::share_window {

ProtectedShareWindowStatus windowStatus(bool isSessionWindow, bool hasPublishedLiveFrame,
                                        const ProtectionStatusFlags& flags, bool holdingShown,
                                        bool resizedUnderRecorders) {
  using S = ProtectedShareWindowStatus;
  if (!isSessionWindow) return S::off;
  if (flags.isFailed) return S::failed;
  if (!hasPublishedLiveFrame) return S::waitingForFirstFrame;
  if (flags.hasRecoveryMessage) return S::recoveryNeeded;
  if (flags.isSourceContextTransitioning) return S::switchingDesktop;
  if (flags.isPublishingPaused) return S::paused;
  if (flags.isCheckingChanges) return S::checkingChanges;
  if (flags.isHoldingSafeFrame && holdingShown) return S::holding;
  if (resizedUnderRecorders) return S::recordingMustRestart;
  return S::live;
}

}  // namespace corvane::share_window
