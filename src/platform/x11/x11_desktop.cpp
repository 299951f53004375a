#include "platform/x11/x11_desktop.h"

#include "platform/x11/x11_cursor_source.h"
#include "platform/x11/x11_permissions.h"
#include "platform/x11/x11_screen_capture.h"
#include "platform/x11/x11_screens.h"
#include "platform/x11/x11_workspace.h"

namespace corvane::platform::x11 {

runtime::Result<Desktop> openDesktop(const std::string& displayName, std::int32_t ownPid) {
  return openDesktop(displayName, ownPid, makeDefaultIdentityResolver());
}

runtime::Result<Desktop> openDesktop(
    const std::string& displayName, std::int32_t ownPid,
    std::shared_ptr<const ApplicationIdentityResolver> identities) {
  auto screens = X11Screens::open(displayName);
  if (!screens) return screens.error();
  auto workspace = X11Workspace::open(displayName, identities);
  if (!workspace) return workspace.error();
  auto cursor = X11CursorSource::open(displayName);
  if (!cursor) return cursor.error();
  auto idleness = X11InputIdleness::open(displayName);
  if (!idleness) return idleness.error();
  Desktop desktop;
  desktop.capture = std::make_shared<X11ScreenCapture>(displayName, std::move(identities), ownPid);
  desktop.screens = *screens;
  desktop.workspace = *workspace;
  desktop.permissions = std::make_shared<X11Permissions>(displayName);
  desktop.cursorSource = *cursor;
  desktop.inputIdleness = *idleness;
  return desktop;
}

}  // namespace corvane::platform::x11
