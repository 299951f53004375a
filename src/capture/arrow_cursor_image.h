#pragma once

#include "platform/pixel_buffer.h"

namespace corvane::capture {

// A plain arrow pointer, 12 × 19 pixels, black outline over a white body on a transparent ground,
// its hot spot at the top left pixel. Made once and shared.
platform::SharedPixelBuffer arrowCursorImage();

}  // namespace corvane::capture
