#pragma once

#include <cstdint>
#include <functional>
#include <set>

#include "platform/pixel_buffer.h"

namespace corvane::platform::sim {

// The ids of the windows whose colours appear anywhere in the frame.
std::set<std::uint32_t> windowIdsInFrame(const PixelBuffer& frame);

// Whether any pixel of the frame belongs to a window for which `matches` holds. Stops at the
// first match; each distinct run of equal pixels is decoded once.
bool frameHasWindowPixel(const PixelBuffer& frame,
                         const std::function<bool(std::uint32_t windowID)>& matches);

}  // namespace corvane::platform::sim
