#include "platform/x11/lasting_redirect.h"

#include <chrono>

#include "platform/x11/x_connection.h"
#include "platform/x11/xlib.h"

namespace corvane::platform::x11 {

struct LastingRedirect::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool held = false;
  bool ended = false;  // it will never be held (any more)

  void set(bool isHeld) {
    {
      std::lock_guard lock(mutex);
      held = isHeld;
      ended = !isHeld;
    }
    changed.notify_all();
  }
};

LastingRedirect::LastingRedirect(std::string displayName) : state_(std::make_shared<State>()) {
  XEventPump::Callbacks callbacks;
  callbacks.setup = [state = state_](XConnection& connection) {
    Display* display = connection.display();
    int eventBase = 0, errorBase = 0;
    if (!XCompositeQueryExtension(display, &eventBase, &errorBase)) {
      return runtime::Status::failure("The X server lacks the Composite extension.");
    }
    ErrorTrap trap(display);
    XCompositeRedirectSubwindows(display, connection.root(), CompositeRedirectAutomatic);
    if (!trap.sync()) return runtime::Status::failure("The X server refused the redirect.");
    state->set(true);
    return runtime::Status::success();
  };
  callbacks.ready = [state = state_](runtime::Status status) {
    if (!status) state->set(false);
  };
  callbacks.connectionLost = [state = state_] { state->set(false); };
  callbacks.teardown = [state = state_] { state->set(false); };
  pump_.start(std::move(displayName), std::move(callbacks));
}

LastingRedirect::~LastingRedirect() {
  pump_.stop();
}

bool LastingRedirect::awaitHeld(double seconds) {
  std::unique_lock lock(state_->mutex);
  state_->changed.wait_for(lock, std::chrono::duration<double>(seconds),
                           [&] { return state_->held || state_->ended; });
  return state_->held;
}

std::shared_ptr<LastingRedirect> LastingRedirects::hold() {
  std::lock_guard lock(mutex_);
  auto current = current_.lock();
  if (!current) {
    current = std::make_shared<LastingRedirect>(displayName_);
    current_ = current;
  }
  return current;
}

}  // namespace corvane::platform::x11
