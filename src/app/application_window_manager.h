#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/geometry.h"
#include "platform/window_system.h"

namespace corvane::app {

class CorvaneController;

// What the setup window shows: built once, with the controller, a closure that shows the settings
// window and one that closes the setup window.
using SetupWindowContentFactory = std::function<std::shared_ptr<platform::ContentView>(
    const std::shared_ptr<CorvaneController>& controller, std::function<void()> showSettings,
    std::function<void()> close)>;
// What the settings window shows: built once, with the controller.
using SettingsWindowContentFactory = std::function<std::shared_ptr<platform::ContentView>(
    const std::shared_ptr<CorvaneController>& controller)>;

// The host of the two ordinary windows, "Corvane Setup" and "Corvane Settings". Each is made on
// first use and kept: closing one only orders it out, and the next show brings the same window,
// with its view state, forward again. Main actor only.
class ApplicationWindowManager : public std::enable_shared_from_this<ApplicationWindowManager> {
 public:
  static constexpr const char* kSetupTitle = "Corvane Setup";
  static constexpr const char* kSettingsTitle = "Corvane Settings";
  static constexpr platform::Size kSetupSize{820, 500};
  static constexpr platform::Size kSetupMinimumSize{760, 480};
  static constexpr platform::Size kSettingsSize{760, 520};
  static constexpr platform::Size kSettingsMinimumSize{720, 440};

  ApplicationWindowManager(std::shared_ptr<platform::WindowSystem> windowSystem,
                           SetupWindowContentFactory setupContent,
                           SettingsWindowContentFactory settingsContent);

  void showSetup(const std::shared_ptr<CorvaneController>& controller);
  void showSettings(const std::shared_ptr<CorvaneController>& controller);

  // Absent until first shown.
  const std::shared_ptr<platform::TopLevelWindow>& setupWindow() const { return setupWindow_; }
  const std::shared_ptr<platform::TopLevelWindow>& settingsWindow() const {
    return settingsWindow_;
  }
  // Whether either window is ordered in.
  bool hasVisibleWindow() const;

 private:
  std::shared_ptr<platform::TopLevelWindow> makeWindow(const std::string& title,
                                                       platform::Size size,
                                                       platform::Size minimumSize) const;
  std::shared_ptr<platform::TopLevelWindow> makeSetupWindow(
      const std::shared_ptr<CorvaneController>& controller);
  std::shared_ptr<platform::TopLevelWindow> makeSettingsWindow(
      const std::shared_ptr<CorvaneController>& controller);
  void bringForward(platform::TopLevelWindow& window);

  std::shared_ptr<platform::WindowSystem> windowSystem_;
  SetupWindowContentFactory setupContent_;
  SettingsWindowContentFactory settingsContent_;
  std::shared_ptr<platform::TopLevelWindow> setupWindow_;
  std::shared_ptr<platform::TopLevelWindow> settingsWindow_;
};

}  // namespace corvane::app
