#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/screen_capture.h"

namespace corvane::capture {

// An application left out of the capture, as the filter knows it.
struct CaptureApplicationIdentity {
  std::string bundleID;
  std::int32_t processID = 0;
  auto operator<=>(const CaptureApplicationIdentity&) const = default;
};

// What must be left out of a capture, before it meets the running applications.
struct CaptureExclusionPolicy {
  std::set<std::string> protectedBundleIDs;       // the user's enabled excluded applications
  std::set<std::string> alwaysExcludedBundleIDs;  // the fixed system surfaces
  std::string ownBundleIdentifier;                // Corvane itself
  std::int32_t ownProcessIdentifier = 0;
  bool hideDesktopIcons = false;
};

// The policy of a capture engine: the user's `protectedBundleIDs`, the fixed system surfaces plus
// `additionalExcludedBundleIDs`, and this application itself.
CaptureExclusionPolicy exclusionPolicyWithSystemSurfaces(
    std::set<std::string> protectedBundleIDs,
    const std::set<std::string>& additionalExcludedBundleIDs, std::string ownBundleIdentifier,
    std::int32_t ownProcessIdentifier, bool hideDesktopIcons);

// A content filter built for one display, with what it leaves out.
struct CaptureFilterSnapshot {
  platform::ContentFilter filter;
  std::set<std::string> excludedBundleIDs;
  std::set<CaptureApplicationIdentity> applicationIdentities;  // running applications left out
  std::set<std::string> protectedBundleIDs;  // the user's excluded ids it was made with

  // Whether a stream made with this filter leaves out the same things as one made with `other`.
  bool leavesOutTheSameAs(const CaptureFilterSnapshot& other) const;
};

// True for Corvane itself, for an application whose id is protected and for its helpers, whose
// ids extend a protected id by "." and a suffix.
bool shouldExcludeCaptureApplication(const std::string& bundleIdentifier,
                                     const std::string& ownBundleIdentifier,
                                     const std::set<std::string>& protectedBundleIDs);

// The filter for `display`: every running application that shouldExcludeCaptureApplication names
// (with the protected, always-excluded and own ids), Corvane's own process, and the desktop-icon
// windows when they are to be hidden. Each protected and always-excluded id is also listed by id
// alone, so an application that starts after the filter was made is left out from its first frame.
CaptureFilterSnapshot buildCaptureFilter(const platform::ShareableDisplay& display,
                                         const platform::ShareableContent& content,
                                         const CaptureExclusionPolicy& policy);

// The display to capture: the selected one, else the one captured now, else the main screen's,
// else the first.
std::optional<platform::ShareableDisplay> chooseCaptureDisplay(
    const platform::ShareableContent& content, std::optional<std::uint32_t> selectedDisplayID,
    std::optional<std::uint32_t> activeDisplayID, std::optional<std::uint32_t> mainDisplayID);

// Whether two listings of a display describe the same capture: the same display, at the same
// place and pixel size (a resolution change keeps the number but not the size).
bool isSameDisplayGeometry(const platform::ShareableDisplay& a,
                           const platform::ShareableDisplay& b);

// Output size for a source: scaled down (never up) so the long edge fits `maximumLongEdge`.
std::pair<int, int> outputDimensions(int sourceWidth, int sourceHeight, int maximumLongEdge);

inline constexpr int kMaximumOutputLongEdge = 4096;

// The stream configuration for a display: its pixel size within kMaximumOutputLongEdge, at most
// 60 frames a second, without the pointer (the output draws its own).
platform::StreamConfiguration streamConfiguration(const platform::ShareableDisplay& display);

}  // namespace corvane::capture
