#include <gtest/gtest.h>

#include <fstream>

#include "app/session_harness.h"
#include "app/system_settings_links.h"
#include "app/window_controller_adapters.h"
#include "model/protected_application_catalog.h"
#include "operations/test_update_fixtures.h"
#include "operations/update_manager.h"
#include "platform/sim/sim_application_relauncher.h"
#include "platform/sim/sim_file_revealer.h"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kArchiveURL = "https://updates.invalid/Corvane-200.zip";

// Serves one feed and one archive from memory; counts the requests.
class StoredHttpClient final : public platform::HttpClient {
 public:
  runtime::Result<platform::HttpResponse> perform(const platform::HttpRequest& request) override {
    ++requests;
    if (request.url == kArchiveURL) {
      if (request.receiveBody) (void)request.receiveBody(archive);
      return platform::HttpResponse{200, request.receiveBody ? "" : archive};
    }
    return platform::HttpResponse{200, feed};
  }
  std::string feed;
  std::string archive;
  int requests = 0;
};

// A controller with the actions' collaborators: scripted dialogs, a revealer and a relauncher
// that only count, an update manager whose work queue the test steps, and a diagnostics log.
struct ActionsHarness : SessionHarness {
  ActionsHarness() {
    operations::UpdateManagerDependencies dependencies;
    dependencies.channel = operations::UpdateChannel{true, "https://updates.invalid/appcast.xml",
                                                     key.publicKeyBase64()};
    dependencies.dataDirectory = folder.path() / "data" / "Corvane";
    dependencies.runningBuild = "100";
    dependencies.http = http;
    dependencies.verifier = platform::makeSignatureVerifier();
    dependencies.extractor = platform::makeArchiveExtractor();
    dependencies.workQueue = updateQueue;
    dependencies.launchDetached = [this](const platform::ProcessRequest&) {
      ++installerLaunches;
      return runtime::Result<int>(4242);
    };
    updates = std::make_shared<operations::UpdateManager>(std::move(dependencies));
    diagnostics = std::make_shared<model::DiagnosticReporter>(
        folder.path() / "diagnostics", loop.makeQueue("diagnostics"), folder.path() / "exports");
  }

  CorvaneController& make() {
    return SessionHarness::make([this](CorvaneControllerServices& s) {
      s.fileRevealer = revealer;
      s.relauncher = relauncher;
      s.terminateApplication = [this] { ++terminations; };
      s.updateManager = updates;
      s.diagnostics = diagnostics;
    });
  }

  // Offers build 200 in the feed, signed, as an archive of an install of that build.
  void offerBuild200() {
    http->archive = operations::testing::makeZip(operations::testing::applicationEntries(
        "Corvane", "com.pemberquist.corvane", "200", "#!/bin/sh\n"));
    http->feed =
        "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
        "sparkle\" version=\"2.0\"><channel><item><enclosure sparkle:version=\"200\" url=\"" +
        std::string(kArchiveURL) + "\" sparkle:edSignature=\"" + key.signBase64(http->archive) +
        "\" length=\"1\" type=\"application/zip\"/></item></channel></rss>";
  }

  void drainUpdates() {
    updateQueue->release();
    loop.advance(0.1);
  }

  // A desktop entry file in the user's application folder.
  fs::path entry(const std::string& id, const std::string& name) {
    const auto path = userApplications() / (id + ".desktop");
    std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=run\n";
    return path;
  }

  operations::testing::SigningKey key;
  std::shared_ptr<StoredHttpClient> http = std::make_shared<StoredHttpClient>();
  std::shared_ptr<runtime::VirtualSerialQueue> updateQueue = loop.makeQueue("updates");
  std::shared_ptr<operations::UpdateManager> updates;
  std::shared_ptr<model::DiagnosticReporter> diagnostics;
  std::shared_ptr<platform::sim::SimFileRevealer> revealer =
      std::make_shared<platform::sim::SimFileRevealer>();
  std::shared_ptr<platform::sim::SimApplicationRelauncher> relauncher =
      std::make_shared<platform::sim::SimApplicationRelauncher>();
  int installerLaunches = 0;
  int terminations = 0;
};

