#include "platform/x11/lasting_redirect.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/x11/x_connection.h"
#include "platform/x11/xlib.h"

namespace corvane::platform::x11 {

struct LastingRedirect::State {
  mutable std::mutex mutex;
  std::condition_variable changed;
  bool held = false;
  bool ended = false;  // it will never be held (any more)
  // Looks asked at its connection, and the newest one that found it open.
  std::uint64_t asked = 0;
  std::uint64_t answered = 0;

  void set(bool isHeld) {
    {
      std::lock_guard lock(mutex);
      held = isHeld;
      ended = !isHeld;
    }
    changed.notify_all();
  }
  void answer(std::uint64_t look) {
    {
      std::lock_guard lock(mutex);
      answered = std::max(answered, look);
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
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::uint64_t look = 0;
  {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait_until(lock, deadline, [&] { return state_->held || state_->ended; });
    if (!state_->held) return false;
    look = ++state_->asked;
  }
  // Held as far as its thread has heard: another client may have killed its connection a moment
  // ago, before the thread read of it. The server hung up on it then, which its socket tells at
  // once, without a round trip (that would wait out another client's grab of the server).
  pump_.post([state = state_, look](XConnection* connection) {
    if (connection == nullptr || connection->probeLost()) return state->set(false);
    state->answer(look);
  });
  std::unique_lock lock(state_->mutex);
  state_->changed.wait_until(lock, deadline,
                             [&] { return state_->answered >= look || state_->ended; });
  return state_->answered >= look && state_->held;
}

bool LastingRedirect::hasEnded() const {
  std::lock_guard lock(state_->mutex);
  return state_->ended;
}

struct LastingRedirects::State {
  std::string displayName;
  std::mutex mutex;
  int holders = 0;
  std::shared_ptr<LastingRedirect> current;

  // Under `mutex`: the redirect held now, a new one in place of one that ended. The one replaced
  // is handed back to be let go of outside the lock.
  std::shared_ptr<LastingRedirect> live(std::shared_ptr<LastingRedirect>& replaced) {
    if (!current || current->hasEnded()) {
      replaced = std::move(current);
      current = std::make_shared<LastingRedirect>(displayName);
    }
    return current;
  }
};

LastingRedirects::LastingRedirects(std::string displayName) : state_(std::make_shared<State>()) {
  state_->displayName = std::move(displayName);
}

LastingRedirects::Hold LastingRedirects::hold() {
  std::shared_ptr<LastingRedirect> replaced;
  {
    std::lock_guard lock(state_->mutex);
    ++state_->holders;
    state_->live(replaced);
  }
  // The last hold to go lets the redirect go.
  return Hold(nullptr, [state = state_](void*) {
    std::shared_ptr<LastingRedirect> released;
    std::lock_guard lock(state->mutex);
    if (--state->holders == 0) released = std::move(state->current);
  });
}

bool LastingRedirects::handOver(double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  // Once more when the redirect taken for held turns out to have lost its connection.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::shared_ptr<LastingRedirect> redirect, replaced;
    {
      std::lock_guard lock(state_->mutex);
      if (state_->holders <= 1) return true;
      redirect = state_->live(replaced);
    }
    const std::chrono::duration<double> left = deadline - std::chrono::steady_clock::now();
    if (redirect->awaitHeld(std::max(0.0, left.count()))) return true;
    if (!redirect->hasEnded()) return false;
  }
  return false;
}

}  // namespace corvane::platform::x11
