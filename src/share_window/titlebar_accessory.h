#pragma once

#include "platform/geometry.h"
#include "runtime/published.h"
#include "share_window/protection_status.h"

namespace corvane::share_window {

struct ProtectedShareAccessoryState {
  ProtectedShareWindowStatus status = ProtectedShareWindowStatus::off;
  platform::Size resolution;  // the live output's pixel size, as the engine measures it
  bool directShareSessionReady = false;
  bool isDirectShareButtonHidden = false;

  bool operator==(const ProtectedShareAccessoryState&) const = default;
};

// The strip along the top of the output window: status, output resolution and the direct-share
// test button. The controller writes the resolution and readiness; the window manager the status.
class ProtectedShareTitlebarAccessory {
 public:
  platform::Size resolution() const { return state_->resolution; }
  void setResolution(platform::Size size) {
    change([&](auto& s) { s.resolution = size; });
  }
  bool directShareSessionReady() const { return state_->directShareSessionReady; }
  void setDirectShareSessionReady(bool ready) {
    change([&](auto& s) { s.directShareSessionReady = ready; });
  }
  void setDirectShareButtonHidden(bool hidden) {
    change([&](auto& s) { s.isDirectShareButtonHidden = hidden; });
  }
  ProtectedShareWindowStatus status() const { return state_->status; }
  void setStatus(ProtectedShareWindowStatus status) {
    change([&](auto& s) { s.status = status; });
  }

  const ProtectedShareAccessoryState& state() const { return state_.value(); }
  runtime::Subscription observe(runtime::Published<ProtectedShareAccessoryState>::Observer o) {
    return state_.observeNextTurn(std::move(o));
  }

 private:
  template <class F>
  void change(F&& edit) {
    auto next = state_.value();
    edit(next);
    state_.setIfChanged(next);
  }

  runtime::Published<ProtectedShareAccessoryState> state_;
};

}  // namespace corvane::share_window