TEST(ActionsTest, PermissionWatchPicksUpAGrantAndEnds) {
  ActionsHarness h;
  h.desktop->setScreenCaptureAllowed(false);
  auto& controller = h.make();
  controller.requestScreenRecordingPermission();
  EXPECT_TRUE(controller.screenRecordingPermissionRequestPending());
  EXPECT_EQ(controller.statusMessage(), platform::sim::SimDesktop::kDefaultDenialReason);
  EXPECT_EQ(h.last("screen_recording_permission_requested")->fields.at("granted"), "false");
  EXPECT_EQ(h.opener->screenCaptureSettingsRequests(), 1);

  // Passes that see no change say and record nothing.
  h.loop.advance(2.0);
  EXPECT_EQ(h.count("permissions_refreshed"), 0);
  h.desktop->setScreenCaptureAllowed(true);
  h.loop.advance(0.5);
  EXPECT_EQ(controller.statusMessage(), "Screen Recording permission is enabled");
  EXPECT_FALSE(controller.screenRecordingPermissionRequestPending());
  ASSERT_EQ(h.count("permissions_refreshed"), 1);
  EXPECT_EQ(h.last("permissions_refreshed")->fields.at("reason"), "settings_permission_observer");

  // The watch has ended: losing the grant again goes unnoticed until something refreshes, such
  // as Corvane coming forward.
  h.desktop->setScreenCaptureAllowed(false);
  h.loop.advance(5.0);
  EXPECT_EQ(h.count("permissions_refreshed"), 1);
  EXPECT_TRUE(controller.screenRecordingPermissionGranted());
  ASSERT_TRUE(h.desktop->activate(h.ownProcess));
  h.loop.advance(0.1);
  EXPECT_FALSE(controller.screenRecordingPermissionGranted());
  EXPECT_EQ(h.last("permissions_refreshed")->fields.at("reason"), "application_activated");
  h.desktop->setScreenCaptureAllowed(true);
  ASSERT_TRUE(h.desktop->activate(h.editor));
  ASSERT_TRUE(h.desktop->activate(h.ownProcess));
  h.loop.advance(0.1);
  h.desktop->setScreenCaptureAllowed(false);

  // The manual re-check always records and has the last word; a request when granted opens
  // nothing.
  controller.refreshScreenRecordingPermission();
  EXPECT_EQ(h.count("permissions_refreshed"), 4);
  EXPECT_EQ(controller.statusMessage(), platform::sim::SimDesktop::kDefaultDenialReason);
  h.desktop->setScreenCaptureAllowed(true);
  controller.requestScreenRecordingPermission();
  EXPECT_EQ(controller.statusMessage(),
            "Screen Recording is granted. Restart Corvane if Protected Share still asks for "
            "access.");
  EXPECT_EQ(h.opener->screenCaptureSettingsRequests(), 1);
}

