#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "capture/protected_capture_filter.h"
#include "platform/geometry.h"
#include "platform/screen_capture.h"

namespace corvane::verification {

// What a refresh of the verification capture's filter came to.
struct CaptureFilterRefreshResult {
  // The filter in force is the one the content requires (unchanged, or replaced).
  bool filterApplied = false;
  // The filter was unchanged and no clean capture was owed.
  bool captureClean = false;

  bool operator==(const CaptureFilterRefreshResult&) const = default;
};

// The source-mask overlay windows a capture of `display` keeps: those of `overlayWindowIDs` that
// belong to this application (`ownBundleIdentifier`; both absent counts as the same), are on
// screen and overlap the display.
std::set<std::uint32_t> keptOverlayWindows(const platform::ShareableDisplay& display,
                                           const platform::ShareableContent& content,
                                           const std::set<std::uint32_t>& overlayWindowIDs,
                                           const std::string& ownBundleIdentifier);

// The verification capture's filter for `display`: the exclusions of `policy`, with the kept
// overlay windows excepted so that the masks drawn on the real screen show in the capture. The
// kept windows are the filter's exceptingWindowIDs.
capture::CaptureFilterSnapshot verificationFilterSnapshot(
    const platform::ShareableDisplay& display, const platform::ShareableContent& content,
    const capture::CaptureExclusionPolicy& policy, const std::set<std::uint32_t>& overlayWindowIDs);

// How often the pipeline may hand out a candidate, by how recently the user gave input: often
// while the user types or moves the pointer, rarely when idle; never below `minimumInterval`.
double analysisIntervalForInput(double secondsSinceInput, double minimumInterval);

// The pointer's place on `displayFrame`, each coordinate 0…1 from the top left; absent when the
// pointer is unknown, the frame empty or the pointer outside it.
std::optional<platform::Point> normalizedPointer(std::optional<platform::Point> location,
                                                 const platform::Rect& displayFrame);

}  // namespace corvane::verification
