#pragma once

#include <cstdint>
#include <vector>

#include "model/capture_display.h"
#include "platform/screens.h"

namespace corvane::app {

// The displays the user can choose, in the screens' order. A screen without a display number
// (0) is left out. A screen without a name is "Display N", N counting every screen listed before
// it, left-out ones too; the details read "1512 x 982 pt @2x" (whole points, the scale rounded).
std::vector<model::CaptureDisplay> captureDisplays(const std::vector<platform::Screen>& screens);

bool listsDisplay(const std::vector<model::CaptureDisplay>& displays, std::uint32_t displayID);

}  // namespace corvane::app
