#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "menubar/menu_bar_popover_actions.h"
#include "platform/geometry.h"

namespace corvane::menubar {

// The tray icon with its popover and the ordinary taskbar window that stands in for both when
// no tray shows the icon. The toolkit implements it (a system tray icon: a StatusNotifierItem
// where a watcher runs, an XEmbed icon otherwise); the status item controller drives it. Main
// actor only.
class MenuBarStatusItem {
 public:
  virtual ~MenuBarStatusItem() = default;

  // ---- The icon --------------------------------------------------------------------------------
  virtual void setVisible(bool visible) = 0;
  // Asked to be shown. True even when no tray exists, so never enough on its own.
  virtual bool isVisible() const = 0;
  // A tray host runs: a StatusNotifierItem watcher, or an XEmbed system tray on this screen.
  virtual bool isTrayAvailable() const = 0;
  // The tray holds the icon: embedded and mapped (XEmbed) or registered (StatusNotifierItem).
  virtual bool isIconInTray() const = 0;
  // The icon's rectangle in desktop points; none when the tray does not say (a
  // StatusNotifierItem never does).
  virtual std::optional<platform::Rect> geometry() const = 0;
  // The panel holding the tray is out of sight for now (an auto-hiding panel slid away): the
  // icon is neither placed nor lost.
  virtual bool isTrayHidden() const = 0;
  // Sets the icon to the symbol, drawn as a mask in the panel's colours. False, leaving the icon
  // as it was, when the symbol cannot be drawn.
  virtual bool setSymbol(const std::string& systemImage) = 0;
  virtual void setToolTip(const std::string& text) = 0;
  // Runs `handler` when the user activates the icon (a primary click).
  virtual void setActivationHandler(std::function<void()> handler) = 0;
  // The icon's context menu: "Open Corvane", "Settings…" and "Quit Corvane", running these.
  // Ctrl+Q in any of the application's windows runs `quit` too.
  virtual void setMenuActions(std::function<void()> open, std::function<void()> settings,
                              std::function<void()> quit) = 0;

  // ---- The popover -----------------------------------------------------------------------------
  // Builds the popover's content over the controller, with these actions.
  virtual void setPopoverContent(std::weak_ptr<MenuBarController> controller,
                                 MenuBarPopoverActions actions) = 0;
  // `didShow` after the popover opened; `didClose` after it closed, with the place of the press
  // outside it that closed it (none when it closed otherwise: Escape, a toggle, focus loss).
  virtual void setPopoverHandlers(
      std::function<void()> didShow,
      std::function<void(std::optional<platform::Point> closingPress)> didClose) = 0;
  virtual bool isPopoverShown() const = 0;
  // At the icon, or at the pointer when the icon's place is unknown.
  virtual void showPopover() = 0;
  virtual void closePopover() = 0;

  // ---- The fall-back ---------------------------------------------------------------------------
  // Shows an ordinary taskbar window holding the popover's content; true when it is shown.
  virtual bool showTaskbarWindow() = 0;
};

}  // namespace corvane::menubar
