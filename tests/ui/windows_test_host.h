#pragma once

#include <memory>

#include "model/in_memory_defaults_store.h"
#include "support/windows_controller_double.h"
#include "ui/qt_window_system.h"
#include "ui/windows/onboarding_view.h"
#include "ui/windows/settings_root_view.h"

namespace corvane::ui::testing {

// Builds the setup and settings windows the way the application's window host does (titles,
// sizes, minimum sizes, the content factories), over a stand-in controller. Showing a window
// makes it once and then only brings it forward; the setup window's Close orders it out.
class WindowsTestHost {
 public:
  WindowsTestHost(std::shared_ptr<platform::WindowSystem> windowSystem,
                  std::shared_ptr<corvane::testing::WindowsControllerDouble> controller,
                  SettingsSectionViews sections = standardSettingsSectionViews())
      : windowSystem_(std::move(windowSystem)),
        controller_(std::move(controller)),
        settingsFactory_(makeSettingsWindowContentFactory(std::move(sections))) {}

  void showSetup() {
    if (!setup_) {
      setup_ = windowSystem_->makeWindow({{0, 0}, {820, 500}}, platform::WindowStyle::titled);
      setup_->setTitle("Corvane Setup");
      setup_->setMinSize({760, 480});
      std::weak_ptr<platform::TopLevelWindow> window = setup_;
      checklist_ = std::make_shared<windows::SetupChecklist>(
          controller_, defaults, [this] { showSettings(); },
          [window] {
            if (auto strong = window.lock()) strong->orderOut();
          });
      setup_->setContentView(makeSetupWindowContentFactory()(checklist_));
    }
    setup_->makeKeyAndOrderFront();
  }

  void showSettings() {
    if (!settings_) {
      settings_ = windowSystem_->makeWindow({{0, 0}, {760, 520}}, platform::WindowStyle::titled);
      settings_->setTitle("Corvane Settings");
      settings_->setMinSize({720, 440});
      settings_->setContentView(settingsFactory_(controller_));
    }
    settings_->makeKeyAndOrderFront();
  }

  const std::shared_ptr<platform::TopLevelWindow>& setupWindow() const { return setup_; }
  const std::shared_ptr<platform::TopLevelWindow>& settingsWindow() const { return settings_; }
  OnboardingView& setupView() const { return *static_cast<OnboardingView*>(widget(setup_)); }
  SettingsRootView& settingsView() const {
    return *static_cast<SettingsRootView*>(widget(settings_));
  }
  QWidget* host(const std::shared_ptr<platform::TopLevelWindow>& window) const {
    return static_cast<QtWindow&>(*window).hostWidget();
  }

  std::shared_ptr<model::InMemoryDefaultsSuite> defaults =
      std::make_shared<model::InMemoryDefaultsSuite>("com.pemberquist.corvane");

 private:
  static QWidget* widget(const std::shared_ptr<platform::TopLevelWindow>& window) {
    return std::dynamic_pointer_cast<QtContentView>(window->contentView())->widget();
  }

  std::shared_ptr<platform::WindowSystem> windowSystem_;
  std::shared_ptr<corvane::testing::WindowsControllerDouble> controller_;
  windows::SettingsWindowContentFactory settingsFactory_;
  std::shared_ptr<windows::SetupChecklist> checklist_;
  std::shared_ptr<platform::TopLevelWindow> setup_;
  std::shared_ptr<platform::TopLevelWindow> settings_;
};

}  // namespace corvane::ui::testing
