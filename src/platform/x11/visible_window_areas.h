#pragma once

#include <set>

#include "platform/window_areas.h"
#include "platform/x11/frame_composer.h"
#include "platform/x11/window_model.h"

namespace corvane::platform::x11 {

// What shows of each window a frame of `area` draws, bottom to top, in pixels of an
// outputWidth × outputHeight frame: the windows the model shows, less the excluded ones (which
// are not drawn, so they cover nothing), each clipped by the opaque windows above it. A window in a
// frame the window manager made shows as two: the frame (title bar and borders) and, above it,
// the client area, so that the application's own content is never read together with the frame.
WindowAreas visibleWindowAreas(const WindowModel& model, const std::set<Window>& excluded,
                               const CaptureArea& area, int outputWidth, int outputHeight);

// The windows of the model a frame draws (top-level windows) and those it leaves out (top-level
// and embedded windows).
ImageWindows imageWindows(const WindowModel& model, const std::set<Window>& excluded);

}  // namespace corvane::platform::x11
