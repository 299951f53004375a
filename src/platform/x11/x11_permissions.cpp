#include "platform/x11/x11_permissions.h"

#include "platform/x11/xlib.h"

#include <algorithm>
#include <functional>
#include <future>
#include <limits>
#include <thread>

extern char** environ;

namespace corvane::platform::x11 {
namespace {

constexpr double kOpenTimeout = 5.0;
constexpr double kProbeTimeout = 2.0;

}  // namespace

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

X11Permissions::~X11Permissions() = default;

template <class Value>
std::optional<Value> X11Permissions::probe(std::function<Value(XConnection*)> check) const {
  auto promise = std::make_shared<std::promise<Value>>();
  auto future = promise->get_future();
  {
    std::lock_guard lock(mutex_);
    if (!pump_ || !pump_->isRunning()) {
      // A pump that ended (the server went away) is left to finish; a new one connects again.
      if (pump_) pump_->requestStop();
      pump_ = std::make_unique<XEventPump>();
      auto name = displayName_;
      if (auto it = environment_.find("DISPLAY"); name.empty() && it != environment_.end())
        name = it->second;
      pump_->start(name, XEventPump::Callbacks{});
    }
    pump_->post([promise, check = std::move(check)](XConnection* connection) {
      promise->set_value(check(connection));
    });
  }
  // A server that does not answer must not hold the caller (the main actor) for longer.
  if (future.wait_for(std::chrono::duration<double>(kProbeTimeout)) != std::future_status::ready) {
    return std::nullopt;
  }
  return future.get();
}

namespace {

std::optional<std::string> rootReadRefusal(XConnection* connection) {
  if (connection == nullptr || connection->isLost())
    return std::string("The X display could not be opened.");
  Display* display = connection->display();
  ErrorTrap trap(display);
  XImage* pixel = XGetImage(display, connection->root(), 0, 0, 1, 1, AllPlanes, ZPixmap);
  const bool readable = pixel != nullptr && !trap.failed();
  if (pixel != nullptr) XDestroyImage(pixel);
  if (!readable) {
    return std::string(
        "The X server does not let Corvane read the screen; check the X "
        "server's access controls for this session.");
  }
  return std::nullopt;
}

}  // namespace

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
  auto refusal = probe<std::optional<std::string>>(rootReadRefusal);
  if (!refusal) {
    return std::string("The X server does not answer; Protected Share cannot capture the screen.");
  }
  return *refusal;
}

bool X11Permissions::accessibilityTrusted() const {
  return probe<bool>([](XConnection* connection) {
           if (connection == nullptr || connection->isLost()) return false;
           int eventBase = 0, errorBase = 0, major = 0, minor = 0;
           return XTestQueryExtension(connection->display(), &eventBase, &errorBase, &major,
                                      &minor) != 0;
         })
      .value_or(false);
}

runtime::Result<std::shared_ptr<X11InputIdleness>> X11InputIdleness::open(
    const std::string& displayName) {
  std::shared_ptr<X11InputIdleness> idleness(new X11InputIdleness());
  // The pump belongs to the object and ends with it: its callbacks hold it weakly.
  std::weak_ptr<X11InputIdleness> weak = idleness;
  auto connection = std::make_shared<XConnection*>(nullptr);
  XEventPump::Callbacks callbacks;
  callbacks.setup = [weak, connection](XConnection& opened) {
    int eventBase = 0, errorBase = 0;
    if (!XScreenSaverQueryExtension(opened.display(), &eventBase, &errorBase)) {
      return runtime::Status::failure(
          "The X server lacks the MIT-SCREEN-SAVER extension for idle time.");
    }
    *connection = &opened;
    if (auto self = weak.lock()) self->sample(opened);
    return runtime::Status::success();
  };
  callbacks.idle = [weak, connection]() -> std::optional<double> {
    auto self = weak.lock();
    if (!self || *connection == nullptr) return std::nullopt;
    if (self->sampling_.shouldRest(pumpClock())) return std::nullopt;  // until a read wakes it
    self->sample(**connection);
    return kSampleInterval;
  };
  callbacks.connectionLost = [connection] { *connection = nullptr; };
  callbacks.reopensLostConnection = true;
  callbacks.teardown = [connection] { *connection = nullptr; };
  auto status =
      idleness->pump_.startAndWait(displayName, std::move(callbacks), kOpenTimeout,
                                   "The X server did not answer; input idleness cannot be read.");
  if (!status) return status.error();
  return idleness;
}

X11InputIdleness::~X11InputIdleness() {
  pump_.stop();
}

void X11InputIdleness::sample(XConnection& connection) {
  if (connection.isLost()) return;
  XScreenSaverInfo info{};
  ErrorTrap trap(connection.display());
  const bool read =
      XScreenSaverQueryInfo(connection.display(), connection.root(), &info) && !trap.failed();
  std::lock_guard lock(mutex_);
  idleAtSample_ =
      read ? std::optional<double>(static_cast<double>(info.idle) / 1000.0) : std::nullopt;
  sampledAt_ = pumpClock();
  awaitingFreshSample_ = false;
}

double X11InputIdleness::secondsSinceLastInput() const {
  if (sampling_.noteRead(pumpClock())) {
    {
      std::lock_guard lock(mutex_);
      awaitingFreshSample_ = true;  // the last sample is older than the rest
      freshSampleAskedAt_ = pumpClock();
    }
    pump_.post([](XConnection*) {});
  }
  std::lock_guard lock(mutex_);
  const double now = pumpClock();
  const double waitingSince = awaitingFreshSample_ ? freshSampleAskedAt_ : sampledAt_;
  if (idleAtSample_ && now - waitingSince > kUnansweredAfter + kSampleInterval) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  if (!idleAtSample_ || awaitingFreshSample_) return 0;
  return *idleAtSample_ + std::max(0.0, now - sampledAt_);
}

}  // namespace corvane::platform::x11
