#include "main/corvane_application.h"

#include <unistd.h>

#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include "app/corvane_controller.h"
#include "app/menu_bar_controller_adapter.h"
#include "app/window_controller_adapters.h"
#include "main/maintenance_wiring.h"
#include "main/operations_wiring.h"
#include "main/qt_x11_display.h"
#include "main/sampled_permissions.h"
#include "main/xcb_image_presenter.h"
#include "menubar/menu_bar_status_item_controller.h"
#include "model/preferences_store.h"
#include "platform/desktop_entry_index.h"
#include "platform/linux/base64.h"
#include "platform/linux/desktop_session.h"
#include "platform/linux/desktop_settings_opener.h"
#include "platform/linux/proc_process_table.h"
#include "platform/linux/tool_desktop_icon_preference.h"
#include "platform/program_path.h"
#include "runtime/task.h"
#include "ui/app/source_guard_view.h"
#include "ui/menubar/presenter_control_bar_view.h"
#include "ui/menubar/qt_menu_bar_status_item.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_main_executor.h"
#include "ui/qt_window_system.h"
#include "ui/verification/source_redaction_overlay_view.h"
#include "ui/windows/onboarding_view.h"
#include "ui/windows/settings_root_view.h"
#include "windows/excluded_apps_view_model.h"
#include "windows/setup_checklist.h"

// Xlib last: its macros clash with Qt's names.
#include "platform/x11/x11_desktop.h"

