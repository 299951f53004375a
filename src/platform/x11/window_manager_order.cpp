#include "platform/x11/window_manager_order.h"

#include <string>

#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

bool compositingManagerRuns(Display* display) {
  const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
  return XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False)) != None;
}

bool isOwnOrderFamily(Display* display) {
  const Window root = DefaultRootWindow(display);
  const auto check =
      windowListProperty(display, root, XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False));
  if (check.empty()) return false;
  const auto name =
      textProperty(display, check.front(), XInternAtom(display, "_NET_WM_NAME", False));
  if (!name) return false;
  for (const char* family : {"Muffin", "Mutter", "GNOME Shell", "Marco", "Metacity"}) {
    if (name->find(family) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

bool keepsItsOwnOrderWhileCompositing(Display* display) {
  return isOwnOrderFamily(display) && compositingManagerRuns(display);
}

}  // namespace corvane::platform::x11
