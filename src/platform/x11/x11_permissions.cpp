#include "platform/x11/x11_permissions.h"

#include "platform/x11/xlib.h"

extern char** environ;

namespace corvane::platform::x11 {

std::map<std::string, std::string> processEnvironment() {
  std::map<std::string, std::string> result;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string::npos) result[text.substr(0, equals)] = text.substr(equals + 1);
  }
  return result;
}

std::optional<std::string> waylandSessionRefusal(const std::map<std::string, std::string>& env) {
  auto value = [&env](const char* key) {
    auto it = env.find(key);
    return it == env.end() ? std::string() : it->second;
  };
  if (!value("WAYLAND_DISPLAY").empty() || value("XDG_SESSION_TYPE") == "wayland") {
    return std::string(
        "Protected Share needs an X11 session: this is a Wayland session, where no application "
        "can keep other applications out of a screen capture. Log out and log in to an X11 "
        "session (\"GNOME on Xorg\" or similar) to use Protected Share.");
  }
  return std::nullopt;
}

X11Permissions::X11Permissions(std::string displayName,
                               std::map<std::string, std::string> environment)
    : displayName_(std::move(displayName)), environment_(std::move(environment)) {}

std::optional<std::string> X11Permissions::screenCaptureDenialReason() const {
  if (auto refusal = waylandSessionRefusal(environment_)) return refusal;
  auto name = displayName_;
  if (name.empty()) {
    auto it = environment_.find("DISPLAY");
    if (it != environment_.end()) name = it->second;
  }
  if (name.empty()) {
    return std::string("No X display is set; log in to an X11 session to use Protected Share.");
  }
  auto connection = XConnection::open(name);
  if (!connection) return connection.message();
  Display* display = (*connection)->display();
  ErrorTrap trap(display);
  XImage* pixel = XGetImage(display, (*connection)->root(), 0, 0, 1, 1, AllPlanes, ZPixmap);
  const bool readable = pixel != nullptr && !trap.failed();
  if (pixel != nullptr) XDestroyImage(pixel);
  if (!readable) {
    return std::string(
        "The X server does not let Corvane read the screen; check the X "
        "server's access controls for this session.");
  }
  return std::nullopt;
}

bool X11Permissions::accessibilityTrusted() const {
  auto connection = XConnection::open(displayName_);
  if (!connection) return false;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  return XTestQueryExtension((*connection)->display(), &eventBase, &errorBase, &major, &minor);
}

runtime::Result<std::shared_ptr<X11InputIdleness>> X11InputIdleness::open(
    const std::string& displayName) {
  auto connection = XConnection::open(displayName);
  if (!connection) return connection.error();
  int eventBase = 0, errorBase = 0;
  if (!XScreenSaverQueryExtension((*connection)->display(), &eventBase, &errorBase)) {
    return runtime::Error{"The X server lacks the MIT-SCREEN-SAVER extension for idle time."};
  }
  return std::shared_ptr<X11InputIdleness>(new X11InputIdleness(std::move(connection).value()));
}

X11InputIdleness::X11InputIdleness(std::unique_ptr<XConnection> connection)
    : connection_(std::move(connection)) {}

double X11InputIdleness::secondsSinceLastInput() const {
  std::lock_guard lock(mutex_);
  if (connection_->isLost()) return 0;
  XScreenSaverInfo info{};
  ErrorTrap trap(connection_->display());
  if (!XScreenSaverQueryInfo(connection_->display(), connection_->root(), &info) || trap.failed()) {
    return 0;
  }
  return static_cast<double>(info.idle) / 1000.0;
}

}  // namespace corvane::platform::x11
