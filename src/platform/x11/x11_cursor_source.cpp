#include "platform/x11/x11_cursor_source.h"

#include "platform/x11/xlib.h"

namespace corvane::platform::x11 {

runtime::Result<std::shared_ptr<X11CursorSource>> X11CursorSource::open(
    const std::string& displayName) {
  auto connection = XConnection::open(displayName);
  if (!connection) return connection.error();
  int eventBase = 0, errorBase = 0;
  if (!XFixesQueryExtension((*connection)->display(), &eventBase, &errorBase)) {
    return runtime::Error{"The X server lacks the XFIXES extension needed for the cursor."};
  }
  int major = 4, minor = 0;
  XFixesQueryVersion((*connection)->display(), &major, &minor);
  return std::shared_ptr<X11CursorSource>(new X11CursorSource(std::move(connection).value()));
}

X11CursorSource::X11CursorSource(std::unique_ptr<XConnection> connection)
    : connection_(std::move(connection)) {}

std::optional<Point> X11CursorSource::cursorPosition() const {
  std::lock_guard lock(mutex_);
  if (connection_->isLost()) return std::nullopt;
  Display* display = connection_->display();
  ErrorTrap trap(display);
  Window rootReturn = None, child = None;
  int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(display, connection_->root(), &rootReturn, &child, &rootX, &rootY, &windowX,
                     &windowY, &mask) ||
      trap.failed()) {
    return std::nullopt;
  }
  return Point{static_cast<double>(rootX), static_cast<double>(rootY)};
}

CursorImage X11CursorSource::currentCursorImage() const {
  std::lock_guard lock(mutex_);
  if (connection_->isLost()) return CursorImage{};
  Display* display = connection_->display();
  ErrorTrap trap(display);
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (image == nullptr || trap.failed()) return CursorImage{};
  if (cached_.image && cached_.serial == image->cursor_serial) {
    XFree(image);
    return cached_;
  }
  auto pixels = std::make_shared<PixelBuffer>(image->width, image->height);
  // XFixes hands out premultiplied ARGB, one pixel per unsigned long.
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      const auto argb = static_cast<std::uint32_t>(image->pixels[y * image->width + x]);
      pixels->setPixel(x, y, argb);
    }
  }
  cached_.image = std::move(pixels);
  cached_.hotSpot = Point{static_cast<double>(image->xhot), static_cast<double>(image->yhot)};
  cached_.serial = image->cursor_serial;
  XFree(image);
  return cached_;
}

}  // namespace corvane::platform::x11
