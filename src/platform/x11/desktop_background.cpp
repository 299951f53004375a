#include "platform/x11/desktop_background.h"

#include "platform/x11/application_identity.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {
namespace {

bool namesWindow(Display* display, XID id) {
  ErrorTrap trap(display);
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, id, &attributes) != 0 && !trap.failed();
}

bool isPixmapOfDepth(Display* display, Pixmap pixmap, int depth) {
  ErrorTrap trap(display);
  Window root;
  int x, y;
  unsigned width, height, border, pixmapDepth;
  return XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &pixmapDepth) &&
         !trap.failed() && static_cast<int>(pixmapDepth) == depth;
}

bool madeByLeftOutClient(Display* display, Pixmap pixmap, const LeftOutClients& leftOut) {
  const XID owner = windowOwner(display, pixmap);
  if (owner != 0 && leftOut.owners.count(owner) != 0) return true;
  const auto process = windowProcessId(display, pixmap);
  return process && leftOut.processes.count(*process) != 0;
}

}  // namespace

LeftOutClients leftOutClients(const WindowModel& model, const std::set<Window>& excluded) {
  LeftOutClients clients;
  for (const TrackedWindow* window : model.stacking()) {
    // A desktop window is left out for its icons; the background its program names is the
    // wallpaper.
    if (excluded.count(window->id) != 0 && !window->isDesktopWindow) {
      if (window->clientOwner != 0) clients.owners.insert(window->clientOwner);
      if (window->identity.processID > 0) clients.processes.insert(window->identity.processID);
    }
    for (const auto& embedded : window->embedded) {
      if (excluded.count(embedded.id) == 0) continue;
      if (embedded.owner != 0) clients.owners.insert(embedded.owner);
      if (embedded.identity.processID > 0) clients.processes.insert(embedded.identity.processID);
    }
  }
  return clients;
}

std::optional<Picture> desktopBackgroundPicture(Display* display, Pixmap named,
                                                XRenderPictFormat* format, int depth,
                                                const LeftOutClients& leftOut) {
  if (named == None || format == nullptr) return None;
  auto mayDraw = [&] {
    return !namesWindow(display, named) && isPixmapOfDepth(display, named, depth) &&
           !madeByLeftOutClient(display, named, leftOut);
  };
  if (!mayDraw()) return None;
  Picture picture = None;
  {
    ErrorTrap trap(display);
    XRenderPictureAttributes repeat{};
    repeat.repeat = RepeatNormal;
    picture = XRenderCreatePicture(display, named, format, CPRepeat, &repeat);
    if (!trap.sync()) return None;
  }
  // Checked on both sides of the picture's making: the id named a pixmap that may be drawn just
  // before and just after, and a client's ids are not used again so soon.
  if (!mayDraw()) {
    XRenderFreePicture(display, picture);
    return std::nullopt;
  }
  return picture;
}

}  // namespace corvane::platform::x11
