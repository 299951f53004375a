#pragma once

#include "platform/geometry.h"

namespace corvane::share_window {

enum class ProtectedShareSizingMode { fit, actual };

// How the output window sizes the live frame: fitted into the screen or at its actual size, the
// frame's pixel size, and the points drawn per frame pixel. The window, its view and the presenter
// control bar read it.
struct ProtectedShareViewportState {
  ProtectedShareSizingMode sizingMode = ProtectedShareSizingMode::fit;
  platform::Size pixelSize;
  double scale = 1.0;

  bool operator==(const ProtectedShareViewportState&) const = default;
};

}  // namespace corvane::share_window
