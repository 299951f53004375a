#pragma once

#include "platform/x11/xlib.h"

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/window_states.h"
#include "platform/x11/hidden_window_keeper.h"
#include "platform/x11/x_atoms.h"
#include "runtime/observers.h"

namespace corvane::platform::x11 {

// EWMH window states. Each is set on the window's _NET_WM_STATE property while it is unmapped,
// and asked of the window manager with a client message once it is mapped (without a window
// manager nobody would answer, so the property is kept right directly). Sticky also sets
// _NET_WM_DESKTOP to 0xFFFFFFFF, for window managers that read only that.
//
// Works on the connection that made the windows (the toolkit's), so its requests follow the
// window's creation; used on that connection's thread (the main actor). It never waits for the
// window manager: what it reads (a window's states and desktop, the frame extents, whether a
// window manager runs) is what the server holds.
//
// Local hiding leaves the window mapped where it is, whole on the screen, with its type and its
// window manager's frame (the X server still draws it into the pixmap another program's capture
// reads, and a recorder that holds its top level keeps it): a HiddenWindowKeeper, on its own
// thread and connection, makes every request that takes it out of sight and brings it back, in
// the order asked. The caller raises it when shown; the keeper raises it again after the
// lowerings it made or asked for.
class X11WindowStateHints final : public WindowStateHints {
 public:
  explicit X11WindowStateHints(Display* display);
  ~X11WindowStateHints() override;
  void apply(std::uint32_t windowNumber, bool mapped, const ExtraWindowStates& states) override;
  // _NET_WM_DESKTOP set to _NET_CURRENT_DESKTOP, asked of the window manager once mapped.
  void moveToCurrentDesktop(std::uint32_t windowNumber, bool mapped) override;
  // WM_TRANSIENT_FOR, which the window manager follows on a mapped window too.
  void setTransientFor(std::uint32_t windowNumber, std::uint32_t parentNumber) override;
  void setShownLocally(std::uint32_t windowNumber, bool shown) override;
  // _NET_FRAME_EXTENTS as the server holds it.
  std::optional<FrameExtents> frameExtents(std::uint32_t windowNumber) override;
  // _NET_REQUEST_FRAME_EXTENTS.
  void requestFrameExtents(std::uint32_t windowNumber) override;
  runtime::Subscription observeFrameExtentChanges(
      std::function<void(std::uint32_t windowNumber)> handler) override;

  // The toolkit's event loop reports each PropertyNotify of its connection here (main actor).
  void propertyChanged(Window window, Atom property);
  // An automatic Composite redirect of the window itself, on the window's own connection.
  void keepContentsReadable(std::uint32_t windowNumber, bool keep) override;

 private:
  // The atoms it needs besides Atoms'.
  enum class HintAtom {
    requestFrameExtents,
    sticky,
    skipTaskbar,
    skipPager,
  };
  static constexpr int kHintAtomCount = 4;
  // Windows whose desktop is remembered at most; more are forgotten together.
  static constexpr std::size_t kMostRememberedWindows = 64;

  Atom atom(HintAtom which) const { return hintAtoms_[static_cast<std::size_t>(which)]; }
  // Whether a window manager runs: read until one is seen, then again only after the root says
  // the window manager changed.
  bool hasWindowManager();

  Display* display_;
  std::optional<Atoms> atoms_;
  std::array<Atom, kHintAtomCount> hintAtoms_{};
  bool windowManagerSeen_ = false;
  // Whether each window was last asked to be on every desktop.
  std::map<Window, bool> stickyAsked_;
  std::set<Window> hidden_;
  std::unique_ptr<HiddenWindowKeeper> keeper_;
  runtime::Observers<std::uint32_t> frameExtentChanges_;
};

// What the server holds for a window, for checks: the names of its _NET_WM_STATE atoms, its
// _NET_WM_DESKTOP (0xFFFFFFFF: all desktops) and whether it is viewable.
std::vector<std::string> netWmStateNames(Display* display, Window window);
std::optional<unsigned long> windowDesktop(Display* display, Window window);
bool isViewable(Display* display, Window window);

}  // namespace corvane::platform::x11
