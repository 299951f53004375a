#include "platform/x11/x11_screens.h"

#include "platform/x11/xlib.h"

#include <cmath>

#include "platform/x11/dock_struts.h"
#include "platform/x11/monitors.h"
#include "platform/x11/x_atoms.h"
#include "platform/x11/x_properties.h"
#include "runtime/main_actor.h"

namespace corvane::platform::x11 {
namespace {

// Xft.dpi from the resource database, as desktops set it for scaling.
double scaleFactor(Display* display, const Atoms& atoms) {
  auto resources = textProperty(display, DefaultRootWindow(display), atoms.resourceManager);
  if (!resources) return 1.0;
  const std::string key = "Xft.dpi:";
  const auto at = resources->find(key);
  if (at == std::string::npos) return 1.0;
  const double dpi = std::atof(resources->c_str() + at + key.size());
  if (!(dpi >= 48 && dpi <= 960)) return 1.0;
  return std::round(dpi / 96.0 * 4.0) / 4.0;
}

}  // namespace

ScreenLayout readScreenLayout(Display* display) {
  Atoms atoms(display);
  const Window root = DefaultRootWindow(display);
  const auto desktop =
      cardinalValue(display, root, atoms.netCurrentDesktop, XA_CARDINAL).value_or(0);
  const auto workareas = cardinalProperty(display, root, atoms.netWorkarea, XA_CARDINAL);
  std::optional<Rect> workarea;
  const auto offset = static_cast<std::size_t>(desktop) * 4;
  if (workareas.size() >= offset + 4) {
    workarea = Rect{{double(workareas[offset]), double(workareas[offset + 1])},
                    {double(workareas[offset + 2]), double(workareas[offset + 3])}};
  } else if (workareas.size() >= 4) {
    workarea = Rect{{double(workareas[0]), double(workareas[1])},
                    {double(workareas[2]), double(workareas[3])}};
  }
  // Without a work area (i3), the windows keep clear of what the docks hold.
  const auto dockStrips = workarea ? std::vector<ReservedStrip>{} : readDockStrips(display);
  const double scale = scaleFactor(display, atoms);
  ScreenLayout result;
  result.hasWorkArea = workarea.has_value();
  for (const auto& monitor : readMonitors(display)) {
    Screen screen;
    screen.displayID = monitor.displayID;
    screen.name = monitor.name;
    screen.frame = Rect{{double(monitor.x), double(monitor.y)},
                        {double(monitor.width), double(monitor.height)}};
    screen.visibleFrame = clearOfStrips(screen.frame, dockStrips);
    if (workarea) {
      const Rect visible = screen.frame.intersection(*workarea);
      if (!visible.isEmpty()) screen.visibleFrame = visible;
    }
    screen.backingScaleFactor = scale;
    screen.isMain = monitor.primary;
    result.screens.push_back(std::move(screen));
  }
  return result;
}

runtime::Result<std::shared_ptr<X11Screens>> X11Screens::open(const std::string& displayName) {
  auto connection = XConnection::open(displayName);
  if (!connection) return connection.error();
  std::shared_ptr<X11Screens> screens(new X11Screens());
  screens->screens_ = readScreens((*connection)->display());
  connection.value().reset();

  std::weak_ptr<X11Screens> weak = screens;
  auto randrBase = std::make_shared<int>(-1);
  auto atoms = std::make_shared<std::unique_ptr<Atoms>>();
  auto dirty = std::make_shared<bool>(false);
  auto docks = std::make_shared<DockRereads>();
  XEventPump::Callbacks callbacks;
  callbacks.setup = [randrBase, atoms, dirty](XConnection& connection) {
    Display* display = connection.display();
    *atoms = std::make_unique<Atoms>(display);
    int errorBase = 0;
    if (XRRQueryExtension(display, randrBase.get(), &errorBase)) {
      XRRSelectInput(display, connection.root(),
                     RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    } else {
      *randrBase = -1;
    }
    // The root's children coming and going: a dock's strut counts only while it is mapped.
    XSelectInput(display, connection.root(),
                 PropertyChangeMask | StructureNotifyMask | SubstructureNotifyMask);
    // Whatever changed between the first reading and the selection above is read again.
    *dirty = true;
    return runtime::Status::success();
  };
  callbacks.event = [randrBase, atoms, dirty, docks](XEvent& event) {
    if (*randrBase >= 0 && event.type >= *randrBase && event.type <= *randrBase + RRNotify) {
      XRRUpdateConfiguration(&event);
      *dirty = true;
    } else if (event.type == ConfigureNotify) {
      if (event.xconfigure.window == event.xconfigure.event) *dirty = true;
    } else if (event.type == MapNotify || event.type == UnmapNotify ||
               event.type == DestroyNotify) {
      docks->windowsChanged();
    } else if (event.type == PropertyNotify && *atoms) {
      const Atom atom = event.xproperty.atom;
      if (atom == (*atoms)->netWorkarea || atom == (*atoms)->netCurrentDesktop ||
          atom == (*atoms)->resourceManager) {
        *dirty = true;
      }
    }
  };
  // The layout is re-read from the pump's own connection, so the idle hook needs it: a job
  // posted for every burst of changes does that.
  callbacks.idle = [weak, dirty, docks]() -> std::optional<double> {
    std::optional<double> wait;
    if (docks->due(pumpClock(), wait)) *dirty = true;
    if (!*dirty) return wait;
    *dirty = false;
    docks->read(pumpClock());
    if (auto self = weak.lock()) {
      self->pump_.post([weak, docks](XConnection* connection) {
        if (connection == nullptr) return;
        auto self = weak.lock();
        if (!self) return;
        auto layout = readScreenLayout(connection->display());
        docks->setFollowing(!layout.hasWorkArea);
        self->update(std::move(layout.screens));
      });
    }
    return std::nullopt;
  };
  callbacks.reopensLostConnection = true;
  screens->pump_.start(displayName, std::move(callbacks));
  return screens;
}

X11Screens::~X11Screens() {
  pump_.stop();
}

std::vector<Screen> X11Screens::screens() const {
  std::lock_guard lock(mutex_);
  return screens_;
}

void X11Screens::update(std::vector<Screen> screens) {
  {
    std::lock_guard lock(mutex_);
    if (screens == screens_) return;
    screens_ = std::move(screens);
  }
  if (!runtime::hasRuntime()) return;
  runtime::postToMain(weak_from_this(), [](X11Screens& self) { self.observers_.notify(); });
}

}  // namespace corvane::platform::x11
