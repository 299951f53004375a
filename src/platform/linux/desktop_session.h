#pragma once

#include <string>

namespace corvane::platform {

// The desktop environment of the session, as far as Corvane needs to tell them apart.
enum class DesktopKind { gnome, cinnamon, mate, xfce, kde, unknown };

// Reads $XDG_CURRENT_DESKTOP's form: a colon-separated list, the first known name winning
// ("ubuntu:GNOME" is GNOME).
DesktopKind desktopKindFrom(const std::string& xdgCurrentDesktop);
// The session's own value of $XDG_CURRENT_DESKTOP (empty when unset).
std::string currentDesktopVariable();

}  // namespace corvane::platform
