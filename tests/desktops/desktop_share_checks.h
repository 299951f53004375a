#pragma once

// What the share shows of a desktop's own windows, the capture backend reading the real desktop
// of a running DesktopSession (a few seconds each, added to that desktop's session).
#include "support/x11/desktop_session.h"

namespace corvane::testing {

// Plasma: plasmashell's desktop window (its wallpaper, its icons) and the menu it opens on the
// desktop follow the desktop-icons setting, shown or left out with it, while its panel, the
// tooltip the panel opens over a private window's task and KRunner listing that window stay out.
void expectPlasmaDesktopFollowsTheSetting(const XvfbServer& server, const DesktopSession& desktop);

// Cinnamon: the invisible borders around muffin's frames show what lies beneath them (the
// desktop), a private window beneath showing nothing of itself.
void expectFrameBordersShowWhatLiesBeneath(const XvfbServer& server);

}  // namespace corvane::testing
