#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/window_system.h"

namespace corvane::app {

// The shield's content: the guarded display's name and the action of its stop button.
using SourceGuardContentFactory = std::function<std::shared_ptr<platform::ContentView>(
    const std::string& displayName, std::function<void()> stopAction)>;

// The source guard: a full-screen shield over the real display being shared from, shown while a
// session starts under the strict share guard or after it was sealed by a failure. It covers the
// whole display (not only its work area), stays above ordinary and full-screen windows on every
// desktop (below the presenter control bar), takes the keyboard and offers one button, bound to
// Escape, that stops the session. Main actor only.
class SourceGuardManager {
 public:
  // Above ordinary and full-screen windows, below the presenter control bar.
  static constexpr platform::WindowLevel sealedSourceLevel = platform::WindowLevel::status;

  SourceGuardManager(std::shared_ptr<platform::WindowSystem> windowSystem,
                     SourceGuardContentFactory contentFactory);

  // Puts the shield on the display (else the main screen, else the first), brings it to the front
  // with the keyboard and activates the application. On the display it already covers only the
  // content is replaced; on another the shield is rebuilt there. With no screen at all nothing
  // changes.
  void show(std::optional<std::uint32_t> displayID, const std::string& displayName,
            std::function<void()> stopAction);
  // Takes the shield down; safe at any time.
  void hide();

  // The shield's window while it is shown; null otherwise.
  const std::shared_ptr<platform::TopLevelWindow>& panel() const { return panel_; }

 private:
  std::optional<platform::Screen> screen(std::optional<std::uint32_t> displayID) const;
  std::shared_ptr<platform::TopLevelWindow> makePanel(const platform::Screen& screen);

  std::shared_ptr<platform::WindowSystem> windowSystem_;
  SourceGuardContentFactory contentFactory_;
  std::shared_ptr<platform::TopLevelWindow> panel_;
  std::uint32_t panelDisplayID_ = 0;
};

}  // namespace corvane::app
