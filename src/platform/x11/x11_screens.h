#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/screens.h"
#include "platform/x11/x_event_pump.h"
#include "runtime/observers.h"

namespace corvane::platform::x11 {

// The RandR monitors as screens, with the work area as the visible frame (without one, what the
// docks' struts leave free of each monitor). Watches RandR, the work area and the docks on a
// thread of its own and posts kScreenParametersDidChange on the main actor
// when the layout changes.
class X11Screens final : public Screens, public std::enable_shared_from_this<X11Screens> {
 public:
  // Reads the layout once before returning, then keeps it up to date.
  static runtime::Result<std::shared_ptr<X11Screens>> open(const std::string& displayName = {});
  ~X11Screens() override;

  std::vector<Screen> screens() const override;
  runtime::Subscription observeChanges(std::function<void()> observer) override {
    return observers_.add(std::move(observer));
  }

 private:
  X11Screens() = default;
  void update(std::vector<Screen> screens);

  mutable std::mutex mutex_;
  std::vector<Screen> screens_;
  runtime::Observers<> observers_;
  XEventPump pump_;
};

// The screens of a display as it is now, and whether it publishes a work area (without one the
// screens keep clear of the docks' strips, read with them).
struct ScreenLayout {
  std::vector<Screen> screens;
  bool hasWorkArea = false;
};
ScreenLayout readScreenLayout(Display* display);
inline std::vector<Screen> readScreens(Display* display) {
  return readScreenLayout(display).screens;
}

}  // namespace corvane::platform::x11
