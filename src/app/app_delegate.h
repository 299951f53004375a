#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/application_window_manager.h"
#include "app/corvane_controller_services.h"
#include "app/legacy_app_migration_status.h"
#include "model/production_configuration.h"
#include "runtime/clock.h"
#include "runtime/subscription.h"

namespace corvane::app {

class CorvaneController;

// Makes the tray item controller once launching has finished, with the controller and the
// closures that show the setup and the settings window; the delegate keeps what it returns for
// the life of the process.
using StatusItemFactory = std::function<std::shared_ptr<void>(
    const std::shared_ptr<CorvaneController>& controller, std::function<void()> showSetup,
    std::function<void()> showSettings)>;

// What the delegate needs besides the controller's own services.
struct AppDelegateServices {
  CorvaneControllerServices controller;
  SetupWindowContentFactory setupContent;
  SettingsWindowContentFactory settingsContent;
  // None: no tray item (the simulated desktop has no tray).
  StatusItemFactory makeStatusItem;
  // Starts crash reporting with the build's configuration.
  std::function<void(const model::ProductionConfiguration&)> startCrashReporting;
  // Standard Base64 to bytes as text; none when the text is not Base64.
  std::function<std::optional<std::string>(std::string_view)> decodeBase64;
};

// The application's front door: prepares the settings for launch, owns the controller, the window
// host and the tray item controller, decides whether the setup window opens at launch, reopens it
// when the user starts the application again with no window open, shows it when a brand-migration
// review becomes required, and announces termination so the controller puts the workspace back.
// Main actor only.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
 public:
  // The former brand's identifier, kept encoded and decoded when it is used.
  static constexpr const char* kEncodedFormerIdentifier = "Y29tLnBlbWJlcnF1aXN0LmhhbHZlcm1vb3I=";
  static constexpr const char* kSetupPresentationVersionKey = "setupPresentationVersion";

  // Construction: the window host, the launch preparation of the settings and the review
  // requirement (skipped with a QA suite), then the controller and its whole initialisation.
  static std::shared_ptr<AppDelegate> make(AppDelegateServices services);
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Crash reporting, the review observation, the tray item, the setup decision and the start-up
  // completion.
  void applicationDidFinishLaunching();
  // The application was started again (a second launch forwarded "reopen"). Always true.
  bool applicationShouldHandleReopen(bool hasVisibleWindows);
  // Stops the review observation and posts "CorvaneWillTerminate"; the controller's restore runs
  // inside that post.
  void applicationWillTerminate();
  void presentRequiredMigrationReview();

  const std::shared_ptr<CorvaneController>& controller() const { return controller_; }
  const std::shared_ptr<ApplicationWindowManager>& applicationWindowManager() const {
    return applicationWindowManager_;
  }

 private:
  explicit AppDelegate(AppDelegateServices services);
  void prepareSettingsForLaunch();
  std::function<void()> showSetupClosure();
  std::function<void()> showSettingsClosure();

  AppDelegateServices services_;
  std::shared_ptr<ApplicationWindowManager> applicationWindowManager_;
  std::shared_ptr<CorvaneController> controller_;
  std::shared_ptr<void> menuBarStatusItemController_;
  runtime::Subscription migrationReviewObservation_;
};

}  // namespace corvane::app
