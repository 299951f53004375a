#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "main/application_environment.h"
#include "model/diagnostic_reporter.h"
#include "operations/crash_reporter_runtime.h"
#include "operations/update_manager.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/window_system.h"
#include "runtime/result.h"

namespace corvane::ui {
class QtMenuBarStatusItem;
}

namespace corvane::wiring {

// The running application: every long-lived owner, built once in dependency order on the
// installed runtime and the running QApplication, and destroyed in the reverse order. Main
// thread only.
class CorvaneApplication {
 public:
  // Opens the bundle above bin/corvane, the settings, the event log, the X11 desktop and the Qt
  // window system, then builds the delegate (and with it the controller). Fails with the sentence
  // of the first piece that cannot be opened.
  static runtime::Result<std::unique_ptr<CorvaneApplication>> open(
      const std::filesystem::path& bundleRoot, const platform::WellKnownFolders& folders,
      std::vector<std::string> arguments);
  ~CorvaneApplication();
  CorvaneApplication(const CorvaneApplication&) = delete;
  CorvaneApplication& operator=(const CorvaneApplication&) = delete;

  void finishLaunching();
  // A later launch asked for this one.
  void reopen();
  // The workspace restore, then the engine stopped within its time-out and the event log
  // written out. Call once, after the event loop ended and before destruction.
  void terminate();

  const std::shared_ptr<app::AppDelegate>& delegate() const { return delegate_; }
  // The tray icon, its popover and its fall-back window.
  const std::shared_ptr<ui::QtMenuBarStatusItem>& trayIcon() const { return trayIcon_; }
  // Writes out settings changes still waiting on the store's queue.
  void flushSettings() { environment_.defaults->flush(); }

 private:
  CorvaneApplication() = default;
  void stopEngine();

  ApplicationEnvironment environment_;
  std::shared_ptr<model::DiagnosticReporter> eventLog_;
  platform::Desktop desktop_;
  std::shared_ptr<platform::WindowSystem> windowSystem_;
  std::shared_ptr<operations::UpdateManager> updateManager_;
  std::shared_ptr<operations::CrashReporterRuntime> crashReporter_;
  std::shared_ptr<ui::QtMenuBarStatusItem> trayIcon_;
  std::shared_ptr<app::AppDelegate> delegate_;
};

}  // namespace corvane::wiring