TEST(ActionsTest, ImportsThroughTheOpenPanelAndNamesEachRejection) {
  ActionsHarness h;
  auto& controller = h.make();
  const auto userFlatpak =
      h.userApplications().parent_path() / "flatpak/exports/share/applications";
  fs::create_directories(userFlatpak);
  const auto notes = h.entry("org.example.Notes", "Notes");
  const auto own = h.entry("com.pemberquist.corvane", "Corvane");
  const auto broken = h.userApplications() / "broken.desktop";
  std::ofstream(broken) << "not an entry";
  h.dialogs->chooseNext(std::vector<fs::path>{notes, own, broken});
  controller.chooseProtectedApplications();

  ASSERT_EQ(h.dialogs->shownPanels().size(), 1u);
  const auto& panel = h.dialogs->shownPanels().front();
  EXPECT_EQ(panel.title, "Add Excluded Apps");
  EXPECT_EQ(panel.prompt, "Add");
  EXPECT_EQ(panel.nameFilters, std::vector<std::string>{"*.desktop"});
  EXPECT_EQ(panel.startingDirectory, fs::path("/usr/share/applications"));
  EXPECT_TRUE(panel.allowsMultipleSelection);
  // The folders beside it that exist: the user's and flatpak's exports of the user's installs.
  EXPECT_EQ(panel.sideDirectories,
            (std::vector<fs::path>{h.systemApplications(), h.userApplications(), userFlatpak}));
  // The installed applications are offered by name and icon, Corvane itself and entries that are
  // no application left out.
  std::vector<std::string> offered;
  for (const auto& application : panel.applications) offered.push_back(application.name);
  EXPECT_EQ(offered, std::vector<std::string>{"Notes"});
  EXPECT_EQ(panel.applications.front().desktopFile, notes);

  EXPECT_EQ(controller.protectedApps().back().id, "org.example.Notes");
  EXPECT_EQ(*controller.protectedAppImportError(),
            "Corvane is Corvane and cannot exclude itself.\n"
            "broken isn\u2019t a valid application.");
  const auto* imported = h.last("protected_apps_imported");
  EXPECT_EQ(imported->fields.at("added"), "1");
  EXPECT_EQ(imported->fields.at("rejected"), "2");

  // Known names only: nothing is saved, the import is still recorded and the error cleared.
  const auto stored = h.settings()->object(model::PreferencesStore::protectedAppsKey);
  h.settings()->remove(model::PreferencesStore::protectedAppsKey);
  controller.addProtectedApplications({notes});
  EXPECT_FALSE(h.settings()->object(model::PreferencesStore::protectedAppsKey).has_value());
  EXPECT_FALSE(controller.protectedAppImportError().has_value());
  EXPECT_EQ(h.count("protected_apps_imported"), 2);
  EXPECT_EQ(h.last("protected_apps_imported")->fields.at("added"), "0");
  h.settings()->set(model::PreferencesStore::protectedAppsKey, *stored);

  // A cancelled panel imports nothing.
  controller.chooseProtectedApplications();
  EXPECT_EQ(h.count("protected_apps_imported"), 2);

  // Toggling and removing an unknown id change and record nothing.
  controller.setProtectedApp("org.example.Unknown", false);
  controller.removeProtectedApp("org.example.Unknown");
  EXPECT_EQ(h.count("protected_app_toggled") + h.count("protected_app_removed"), 0);
  controller.removeProtectedApp("org.example.Notes");
  EXPECT_EQ(h.last("protected_app_removed")->fields.at("name"), "Notes");
  controller.restoreDefaultProtectedApps();
  EXPECT_EQ(controller.protectedApps(), model::ProtectedApp::defaults());
  EXPECT_EQ(h.last("protected_apps_defaults_restored")->fields.at("apps"), "6");
}

