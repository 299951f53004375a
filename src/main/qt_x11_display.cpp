#include "main/qt_x11_display.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QGuiApplication>

// Xlib last: its macros (None, Bool, Status…) clash with Qt's names.
#include "platform/x11/x11_system_tray.h"
#include "platform/x11/x11_window_states.h"

namespace corvane::wiring {

_XDisplay* qtX11Display() {
  if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->display() : nullptr;
}

bool qtX11ConnectionBroken() {
  if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return false;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr && x11->connection() != nullptr &&
         xcb_connection_has_error(x11->connection()) != 0;
}

std::shared_ptr<platform::WindowStateHints> makeQtWindowStateHints() {
  Display* display = qtX11Display();
  if (display == nullptr) return nullptr;
  return std::make_shared<platform::x11::X11WindowStateHints>(display);
}

std::function<bool(unsigned long long)> trayPanelHiddenProbe() {
  Display* display = qtX11Display();
  if (display == nullptr) return nullptr;
  return [display](unsigned long long icon) {
    return platform::x11::isEmbeddingPanelHidden(display, static_cast<Window>(icon));
  };
}

}  // namespace corvane::wiring
