#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <optional>
#include <set>

#include "platform/x11/window_model.h"

namespace corvane::platform::x11 {

// The X clients and processes whose windows a frame leaves out (desktop windows aside): none of
// them may supply what the frame shows of the desktop.
struct LeftOutClients {
  std::set<XID> owners;
  std::set<std::int32_t> processes;

  bool operator==(const LeftOutClients&) const = default;
};

LeftOutClients leftOutClients(const WindowModel& model, const std::set<Window>& excluded);

// A picture of the desktop background the root names, or None when it may not be drawn: only a
// pixmap (never a window, whose picture would read what the screen shows there) of the screen's
// `depth`, made by none of the `leftOut` clients. It is checked before and after its picture is
// made, so an id that came to name something else in between is not drawn: nothing then, and
// the check is to be made again.
std::optional<Picture> desktopBackgroundPicture(Display* display, Pixmap named,
                                                XRenderPictFormat* format, int depth,
                                                const LeftOutClients& leftOut);

}  // namespace corvane::platform::x11