// An import fills the list up to a bound no real user reaches and says how many it could not add;
// a stored list beyond the bound is kept whole, so no exclusion the user made is ever lost.
TEST(ActionsTest, ExcludedAppsBeyondTheImportBoundAreKept) {
  constexpr std::size_t bound = model::ProtectedApplicationCatalog::maximumCount;
  ActionsHarness h;
  std::vector<model::ProtectedApp> stored;
  for (std::size_t i = 0; i < 600; ++i) {
    stored.push_back({"org.example.Stored" + std::to_string(i), "Stored", "app.fill", i % 2 == 0});
  }
  model::PreferencesStore::save(*h.settings(), stored, model::PreferencesStore::protectedAppsKey);
  auto& controller = h.make();
  ASSERT_EQ(controller.protectedApps().size(), 600u);
  EXPECT_EQ(controller.protectedApps()[550], stored[550]);

  // Full: nothing chosen is added, the known one is renamed in place, the rest are counted.
  std::vector<fs::path> chosen;
  for (int i = 0; i < 30; ++i) {
    chosen.push_back(h.entry("org.example.Chosen" + std::to_string(i), "Chosen"));
  }
  chosen.push_back(h.entry("org.example.Stored7", "Stored Again"));  // known: renamed, kept
  controller.addProtectedApplications(chosen);
  ASSERT_EQ(controller.protectedApps().size(), 600u);
  EXPECT_EQ(controller.protectedApps()[7].name, "Stored Again");
  EXPECT_TRUE(controller.protectedApps()[7].isEnabled);
  EXPECT_EQ(
      controller.protectedAppImportError(),
      "Excluded Apps holds at most " + std::to_string(bound) + " apps: 30 apps were not added.");
  EXPECT_EQ(h.last("protected_apps_imported")->fields.at("added"), "0");
  EXPECT_EQ(h.last("protected_apps_imported")->fields.at("rejected"), "30");
  const auto saved = model::PreferencesStore::load<std::vector<model::ProtectedApp>>(
      *h.settings(), model::PreferencesStore::protectedAppsKey);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->size(), 600u);
  EXPECT_EQ((*saved)[598], stored[598]);
}

TEST(ActionsTest, OneUpdateCheckAndOneInstallAtATimeOffTheMainActor) {
  ActionsHarness h;
  auto& controller = h.make();
  controller.installVerifiedUpdate();
  EXPECT_EQ(controller.statusMessage(), "No verified update is ready");

  h.offerBuild200();
  h.updateQueue->hold();
  controller.checkForUpdates();
  h.loop.runUntilIdle();
  controller.checkForUpdates();  // while the first still runs
  h.loop.runUntilIdle();
  EXPECT_EQ(controller.statusMessage(), "Secure update channel is not configured");
  h.drainUpdates();
  EXPECT_EQ(h.http->requests, 2);  // one feed and one archive: the second check never ran
  EXPECT_EQ(h.count("update_check_requested"), 1);
  EXPECT_EQ(controller.statusMessage(), "Verified update 200 is ready");
  ASSERT_TRUE(controller.verifiedUpdateURL().has_value());

  // The install's checks wait on the update queue, not on the main actor; a second Install
  // while it is prepared does nothing.
  h.updateQueue->hold();
  controller.installVerifiedUpdate();
  h.loop.runUntilIdle();
  EXPECT_TRUE(controller.isInstallingVerifiedUpdate());
  controller.installVerifiedUpdate();
  h.loop.runUntilIdle();
  EXPECT_EQ(h.updateQueue->pendingCount(), 1u);
  h.drainUpdates();
  // The harness's install folder holds no application, so the install is refused and Corvane
  // keeps running.
  EXPECT_EQ(controller.statusMessage(), "Could not start verified update install");
  EXPECT_TRUE(controller.lastScanError().has_value());
  EXPECT_EQ(h.count("verified_update_install_failed"), 1);
  EXPECT_EQ(h.terminations, 0);

  // With the install in place the installer starts and the application quits once.
  operations::testing::writeApplication(h.bundle->root, "com.pemberquist.corvane", "100",
                                        "#!/bin/sh\n");
  controller.installVerifiedUpdate();
  h.drainUpdates();
  EXPECT_EQ(controller.statusMessage(), "Installing verified update");
  EXPECT_EQ(h.installerLaunches, 1);
  EXPECT_EQ(h.count("verified_update_install_started"), 1);
  EXPECT_EQ(h.terminations, 1);
}

TEST(ActionsTest, RestartQuitsOnlyOnceTheNewCopyRuns) {
  ActionsHarness h;
  auto& controller = h.make();
  h.relauncher->failWith("Could not start /opt/corvane/bin/corvane: No such file or directory.");
  controller.restartCorvane();
  EXPECT_EQ(h.terminations, 0);
  EXPECT_EQ(controller.statusMessage(),
            "Corvane could not restart: Could not start /opt/corvane/bin/corvane: No such file or "
            "directory.");
  h.relauncher->failWith(std::nullopt);
  controller.restartCorvane();
  EXPECT_EQ(h.relauncher->attempts(), 2);
  EXPECT_EQ(h.terminations, 1);
}

