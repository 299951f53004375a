#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "menubar/menu_bar_status_item.h"

class QMenu;
class QSystemTrayIcon;

namespace corvane::ui {

class QuitShortcut;
class MenuBarPopoverView;
class StatusNotifierHostWatch;

// The tray icon on this desktop: a QSystemTrayIcon (a StatusNotifierItem where a watcher runs,
// an XEmbed icon in the system tray otherwise) drawn from our symbols in the theme's text colour
// inside a contrasting outline, re-tinted when the theme changes. Whether a tray runs is known
// without waiting for it: a StatusNotifierItem host through a StatusNotifierHostWatch, an XEmbed
// tray by the icon window Qt embeds in it (Qt's own availability check would wait on the host
// while the host may be waiting on us). The popover is a popup window
// placed at the icon (at the pointer when the tray does not say where the icon is); the context
// menu opens Corvane, its settings or quits; the fall-back is an ordinary taskbar window titled
// "Corvane" holding the same content. Main thread only.
class QtMenuBarStatusItem final : public menubar::MenuBarStatusItem {
 public:
  static constexpr int kIconSize = 22;
  static constexpr int kPopoverGap = 4;
  static constexpr const char* kTaskbarWindowTitle = "Corvane";
  static constexpr const char* kOpenTitle = "Open Corvane";
  static constexpr const char* kSettingsTitle = "Settings…";
  static constexpr const char* kQuitTitle = "Quit Corvane";

  // `isPanelHidden` says whether the panel an XEmbed tray embedded the icon's window (by its
  // number) in is out of sight for now; without it no tray counts as hidden.
  explicit QtMenuBarStatusItem(std::function<bool(WId)> isPanelHidden = nullptr);
  ~QtMenuBarStatusItem() override;
  QtMenuBarStatusItem(const QtMenuBarStatusItem&) = delete;
  QtMenuBarStatusItem& operator=(const QtMenuBarStatusItem&) = delete;

  void setVisible(bool visible) override;
  bool isVisible() const override;
  bool isTrayAvailable() const override;
  bool isIconInTray() const override;
  std::optional<platform::Rect> geometry() const override;
  bool isTrayHidden() const override;
  bool setSymbol(const std::string& systemImage) override;
  void setToolTip(const std::string& text) override;
  void setActivationHandler(std::function<void()> handler) override;
  void setMenuActions(std::function<void()> open, std::function<void()> settings,
                      std::function<void()> quit) override;

  void setPopoverContent(std::weak_ptr<menubar::MenuBarController> controller,
                         menubar::MenuBarPopoverActions actions) override;
  void setPopoverHandlers(std::function<void()> didShow,
                          std::function<void(std::optional<platform::Point>)> didClose) override;
  bool isPopoverShown() const override;
  void showPopover() override;
  void closePopover() override;

  bool showTaskbarWindow() override;

  // For tests and screenshots.
  QSystemTrayIcon* trayIcon() const { return icon_.get(); }
  QMenu* contextMenu() const { return contextMenu_.get(); }
  // The XEmbed icon window Qt made for the tray, when there is one.
  QWidget* embeddedIconWindow() const;
  QWidget* popover() const;
  MenuBarPopoverView* popoverView() const { return popoverView_; }
  QWidget* taskbarWindow() const { return taskbarWindow_.get(); }
  // Where the popover goes for an icon at `icon` (or a pointer at `pointer`) on a screen whose
  // usable area is `available`: centred under an icon in the upper half of the screen, above one
  // in the lower half, kept inside the area.
  static QPoint popoverOrigin(const QRect& icon, const QSize& popover, const QRect& available);

 private:
  class Popup;
  class ThemeWatcher;
  void applySymbol();

  std::function<bool(WId)> isPanelHidden_;
  std::unique_ptr<QMenu> contextMenu_;
  std::unique_ptr<QuitShortcut> quitShortcut_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  std::unique_ptr<ThemeWatcher> themeWatcher_;
  std::unique_ptr<StatusNotifierHostWatch> statusNotifierHosts_;
  std::unique_ptr<Popup> popup_;
  MenuBarPopoverView* popoverView_ = nullptr;
  std::unique_ptr<QWidget> taskbarWindow_;
  std::weak_ptr<menubar::MenuBarController> controller_;
  std::optional<menubar::MenuBarPopoverActions> actions_;
  std::string symbol_;
  bool visibleRequested_ = false;
  std::function<void()> activation_;
  // The icon window found last: the watch asks for it every second, and Qt deletes it (which
  // clears this) when the tray goes away.
  mutable QPointer<QWidget> embeddedIconWindow_;
};

}  // namespace corvane::ui
