#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "menubar/presenter_control_bar_state.h"
#include "platform/defaults_store.h"
#include "platform/window_system.h"
#include "platform/workspace.h"

namespace corvane::menubar {

// What the bar offers besides its mode, as the controller hands it to show().
struct PresenterControlBarContent {
  PresenterControlBarAction previewVisibilityAction;
  bool isPreviewHidden = false;
  PresenterControlBarAction fitPreviewAction;
  PresenterControlBarAction actualSizePreviewAction;
  bool isPreviewActualSize = false;
  PresenterControlBarAction movePreviewAction;
  PresenterControlBarAction secondaryAction;
  PresenterControlBarAction reviewAction;
  // The primary control: stop, or cancel while preparing.
  PresenterControlBarAction action;
  // Where controls of the application's own windows lie on the screen (the Protected Share
  // window's title bar and toolbar): the bar is placed where it covers none of them.
  std::vector<platform::Rect> controlAreas;
};

// Makes the bar's content over its state: the Qt view in the app, a stand-in in tests.
using PresenterControlBarContentFactory = std::function<std::shared_ptr<platform::ContentView>(
    const std::shared_ptr<PresenterControlBarState>& state)>;

// Puts the presenter control bar on screen while a session runs: a small borderless panel above
// ordinary and full-screen windows (and above the source guard), on every desktop, out of the
// taskbar, that never takes the keyboard when shown and is dragged by its background. It is placed
// at the position saved for its display, else in the screen corner that covers least of the
// frontmost application's windows; it keeps its nearest edges when it changes size, walks the
// corners on request and stays inside the work area after a drag. It never goes where it would
// cover a control of the application's own windows (the content's control areas): not when it is
// placed, nor when it walks the corners, and when those controls move under it, it moves to the
// least obstructive corner clear of them (only when every corner covers one may it). Its position
// per display and its collapsed state persist in the application's own defaults suite. Main actor
// only.
//
// Frames are in desktop points with the origin at the top left; a saved position is the panel's
// origin as an offset from its work area's top-left corner.
class PresenterControlBarManager : public std::enable_shared_from_this<PresenterControlBarManager> {
 public:
  static constexpr platform::Size expandedSize{580, 62};
  static constexpr platform::Size collapsedSize{210, 40};
  static constexpr double cornerInset = 12;
  static constexpr const char* collapsedDefaultsKey = "presenterControlBarCollapsed";
  static constexpr const char* positionDefaultsKeyPrefix = "presenterControlBarOrigin.";
  static constexpr const char* panelTitle = "Protected Share controls";
  // Above the source guard's level: the bar stays usable over the guard.
  static constexpr platform::WindowLevel controlWindowLevel = platform::WindowLevel::screenSaver;

  // `defaults` is the application's own suite (PreferencesStore::applicationDefaults), never the
  // QA suite. The collapsed state is read from it once, here.
  PresenterControlBarManager(std::shared_ptr<platform::WindowSystem> windowSystem,
                             std::shared_ptr<const platform::Workspace> workspace,
                             std::shared_ptr<platform::DefaultsSuite> defaults,
                             PresenterControlBarContentFactory contentFactory);

  // Shows the bar on the display (else the main screen, else the first) with this mode and
  // content. A bar on another display is saved and rebuilt there. Called on every bar refresh,
  // which may be every frame: when nothing changed it changes nothing, redraws nothing and
  // writes nothing.
  void show(std::optional<std::uint32_t> displayID, const PresenterControlBarMode& mode,
            PresenterControlBarContent content);
  // Saves the position and drops the panel; the next show makes a new one.
  void hide();
  void toggleCollapsed();
  void moveToNextCorner();

  const std::shared_ptr<PresenterControlBarState>& state() const { return state_; }
  // The panel while the bar is shown; null while hidden.
  const std::shared_ptr<platform::TopLevelWindow>& panel() const { return panel_; }

  // Placement, public for the table tests.
  std::optional<platform::Screen> screen(std::optional<std::uint32_t> displayID) const;
  platform::Rect initialFrame(const platform::Screen& screen, platform::Size size) const;
  platform::Rect leastObstructiveCornerFrame(const platform::Screen& screen,
                                             platform::Size size) const;
  static std::string positionDefaultsKey(const platform::Screen& screen);
  static std::array<platform::Rect, 4> cornerFrames(const platform::Screen& screen,
                                                    platform::Size size);
  static platform::Rect clamped(const platform::Rect& rect, const platform::Rect& bounds);
  // The frame of a panel at `current` resized to `size`, keeping its edges nearest to the work
  // area's: the right edge when the frame's centre is at or right of the work area's centre,
  // else the left; the top edge when the frame's centre is at or above the work area's centre,
  // else the bottom. Then clamped to the work area.
  static platform::Rect anchoredFrame(const platform::Rect& current, platform::Size size,
                                      const platform::Rect& visibleFrame);
  // The corner (in the order of cornerFrames) whose summed overlap with `windows` is smallest;
  // the earlier corner wins a tie. Corners that touch one of `controlAreas` are passed over while
  // another does not.
  static platform::Rect leastObstructiveCorner(
      const std::array<platform::Rect, 4>& corners, const std::vector<platform::Rect>& windows,
      const std::vector<platform::Rect>& controlAreas = {});
  // A point as stored: "{x, y}". Parsing anything else gives (0, 0).
  static std::string positionString(platform::Point point);
  static platform::Point parsePosition(const std::string& text);

 private:
  platform::Size currentSize() const;
  std::optional<platform::Screen> screenOf(const platform::TopLevelWindow& window) const;
  std::shared_ptr<platform::TopLevelWindow> makePanel(const platform::Screen& screen);
  void applyPanelSize(const platform::Screen& screen, bool preserveAnchor);
  void setPanelFrame(const platform::Rect& frame);
  void clampAndSavePosition(platform::TopLevelWindow& window);
  void savePosition(const platform::TopLevelWindow& window);
  void handlePanelMoved();
  bool coversControls(const platform::Rect& frame) const;

  std::shared_ptr<platform::WindowSystem> windowSystem_;
  std::shared_ptr<const platform::Workspace> workspace_;
  std::shared_ptr<platform::DefaultsSuite> defaults_;
  PresenterControlBarContentFactory contentFactory_;

  std::shared_ptr<PresenterControlBarState> state_;
  std::shared_ptr<platform::TopLevelWindow> panel_;
  runtime::Subscription moveObserver_;
  bool isApplyingProgrammaticFrame_ = false;
  std::vector<platform::Rect> controlAreas_;
};

}  // namespace corvane::menubar
