#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/geometry.h"
#include "runtime/subscription.h"

namespace corvane::platform {

// The window-manager states a toolkit has no flag for: on every desktop, out of the taskbar and
// out of the pager.
struct ExtraWindowStates {
  // On every virtual desktop; turned off, the window goes to the current desktop.
  bool sticky = false;
  bool skipTaskbar = false;
  bool skipPager = false;

  bool operator==(const ExtraWindowStates&) const = default;
};

// Sets those states on a window, by its native window number.
class WindowStateHints {
 public:
  virtual ~WindowStateHints() = default;
  // `mapped`: the window is on screen, so its states belong to the window manager.
  virtual void apply(std::uint32_t windowNumber, bool mapped, const ExtraWindowStates& states) = 0;
  // Puts the window on the virtual desktop the user is on now, unless it is on every desktop.
  // `mapped` as for apply().
  virtual void moveToCurrentDesktop(std::uint32_t windowNumber, bool mapped) = 0;
  // Makes the window transient for `parentNumber` (0: for none). Window managers keep a transient
  // window above its parent and in at least the parent's layer.
  virtual void setTransientFor(std::uint32_t windowNumber, std::uint32_t parentNumber) = 0;
  // With `shown` false, puts a mapped window out of the local user's sight while it stays mapped
  // where it is, whole on the screen, so that another program's capture of that window, however
  // it reads it, still receives its frames: beneath every other window (a desktop window too,
  // where the window manager lets it) and letting the mouse through, the same window in the same
  // frame throughout. With `shown` true, the mouse reaches it again; bringing it forward and its
  // frame are the caller's.
  virtual void setShownLocally(std::uint32_t windowNumber, bool shown) = 0;

  // What the window manager says its frame adds around the window; none while it has said
  // nothing. Reads what the display server holds, never waits for the window manager.
  virtual std::optional<FrameExtents> frameExtents(std::uint32_t windowNumber) = 0;
  // Asks the window manager to say it for a window it has not put on screen yet; the answer comes
  // later, as a change observed below.
  virtual void requestFrameExtents(std::uint32_t windowNumber) = 0;
  // Runs `handler` with a window's number each time the window manager said anew what its frame
  // around that window is.
  virtual runtime::Subscription observeFrameExtentChanges(
      std::function<void(std::uint32_t windowNumber)> handler) = 0;
  // With `keep` true, gives the window contents of its own, which the display server draws on the
  // screen, for as long as its maker's connection lives: whoever reads the window (a recorder)
  // then reads what it drew, never what another window lying over it shows, whatever other
  // programs do meanwhile. With `keep` false (the window unmapped), lets that go.
  virtual void keepContentsReadable(std::uint32_t windowNumber, bool keep) = 0;
};

}  // namespace corvane::platform