TEST(ActionsTest, DisplayChoiceAndDiagnosticsExport) {
  ActionsHarness h;
  auto& controller = h.make();
  controller.setCaptureDisplay(std::nullopt);
  EXPECT_EQ(controller.statusMessage(), "Protected Share source set to Main display");
  EXPECT_EQ(h.last("capture_display_selected")->fields.at("display"), "main");
  controller.setCaptureDisplay(77);
  EXPECT_EQ(controller.statusMessage(), "Protected Share source set to Selected display");
  EXPECT_EQ(controller.protectionOptions().selectedDisplayID, 77u);

  controller.revealDiagnosticsExport();  // nothing exported yet
  EXPECT_TRUE(h.revealer->revealed().empty());
  controller.exportDiagnostics();
  ASSERT_TRUE(controller.diagnosticsExportURL().has_value());
  EXPECT_TRUE(fs::exists(*controller.diagnosticsExportURL()));
  EXPECT_EQ(controller.statusMessage(), "Diagnostics exported");
  controller.revealDiagnosticsExport();
  EXPECT_EQ(h.revealer->revealed(), std::vector<fs::path>{*controller.diagnosticsExportURL()});
}

TEST(ActionsTest, ADisplayChangeThatCannotMoveTheOutputSealsTheSession) {
  ActionsHarness h;
  auto side = platform::sim::SimDesktop::makeDisplay(2, platform::Rect{{160, 0}, {200, 100}});
  side.name = "Side";
  ASSERT_TRUE(h.desktop->addDisplay(side).ok());
  auto& controller = h.make();
  h.startLive();
  auto changes = [&] {
    const auto counters = h.desktop->captureCounters();
    return counters.filterUpdates + counters.configurationUpdates + counters.streamsMade;
  };
  const int before = changes();
  controller.setCaptureDisplay(2);  // the output window and the capture move there
  EXPECT_EQ(controller.statusMessage(), "Protected Share source set to Side");
  h.loop.advance(0.5);
  EXPECT_GT(changes(), before);
  EXPECT_TRUE(platform::Rect({{160, 0}, {200, 100}})
                  .intersects(controller.protectedShareWindowManager()->window()->frame()));

  // With no screen left the window has nowhere to go.
  ASSERT_TRUE(h.desktop->removeDisplay(1).ok());
  ASSERT_TRUE(h.desktop->removeDisplay(2).ok());
  controller.setCaptureDisplay(5);
  EXPECT_TRUE(controller.protectedShareEngine()->isPublishingPaused.value());
  const auto* sealed = h.last("protected_share_output_rehost_failed");
  ASSERT_NE(sealed, nullptr);
  EXPECT_EQ(sealed->fields.at("error"), "Protected Share could not move to the selected display.");
  EXPECT_TRUE(controller.isDemoModeOn());  // sealed, not stopped: the user stops it
  EXPECT_EQ(controller.protectionOptions().selectedDisplayID, 5u);  // the choice stays
  EXPECT_EQ(h.count("capture_display_selected"), 1);
}

