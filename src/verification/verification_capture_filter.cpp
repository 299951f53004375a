#include "verification/verification_capture_filter.h"

#include <algorithm>

namespace corvane::verification {

std::set<std::uint32_t> keptOverlayWindows(const platform::ShareableDisplay& display,
                                           const platform::ShareableContent& content,
                                           const std::set<std::uint32_t>& overlayWindowIDs,
                                           const std::string& ownBundleIdentifier) {
  std::set<std::uint32_t> kept;
  for (const auto& window : content.windows) {
    if (!overlayWindowIDs.contains(window.windowID) || !window.isOnScreen) continue;
    const std::string owner =
        window.owningApplication ? window.owningApplication->bundleIdentifier : std::string();
    if (owner != ownBundleIdentifier) continue;
    if (!window.frame.intersects(display.frame)) continue;
    kept.insert(window.windowID);
  }
  return kept;
}

capture::CaptureFilterSnapshot verificationFilterSnapshot(
    const platform::ShareableDisplay& display, const platform::ShareableContent& content,
    const capture::CaptureExclusionPolicy& policy,
    const std::set<std::uint32_t>& overlayWindowIDs) {
  auto snapshot = capture::buildCaptureFilter(display, content, policy);
  snapshot.filter.exceptingWindowIDs =
      keptOverlayWindows(display, content, overlayWindowIDs, policy.ownBundleIdentifier);
  return snapshot;
}

double analysisIntervalForInput(double secondsSinceInput, double minimumInterval) {
  double interval = 0.15;
  if (secondsSinceInput <= 0.45) {
    interval = 0.025;
  } else if (secondsSinceInput <= 1.75) {
    interval = 0.05;
  }
  return std::max(interval, minimumInterval);
}

std::optional<platform::Point> normalizedPointer(std::optional<platform::Point> location,
                                                 const platform::Rect& displayFrame) {
  if (!location || displayFrame.isEmpty() || !displayFrame.contains(*location)) return std::nullopt;
  const double x = (location->x - displayFrame.minX()) / displayFrame.width();
  const double y = (location->y - displayFrame.minY()) / displayFrame.height();
  return platform::Point{std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0)};
}

}  // namespace corvane::verification
