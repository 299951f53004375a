#pragma once

#include <cstdint>
#include <memory>

#include "platform/pixel_buffer.h"
#include "platform/screen_capture.h"
#include "platform/sim/sim_capture_script.h"
#include "platform/sim/sim_desktop_state.h"
#include "runtime/result.h"

namespace corvane::platform::sim {

// The largest frame side the simulation composes; larger requests are refused.
inline constexpr int kMaxComposedFrameSide = 16384;

// Whether a capture under `filter` leaves the window out. An explicitly excluded window and, when
// asked, a desktop-icons window are always left out; a window of an excluded application is left
// out unless the filter excepts it.
bool filterLeavesOut(const ContentFilter& filter, std::uint32_t windowID,
                     const SimWindowOwner& owner,
                     SimApplicationMatching matching = SimApplicationMatching::idOrProcess);

// What a capture of the filter's display shows now: the background, then every window on screen
// bottom to top except those the filter leaves out, so what lies beneath shows through; scaled
// nearest-neighbour to width × height (0 = the display's own pixel size). With showsCursor the
// pointer image is drawn on top. Fails when the display does not exist or the size is unusable.
runtime::Result<std::shared_ptr<PixelBuffer>> composeFrame(
    const SimDesktopState& state, const ContentFilter& filter, int width, int height,
    bool showsCursor, SimApplicationMatching matching = SimApplicationMatching::idOrProcess);

}  // namespace corvane::platform::sim