namespace corvane::wiring {
namespace {

// How long the desktop's own tools may take to answer about the desktop icons.
constexpr double kDesktopIconToolTimeout = 2.0;
// How long the event loop runs on after the live tasks were cancelled at termination.
constexpr int kSettleMilliseconds = 50;
// How often the permissions are checked off the main actor.
constexpr double kPermissionSampleInterval = 1.0;

app::CorvaneControllerServices controllerServices(
    const ApplicationEnvironment& environment, const platform::Desktop& desktop,
    std::shared_ptr<platform::WindowSystem> windowSystem,
    std::shared_ptr<model::DiagnosticReporter> eventLog,
    std::shared_ptr<operations::UpdateManager> updateManager) {
  app::CorvaneControllerServices services;
  services.desktop = desktop;
  services.windowSystem = std::move(windowSystem);
  services.outputContentFactory = ui::makeProtectedShareContentFactory(makeXcbImagePresenter());
  services.sourceGuardContentFactory = ui::makeSourceGuardContentFactory();
  services.sourceRedactionOverlayContentFactory = ui::makeSourceRedactionOverlayContentFactory();
  services.presenterControlBarContentFactory = ui::makePresenterControlBarContentFactory();
  const auto preferences = environment.preferences();
  services.settings = model::PreferencesStore::activeDefaults(preferences);
  services.defaultsStore = environment.defaults;
  services.qaPreferencesSuiteName = model::PreferencesStore::qaPreferencesSuiteName(preferences);
  services.bundle = std::make_shared<const platform::Bundle>(environment.bundle);
  services.ownProcessIdentifier = getpid();
  services.arguments = environment.arguments;
  services.processTable = std::make_shared<platform::ProcProcessTable>();
  services.applicationEntries =
      windows::installedApplicationLookup(platform::DesktopEntryIndex::applicationDirectories());
  services.desktopIconPreference =
      platform::makeSessionDesktopIconPreference(kDesktopIconToolTimeout);
  services.programSearchPath = platform::programSearchPath();
  services.settingsOpener = std::make_shared<platform::DesktopSettingsOpener>(
      platform::desktopKindFrom(platform::currentDesktopVariable()), services.programSearchPath);
  // The user's folder comes first in the list; the former brand is looked for in the system's
  // folders first.
  const auto& applications = environment.folders.applicationDirectories;
  if (!applications.empty()) {
    services.userApplicationDirectory = applications.front();
    services.systemApplicationDirectories.assign(applications.begin() + 1, applications.end());
  }
  services.dialogs = std::make_shared<ui::QtDialogs>();
  auto maintenance = makeMaintenanceServices(environment.bundle, services.ownProcessIdentifier,
                                             services.programSearchPath);
  services.fileRevealer = std::move(maintenance.fileRevealer);
  services.relauncher = std::move(maintenance.relauncher);
  // Quitting ends the event loop; main() then runs the ordered termination.
  services.terminateApplication = [] { QCoreApplication::exit(0); };
  services.diagnostics = std::move(eventLog);
  services.recorder = model::sharedEventRecorder();
  services.updateManager = std::move(updateManager);
  services.notifications = std::make_shared<runtime::NotificationCenter>();
  return services;
}

// The tray item controller over `icon`, started as the delegate makes it: the icon with its
// popover and visibility watch.
app::StatusItemFactory statusItemFactory(std::shared_ptr<ui::QtMenuBarStatusItem> icon,
                                         std::shared_ptr<platform::WindowSystem> windowSystem,
                                         model::PreferencesSource preferences,
                                         std::function<void()> quit) {
  return [icon, windowSystem, preferences, quit](
             const std::shared_ptr<app::CorvaneController>& controller,
             std::function<void()> showSetup,
             std::function<void()> showSettings) -> std::shared_ptr<void> {
    auto item = std::make_shared<menubar::MenuBarStatusItemController>(
        std::make_shared<app::MenuBarControllerAdapter>(controller), icon, windowSystem,
        preferences, std::move(showSetup));
    item->start(std::move(showSettings), quit);
    return item;
  };
}

// The setup window's content: the checklist over the controller, the active settings suite and
// the window host's two closures. The content keeps its controller only weakly, so the adapter
// lives as long as the factory (the window is made once).
app::SetupWindowContentFactory setupContentFactory(
    std::shared_ptr<platform::DefaultsSuite> settings,
    std::shared_ptr<platform::SettingsOpener> settingsOpener,
    std::shared_ptr<platform::FileRevealer> fileRevealer) {
  auto adapter = std::make_shared<std::shared_ptr<app::SetupWindowControllerAdapter>>();
  return [adapter, settings, settingsOpener, fileRevealer,
          makeContent = ui::makeSetupWindowContentFactory()](
             const std::shared_ptr<app::CorvaneController>& controller,
             std::function<void()> showSettings, std::function<void()> close) {
    *adapter = std::make_shared<app::SetupWindowControllerAdapter>(controller, settingsOpener,
                                                                   fileRevealer);
    return makeContent(std::make_shared<windows::SetupChecklist>(
        *adapter, settings, std::move(showSettings), std::move(close)));
  };
}

app::SettingsWindowContentFactory settingsContentFactory(
    std::shared_ptr<platform::SettingsOpener> settingsOpener) {
  auto adapter = std::make_shared<std::shared_ptr<app::SettingsWindowControllerAdapter>>();
  return [adapter, settingsOpener, makeContent = ui::makeSettingsWindowContentFactory()](
             const std::shared_ptr<app::CorvaneController>& controller) {
    *adapter = std::make_shared<app::SettingsWindowControllerAdapter>(controller, settingsOpener);
    return makeContent(*adapter);
  };
}

std::optional<std::string> decodeBase64Text(std::string_view text) {
  auto bytes = platform::decodeBase64(text);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

}  // namespace

runtime::Result<std::unique_ptr<CorvaneApplication>> CorvaneApplication::open(
    const std::filesystem::path& bundleRoot, const platform::WellKnownFolders& folders,
    std::vector<std::string> arguments) {
  std::unique_ptr<CorvaneApplication> application(new CorvaneApplication());
  auto environment = openApplicationEnvironment(bundleRoot, folders, std::move(arguments));
  if (!environment) return environment.error();
  application->environment_ = std::move(environment).value();
  application->eventLog_ = installEventLog(folders);

  auto desktop = platform::x11::openDesktop({}, getpid());
  if (!desktop) return desktop.error();
  application->desktop_ = desktop.value();
  application->desktop_.permissions = std::make_shared<SampledPermissions>(
      application->desktop_.permissions, kPermissionSampleInterval);
  application->windowSystem_ =
      std::make_shared<ui::QtWindowSystem>(application->desktop_.screens, makeQtWindowStateHints());

  const auto& bundle = application->environment_.bundle;
  const auto record = model::sharedEventRecorder();
  application->updateManager_ = makeUpdateManager(bundle, folders, record);
  application->crashReporter_ = makeCrashReporter(bundle, folders, record);

  app::AppDelegateServices services;
  services.controller = controllerServices(application->environment_, application->desktop_,
                                           application->windowSystem_, application->eventLog_,
                                           application->updateManager_);
  services.setupContent =
      setupContentFactory(services.controller.settings, services.controller.settingsOpener,
                          services.controller.fileRevealer);
  services.settingsContent = settingsContentFactory(services.controller.settingsOpener);
  std::weak_ptr<operations::CrashReporterRuntime> reporter = application->crashReporter_;
  services.startCrashReporting = [reporter](const model::ProductionConfiguration& configuration) {
    if (auto crashReporter = reporter.lock()) crashReporter->start(configuration);
  };
  application->trayIcon_ = std::make_shared<ui::QtMenuBarStatusItem>(trayPanelHiddenProbe());
  // The tray menu's Quit and Ctrl+Q end Corvane as the signals do.
  services.makeStatusItem = statusItemFactory(application->trayIcon_, application->windowSystem_,
                                              application->environment_.preferences(),
                                              services.controller.terminateApplication);
  services.decodeBase64 = &decodeBase64Text;
  application->delegate_ = app::AppDelegate::make(std::move(services));
  std::weak_ptr<app::CorvaneController> controller = application->delegate_->controller();
  reportSettingsStoreProblems(*application->environment_.defaults, record,
                              [controller](auto problem) {
                                if (auto strong = controller.lock())
                                  strong->noteSettingsStoreProblem(std::move(problem));
                              });
  return application;
}

CorvaneApplication::~CorvaneApplication() {
  // Members go in reverse order: the delegate (with the controller, its engine and managers)
  // before the services they were built on.
  delegate_.reset();
  if (eventLog_) eventLog_->flush();
  // The crash reporter stays for the whole process: an upload still waiting on the network must
  // not hold up the exit by joining its queue.
  static auto* const kept = new std::vector<std::shared_ptr<operations::CrashReporterRuntime>>();
  kept->push_back(std::move(crashReporter_));
}

void CorvaneApplication::finishLaunching() {
  delegate_->applicationDidFinishLaunching();
}

// Visible windows are the setup and settings windows, the tray's taskbar fall-back and the
// Protected Share window.
void CorvaneApplication::reopen() {
  bool visible = delegate_->applicationWindowManager()->hasVisibleWindow();
  if (const QWidget* fallBack = trayIcon_->taskbarWindow()) visible |= fallBack->isVisible();
  if (const auto output = delegate_->controller()->protectedShareWindowManager()->window()) {
    visible |= output->isVisible();
  }
  delegate_->applicationShouldHandleReopen(visible);
}

void CorvaneApplication::terminate() {
  delegate_->applicationWillTerminate();
  stopEngine();
  // The tasks still waiting (the tray's watch, delayed refreshes) end now: their cancelled waits
  // return on the next turns, before the owners they hold go away. Only those turns run, for a
  // bounded time: a window's pending layout (minutes for a huge list) is no longer worth waiting.
  runtime::cancelAllLiveTasks();
  ui::runQueuedCallsFor(kSettleMilliseconds);
  if (eventLog_) eventLog_->flush();
}

// The termination restore leaves the engine to its owner: stop it here, with its own time-out,
// so no capture thread outlives it.
void CorvaneApplication::stopEngine() {
  const auto& engine = delegate_->controller()->protectedShareEngine();
  if (!model::isActive(*engine->phase)) return;
  auto stopped = runtime::spawn(engine->stop());
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (stopped.isDone()) loop.quit();
  });
  poll.start(10);
  QTimer::singleShot(static_cast<int>((capture::ProtectedShareEngine::kStopTimeout + 1.0) * 1000),
                     &loop, &QEventLoop::quit);
  if (!stopped.isDone()) loop.exec();
}

}  // namespace corvane::wiring
