#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/window_system.h"
#include "runtime/generation.h"
#include "runtime/published.h"
#include "share_window/direct_share_test_state.h"
#include "share_window/protected_share_window_controller.h"
#include "share_window/protection_status.h"
#include "share_window/titlebar_accessory.h"
#include "share_window/viewport_state.h"

namespace corvane::share_window {

inline constexpr const char* kProtectedShareWindowTitle = "Corvane Protected Share";

// How the output window is presented right now.
enum class ProtectedSharePresentation {
  none,            // no window on screen
  preview,         // the local preview: titled, not shared, no frame
  sessionWaiting,  // the session window before its first frame: unmapped, nothing capturable
  live,            // the live output: shared, drawing the output surface
  liveHidden,      // the live output, still shared, hidden on this screen
};

class ProtectedShareWindowManager;

// Makes the window's content: the output view with its canvas, status and controls. The app's
// factory builds the Qt view; tests may build a recording stand-in.
using ProtectedShareContentFactory = std::function<std::shared_ptr<platform::ContentView>(
    ProtectedShareWindowManager& manager,
    const std::shared_ptr<ProtectedShareWindowController>& controller)>;

// Owns the one output window, "Corvane Protected Share": its preview, session, live and
// hidden-on-this-screen presentations, its sizing, its status and when it may be captured. The
// window shows nothing capturable until publishLiveFrame has made it the live output, and its
// view draws the output surface only while the presentation is live or liveHidden. Main actor only.
class ProtectedShareWindowManager
    : public std::enable_shared_from_this<ProtectedShareWindowManager> {
 public:
  ProtectedShareWindowManager(std::shared_ptr<platform::WindowSystem> windowSystem,
                              ProtectedShareContentFactory contentFactory);

  // Fields the controller reads or writes.
  const std::shared_ptr<platform::TopLevelWindow>& window() const { return window_; }
  bool isSessionWindow() const { return isSessionWindow_; }
  bool hasPublishedLiveFrame() const { return hasPublishedLiveFrame_; }
  bool isLiveWindowHiddenLocally() const { return isLiveWindowHiddenLocally_; }
  const DirectShareTestState& directShareTestState() const { return directShareTestState_; }
  void setDirectShareTestState(DirectShareTestState state);
  bool directShareTestOutputEligible() const { return directShareTestOutputEligible_; }
  void setDirectShareTestOutputEligible(bool eligible) {
    directShareTestOutputEligible_ = eligible;
  }
  const std::shared_ptr<ProtectedShareTitlebarAccessory>& accessoryView() const {
    return accessory_;
  }
  const ProtectedShareViewportState& viewportState() const { return viewport_.value(); }

  // Observable for the view (delivered on the next turn of the main actor).
  runtime::Published<ProtectedShareViewportState>& viewportPublisher() { return viewport_; }
  runtime::Published<ProtectedSharePresentation>& presentationPublisher() { return presentation_; }
  ProtectedSharePresentation presentation() const { return presentation_.value(); }
  const ProtectionStatusFlags& protectionStatus() const { return flags_; }

  // Creates the output window once and returns it (later calls return the same window).
  std::shared_ptr<platform::TopLevelWindow> ensureWindow(
      const std::shared_ptr<ProtectedShareWindowController>& controller);
  // The local preview: titled, normal level, not shared; the caller orders it front.
  void configurePreview(platform::TopLevelWindow& window);
  // Makes the window the borderless session window over the display (the main display when it is
  // absent or gone) and orders it in, unmapped until the first frame. True when it is then in the
  // window order with a window number; false also when there is no screen.
  bool beginSession(const std::shared_ptr<ProtectedShareWindowController>& controller,
                    std::optional<std::uint32_t> displayID);
  // Turns the session window into the live output at `pixelSize` and only then shares it. True
  // when it is shared and on screen; a non-positive size only asks whether it is shared already.
  bool publishLiveFrame(platform::Size pixelSize);
  // Ends the session presentation (sharing none, session and live state cleared); with
  // closeWindow the window is also ordered out.
  void endSession(bool closeWindow);
  // Tears the window down at termination.
  void close();

  bool hideLiveWindowLocally();
  bool showLiveWindowLocally();
  bool restoreLiveWindowFrame(platform::TopLevelWindow& window);
  void reassertSessionWindow();
  void refreshWindowOrderingPolicy();
  bool screenParametersDidChange();

  // Where the shown live window's controls lie on the screen: its title bar (the window
  // manager's) and its toolbar above the image. None while it is not shown here.
  std::vector<platform::Rect> controlAreas() const;

  void fitLiveWindow();
  void showLiveWindowAtActualSize();
  void moveLivePreviewToNextCorner();

  void updateProtectionStatus(bool isFailed, bool isHoldingSafeFrame, bool isPublishingPaused,
                              bool isSourceContextTransitioning, bool isCheckingChanges,
                              bool hasRecoveryMessage);

  // The controller the window was made for (empty once it is gone).
  std::shared_ptr<ProtectedShareWindowController> controller() const { return controller_.lock(); }

 private:
  std::optional<platform::Screen> screenForWindow() const;
  double backingScale(const platform::Screen& screen) const;
  platform::Size pointSize(const platform::Screen& screen) const;
  void applySizing(const platform::Screen& screen);
  // Puts the shown live window (or the preview) back inside its screen's work area with its
  // window manager's frame around it, after the frame or the work area changed; with
  // `frameChanged` a fitted window is fitted again to take the room the new frame leaves.
  void keepWindowInside(bool frameChanged);
  void presentLiveWindowAttributes();
  void setPresentation(ProtectedSharePresentation presentation);
  void refreshStatus();
  // After the screen changed: whether the live window still has the size it went live with.
  void compareWithRecordedSize();
  // Corvane sized the window on the screen it is recorded on (its frame came, the user chose Fit
  // or Actual Size): recorders that start now read it at this size, and a screen change is
  // measured against it.
  void takeSizeAsRecorded();
  void resetSessionState();
  bool isLiveAndShown() const;

  std::shared_ptr<platform::WindowSystem> windowSystem_;
  ProtectedShareContentFactory contentFactory_;
  std::weak_ptr<ProtectedShareWindowController> controller_;

  std::shared_ptr<platform::TopLevelWindow> window_;
  runtime::Subscription frameExtentsObservation_;
  std::shared_ptr<ProtectedShareTitlebarAccessory> accessory_;
  bool isSessionWindow_ = false;
  bool hasPublishedLiveFrame_ = false;
  bool isLiveWindowHiddenLocally_ = false;
  DirectShareTestState directShareTestState_;
  bool directShareTestOutputEligible_ = false;
  std::optional<std::uint32_t> sessionDisplayID_;

  std::optional<platform::Rect> savedFrame_;
  std::optional<platform::Size> savedMinSize_;
  // The live window's size once settled on the screen it went live on (framed by the window
  // manager, sized by the user): what a recorder reading it by id started with.
  std::optional<platform::Size> recordedSize_;
  bool resizedUnderRecorders_ = false;

  runtime::Published<ProtectedShareViewportState> viewport_;
  runtime::Published<ProtectedSharePresentation> presentation_{ProtectedSharePresentation::none};

  ProtectionStatusFlags flags_;
  bool holdingShown_ = false;
  runtime::Generation holdingGeneration_;
};

}  // namespace corvane::share_window
