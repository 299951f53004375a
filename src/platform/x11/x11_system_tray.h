#pragma once

#include "platform/x11/xlib.h"

namespace corvane::platform::x11 {

// Whether the panel an XEmbed tray embedded `icon` in is out of sight for now: the panel's
// top-level window is unmapped, or shows no more than a thin strip on the root (an auto-hiding
// panel that slid away). False while the icon is not embedded (its own window is a top level)
// or is gone.
bool isEmbeddingPanelHidden(Display* display, Window icon);

}  // namespace corvane::platform::x11
