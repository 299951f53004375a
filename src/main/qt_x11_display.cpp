#include "main/qt_x11_display.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>

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

namespace {

// Hands every PropertyNotify Qt's connection receives to the hints, on the main actor, while
// both live.
class PropertyNotifyTap final : public QAbstractNativeEventFilter {
 public:
  explicit PropertyNotifyTap(platform::x11::X11WindowStateHints& hints) : hints_(hints) {
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~PropertyNotifyTap() override {
    if (QCoreApplication::instance() != nullptr) {
      QCoreApplication::instance()->removeNativeEventFilter(this);
    }
  }
  PropertyNotifyTap(const PropertyNotifyTap&) = delete;
  PropertyNotifyTap& operator=(const PropertyNotifyTap&) = delete;

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != QByteArrayLiteral("xcb_generic_event_t")) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    hints_.propertyChanged(change->window, change->atom);
    return false;
  }

 private:
  platform::x11::X11WindowStateHints& hints_;
};

// The hints and the tap feeding them, released together.
struct TappedHints {
  explicit TappedHints(Display* display) : hints(display), tap(hints) {}
  platform::x11::X11WindowStateHints hints;
  PropertyNotifyTap tap;
};

}  // namespace

std::shared_ptr<platform::WindowStateHints> makeQtWindowStateHints() {
  Display* display = qtX11Display();
  if (display == nullptr) return nullptr;
  auto tapped = std::make_shared<TappedHints>(display);
  return std::shared_ptr<platform::WindowStateHints>(tapped, &tapped->hints);
}

std::function<bool(unsigned long long)> trayPanelHiddenProbe() {
  Display* display = qtX11Display();
  if (display == nullptr) return nullptr;
  return [display](unsigned long long icon) {
    return platform::x11::isEmbeddingPanelHidden(display, static_cast<Window>(icon));
  };
}

}  // namespace corvane::wiring