TEST(ActionsTest, FailuresAndOutcomesAreToldWhereTheUserLooks) {
  ActionsHarness h;
  // The log cannot be written: a file stands where its folder should be.
  std::ofstream(h.folder.path() / "diagnostics");
  auto& controller = h.make();
  auto diagnosticsRow = [&] {
    for (const auto& item : controller.healthItems()) {
      if (item.title == "Diagnostics") return item;
    }
    return model::HealthItem{};
  };
  h.diagnostics->record("defaults_suite_save_failed", {{"reason", "Read-only file system"}});
  h.diagnostics->flush();
  EXPECT_EQ(diagnosticsRow().state, model::HealthState::warn);
  controller.noteSettingsStoreProblem(
      {model::SettingsStoreProblem::Kind::notSaved, "Read-only file system.", std::nullopt});
  EXPECT_EQ(controller.settingsSaveError(), "Read-only file system.");
  const std::string notSaved =
      "Changes to settings cannot be saved and will be lost when Corvane quits. Read-only file "
      "system.";
  EXPECT_EQ(controller.statusMessage(), notSaved);
  EXPECT_EQ(diagnosticsRow().state, model::HealthState::fail);
  EXPECT_EQ(diagnosticsRow().detail, notSaved);
  // A later save that works takes the failure away everywhere it was said.
  controller.noteSettingsStoreProblem({model::SettingsStoreProblem::Kind::savedAgain, "", {}});
  EXPECT_FALSE(controller.settingsSaveError().has_value());
  EXPECT_EQ(controller.statusMessage(), "Changes to settings are saved again.");
  EXPECT_EQ(diagnosticsRow().state, model::HealthState::warn);

  // The export tells of what the log could not keep.
  controller.exportDiagnostics();
  ASSERT_TRUE(controller.diagnosticsExportURL().has_value());
  EXPECT_FALSE(controller.diagnosticsExportError().has_value());
  std::ifstream exported(*controller.diagnosticsExportURL());
  const std::string contents((std::istreambuf_iterator<char>(exported)), {});
  EXPECT_NE(contents.find("defaults_suite_save_failed"), std::string::npos) << contents;
  EXPECT_EQ(contents.find("No diagnostics recorded yet."), std::string::npos);

  // A failed export says why and takes the earlier result away.
  const auto exportFolder = h.folder.path() / "exports" / "Corvane-Diagnostics";
  fs::remove_all(exportFolder);
  fs::create_directories(h.folder.path() / "elsewhere");
  fs::create_directory_symlink(h.folder.path() / "elsewhere", exportFolder);
  controller.exportDiagnostics();
  EXPECT_FALSE(controller.diagnosticsExportURL().has_value());
  ASSERT_TRUE(controller.diagnosticsExportError().has_value());
  EXPECT_NE(controller.diagnosticsExportError()->find(exportFolder.string()), std::string::npos);

  // Buttons with nothing to open on this desktop say what to do instead.
  SettingsWindowControllerAdapter adapter(h.controller, h.opener);
  EXPECT_EQ(adapter.openFocusSettings(), std::nullopt);
  h.opener->setOpensNotificationSettings(false);
  EXPECT_EQ(adapter.openFocusSettings(), NotificationGuard::kNothingToOpenText);
  ASSERT_TRUE(controller.screenRecordingPermissionGranted());
  EXPECT_EQ(adapter.openScreenRecordingSettings(),
            ScreenCapturePermissionManager::kNothingToOpenText);
}

TEST(ActionsTest, UpdateOutcomeIsShownAndStoppedSessionsShowNoRates) {
  SessionHarness h;
  auto& controller = h.make();
  EXPECT_FALSE(controller.updateCheckMessage().has_value());
  controller.checkForUpdates();
  for (int i = 0; i < 100 && !controller.updateCheckMessage(); ++i) h.loop.advance(0.01);
  EXPECT_EQ(controller.updateCheckMessage(), operations::update_reasons::kNotConfigured);

  h.startLive();
  for (int i = 0; i < 200 && controller.liveProtectedShareMetrics().captureFPS == 0; ++i) {
    (void)h.desktop->moveWindow(1, {20.0 + i % 7, 20});
    h.loop.advance(0.05);
  }
  EXPECT_GT(controller.liveProtectedShareMetrics().captureFPS, 0);
  h.stopAndSettle();
  ASSERT_FALSE(controller.isDemoModeOn());
  EXPECT_EQ(controller.liveProtectedShareMetrics(), model::ProtectedShareMetrics::empty());
}

}  // namespace
}  // namespace corvane::app::testing
