#include "capture/protected_capture_filter.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/protected_system_surface_capture_policy.h"

namespace corvane::capture {

CaptureExclusionPolicy exclusionPolicyWithSystemSurfaces(
    std::set<std::string> protectedBundleIDs,
    const std::set<std::string>& additionalExcludedBundleIDs, std::string ownBundleIdentifier,
    std::int32_t ownProcessIdentifier, bool hideDesktopIcons) {
  CaptureExclusionPolicy policy;
  policy.protectedBundleIDs = std::move(protectedBundleIDs);
  policy.alwaysExcludedBundleIDs =
      model::ProtectedSystemSurfaceCapturePolicy::alwaysExcludedBundleIDs();
  policy.alwaysExcludedBundleIDs.insert(additionalExcludedBundleIDs.begin(),
                                        additionalExcludedBundleIDs.end());
  policy.ownBundleIdentifier = std::move(ownBundleIdentifier);
  policy.ownProcessIdentifier = ownProcessIdentifier;
  policy.hideDesktopIcons = hideDesktopIcons;
  return policy;
}

bool CaptureFilterSnapshot::leavesOutTheSameAs(const CaptureFilterSnapshot& other) const {
  return filter.displayID == other.filter.displayID &&
         filter.excludeDesktopWindows == other.filter.excludeDesktopWindows &&
         filter.excludedWindowIDs == other.filter.excludedWindowIDs &&
         filter.exceptingWindowIDs == other.filter.exceptingWindowIDs &&
         excludedBundleIDs == other.excludedBundleIDs &&
         applicationIdentities == other.applicationIdentities &&
         protectedBundleIDs == other.protectedBundleIDs;
}

bool shouldExcludeCaptureApplication(const std::string& bundleIdentifier,
                                     const std::string& ownBundleIdentifier,
                                     const std::set<std::string>& protectedBundleIDs) {
  if (bundleIdentifier.empty()) return false;
  if (!ownBundleIdentifier.empty() && bundleIdentifier == ownBundleIdentifier) return true;
  return std::any_of(protectedBundleIDs.begin(), protectedBundleIDs.end(), [&](const auto& id) {
    return platform::namesApplicationOrHelper(bundleIdentifier, id);
  });
}

CaptureFilterSnapshot buildCaptureFilter(const platform::ShareableDisplay& display,
                                         const platform::ShareableContent& content,
                                         const CaptureExclusionPolicy& policy) {
  std::set<std::string> excludedIDs = policy.protectedBundleIDs;
  excludedIDs.insert(policy.alwaysExcludedBundleIDs.begin(), policy.alwaysExcludedBundleIDs.end());

  CaptureFilterSnapshot snapshot;
  snapshot.protectedBundleIDs = policy.protectedBundleIDs;
  snapshot.filter.displayID = display.displayID;
  snapshot.filter.excludeDesktopWindows = policy.hideDesktopIcons;
  for (const auto& app : content.applications) {
    const bool isOwnProcess =
        policy.ownProcessIdentifier > 0 && app.processID == policy.ownProcessIdentifier;
    if (!isOwnProcess && !shouldExcludeCaptureApplication(app.bundleIdentifier,
                                                          policy.ownBundleIdentifier, excludedIDs))
      continue;
    snapshot.filter.excludedApplications.push_back(app);
    if (!app.bundleIdentifier.empty()) snapshot.excludedBundleIDs.insert(app.bundleIdentifier);
    snapshot.applicationIdentities.insert({app.bundleIdentifier, app.processID});
  }

  // Ids not seen running are listed by id alone, and Corvane by its process.
  auto listByID = [&snapshot](const std::string& id, std::int32_t processID) {
    if (id.empty() && processID <= 0) return;
    for (const auto& listed : snapshot.filter.excludedApplications) {
      if (!id.empty() && listed.bundleIdentifier == id && processID <= 0) return;
      if (processID > 0 && listed.processID == processID) return;
    }
    snapshot.filter.excludedApplications.push_back({id, std::string(), processID});
  };
  for (const auto& id : excludedIDs) listByID(id, 0);
  listByID(policy.ownBundleIdentifier, 0);
  listByID(policy.ownBundleIdentifier, policy.ownProcessIdentifier);

  for (const auto& window : content.windows) {
    if (policy.hideDesktopIcons && window.isDesktopWindow)
      snapshot.filter.excludedWindowIDs.insert(window.windowID);
  }
  return snapshot;
}

std::optional<platform::ShareableDisplay> chooseCaptureDisplay(
    const platform::ShareableContent& content, std::optional<std::uint32_t> selectedDisplayID,
    std::optional<std::uint32_t> activeDisplayID, std::optional<std::uint32_t> mainDisplayID) {
  for (const auto& wanted : {selectedDisplayID, activeDisplayID, mainDisplayID}) {
    if (!wanted) continue;
    for (const auto& display : content.displays) {
      if (display.displayID == *wanted) return display;
    }
  }
  if (content.displays.empty()) return std::nullopt;
  return content.displays.front();
}

bool isSameDisplayGeometry(const platform::ShareableDisplay& a,
                           const platform::ShareableDisplay& b) {
  return a.displayID == b.displayID && a.frame == b.frame && a.pixelWidth == b.pixelWidth &&
         a.pixelHeight == b.pixelHeight;
}

std::pair<int, int> outputDimensions(int sourceWidth, int sourceHeight, int maximumLongEdge) {
  if (sourceWidth < 1 || sourceHeight < 1) return {1, 1};
  const double longEdge = std::max(sourceWidth, sourceHeight);
  const double scale = std::min(static_cast<double>(maximumLongEdge) / longEdge, 1.0);
  const int width = std::max(1, static_cast<int>(std::lround(sourceWidth * scale)));
  const int height = std::max(1, static_cast<int>(std::lround(sourceHeight * scale)));
  return {width, height};
}

platform::StreamConfiguration streamConfiguration(const platform::ShareableDisplay& display) {
  int sourceWidth = display.pixelWidth;
  int sourceHeight = display.pixelHeight;
  if (sourceWidth < 1 || sourceHeight < 1) {
    sourceWidth = static_cast<int>(std::lround(display.frame.width()));
    sourceHeight = static_cast<int>(std::lround(display.frame.height()));
  }
  const auto [width, height] = outputDimensions(sourceWidth, sourceHeight, kMaximumOutputLongEdge);
  platform::StreamConfiguration configuration;
  configuration.width = width;
  configuration.height = height;
  configuration.minimumFrameInterval = 1.0 / 60.0;
  configuration.showsCursor = false;
  return configuration;
}

}  // namespace corvane::capture
