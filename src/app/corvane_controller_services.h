#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/legacy_app_migration_advisor.h"
#include "app/source_guard_manager.h"
#include "menubar/presenter_control_bar_manager.h"
#include "model/diagnostic_reporter.h"
#include "model/event_recorder.h"
#include "platform/application_relauncher.h"
#include "platform/bundle.h"
#include "platform/defaults_store.h"
#include "platform/desktop.h"
#include "platform/desktop_icon_preference.h"
#include "platform/dialogs.h"
#include "platform/file_revealer.h"
#include "platform/process_table.h"
#include "platform/settings_opener.h"
#include "platform/window_system.h"
#include "runtime/notification_center.h"
#include "share_window/protected_share_window_manager.h"
#include "verification/source_redaction_overlay_content.h"
#include "windows/excluded_apps_view_model.h"

namespace corvane::operations {
class UpdateManager;
}

namespace corvane::app {

// Posted with no object on the application's notification centre.
inline constexpr const char* kMigrationReviewRequiredNotification =
    "CorvaneMigrationReviewRequired";
inline constexpr const char* kWillTerminateNotification = "CorvaneWillTerminate";

// Everything the controller works with, built by the composition root (the real desktop and
// stores) or by a test (the simulated desktop, in-memory stores).
struct CorvaneControllerServices {
  platform::Desktop desktop;
  std::shared_ptr<platform::WindowSystem> windowSystem;
  share_window::ProtectedShareContentFactory outputContentFactory;
  SourceGuardContentFactory sourceGuardContentFactory;
  verification::SourceRedactionOverlayContentFactory sourceRedactionOverlayContentFactory;
  menubar::PresenterControlBarContentFactory presenterControlBarContentFactory;

  // The active settings suite (the QA suite when one is active), and the store the
  // application's own suite (workspace repair, presenter bar) is opened from.
  std::shared_ptr<platform::DefaultsSuite> settings;
  std::shared_ptr<platform::DefaultsStore> defaultsStore;
  // The validated QA suite's name; present only in a QA run.
  std::optional<std::string> qaPreferencesSuiteName;

  std::shared_ptr<const platform::Bundle> bundle;
  std::int32_t ownProcessIdentifier = 0;
  std::vector<std::string> arguments;

  std::shared_ptr<platform::ProcessTable> processTable;
  // The installed application an excluded id names. An id it does not find is not protected (no
  // window can be told to be that application's) and is never counted as excluded. Empty: every
  // id counts as installed.
  windows::ApplicationEntryLookup applicationEntries;
  // Null on a desktop whose desktop-icon setting is not known.
  std::shared_ptr<platform::DesktopIconPreference> desktopIconPreference;
  std::shared_ptr<platform::SettingsOpener> settingsOpener;
  // Alerts; without it every question is answered as dismissed.
  std::shared_ptr<platform::Dialogs> dialogs;
  // Shows an exported file in the file manager.
  std::shared_ptr<platform::FileRevealer> fileRevealer;
  // Starts the new copy of a restart.
  std::shared_ptr<platform::ApplicationRelauncher> relauncher;
  // Quits the application as the user's Quit does (the termination notification first).
  std::function<void()> terminateApplication;
  // Where the former brand's desktop entry may be installed: the system's folders first.
  std::vector<std::filesystem::path> systemApplicationDirectories;
  std::optional<std::filesystem::path> userApplicationDirectory;
  std::string programSearchPath;

  model::EventRecorder recorder;
  // The event log exports are made from; absent: the process's shared log.
  std::shared_ptr<model::DiagnosticReporter> diagnostics;
  std::shared_ptr<operations::UpdateManager> updateManager;
  std::shared_ptr<runtime::NotificationCenter> notifications;
};

// The services with what a caller may leave out filled in (bundle, settings, notification
// centre), so their users never check for it. Aborts without every desktop service and a window
// system: a wiring mistake of the composition root, not something a user can meet.
CorvaneControllerServices completedServices(CorvaneControllerServices services);

// The former-brand advisor's view of completed services (the delegate asks it before the
// controller exists).
LegacyAppMigrationAdvisorServices advisorServices(const CorvaneControllerServices& services);

}  // namespace corvane::app
