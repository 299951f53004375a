#include <gtest/gtest.h>

#include "app/controller_harness.h"

namespace corvane::app::testing {
namespace {

using model::PreferencesStore;

constexpr const char* kStoppedMessage = "Previous copy stopped. Complete Setup to continue.";
constexpr const char* kDidNotQuit =
    "The previous copy did not quit. Quit it from its tray icon or the system monitor, then "
    "check again.";

// A copy of the former brand without windows, started from its desktop entry: only the process
// list knows it.
platform::ProcessRecord trayOnlyCopy(std::int32_t pid, const std::filesystem::path& entry) {
  return platform::ProcessRecord{pid, "/opt/halvermoor/bin/run", entry, std::nullopt, {}};
}

TEST(FormerBrandTest, InstalledCopyRequiresTheReviewAndPostsOnlyWhenAskedTo) {
  ControllerHarness h;
  // The user's copy is found after the system's: the system folder is searched first.
  h.installFormerEntry(h.userApplications());
  const auto systemEntry = h.installFormerEntry(h.systemApplications());
  auto& controller = h.make();
  EXPECT_EQ(controller.legacyAppStatus().applicationURL, systemEntry);
  EXPECT_FALSE(controller.legacyAppStatus().isRunning);

  controller.refreshLegacyAppMigrationStatus(false);
  EXPECT_TRUE(h.settings()->boolValue(PreferencesStore::brandMigrationReviewRequiredKey));
  EXPECT_TRUE(h.settings()->dateValue(PreferencesStore::brandMigrationStartedAtKey));
  EXPECT_FALSE(controller.isInitialSetupComplete());
  EXPECT_EQ(h.reviewPosts, 0);
  controller.refreshLegacyAppMigrationStatus(true);
  EXPECT_EQ(h.reviewPosts, 1);

  // Setup completes with the copy installed but not running, and the review is done with it.
  EXPECT_TRUE(controller.completeInitialSetup());
  EXPECT_EQ(h.reviewPosts, 2);
  EXPECT_TRUE(controller.isInitialSetupComplete());
  EXPECT_EQ(h.settings()->integerValue("setupCompletionVersion"), 1);
  EXPECT_FALSE(h.settings()->boolValue(PreferencesStore::brandMigrationReviewRequiredKey));
  EXPECT_EQ(h.count("initial_setup_completed"), 1);

  // Once reviewed, a refresh only publishes the status.
  controller.refreshLegacyAppMigrationStatus(true);
  EXPECT_TRUE(controller.isInitialSetupComplete());
  EXPECT_EQ(h.reviewPosts, 2);
}

TEST(FormerBrandTest, OwnExecutableUnderTheFormerEntryIsNotAFormerCopy) {
  ControllerHarness h;
  const auto own = h.folder.path() / "install/bin/corvane";
  std::ofstream(own) << "#!/bin/sh\n";
  std::filesystem::permissions(own, std::filesystem::perms::owner_all);
  std::filesystem::create_symlink(own, h.folder.path() / "install/bin/halvermoor");
  // The system entry starts this very executable through a link; the user's is a real copy.
  h.installFormerEntry(h.systemApplications(), "halvermoor");
  const auto userEntry = h.installFormerEntry(h.userApplications());
  auto& controller = h.make();
  EXPECT_EQ(controller.legacyAppStatus().applicationURL, userEntry);
  EXPECT_TRUE(controller.legacyAppStatus().needsAttention());
}

TEST(FormerBrandTest, CopyLaunchedLaterIsPresentedOnceAndWatchedUntilItQuitsByItself) {
  ControllerHarness h;
  auto& controller = h.make();
  controller.completeInitialSetup();
  ASSERT_TRUE(controller.isInitialSetupComplete());

  const auto pid = h.desktop->launchApplication({kFormerID, "Halvermoor"}).value();
  controller.refreshLegacyAppMigrationStatus(false);
  EXPECT_TRUE(controller.legacyAppStatus().isRunning);
  EXPECT_FALSE(controller.isInitialSetupComplete());
  EXPECT_EQ(h.reviewPosts, 1);                      // it has just started running
  EXPECT_FALSE(controller.completeInitialSetup());  // refused while it runs
  EXPECT_EQ(h.count("initial_setup_completed"), 1);
  h.loop.advance(2.0);          // the monitor keeps refreshing without presenting again
  EXPECT_EQ(h.reviewPosts, 2);  // only completeInitialSetup's own request

  ASSERT_TRUE(h.desktop->quitApplication(pid).ok());
  h.loop.advance(0.5);
  EXPECT_FALSE(controller.legacyAppStatus().isRunning);
  EXPECT_EQ(h.loop.pendingTimerCount(), 0u);  // the monitor has ended
}

// This application's own windows come and go as a session starts and ends: it cannot be the
// former copy, so that reads no process list. Another application's launch still may be it.
TEST(FormerBrandTest, OwnApplicationComingAndGoingReadsNoProcessList) {
  ControllerHarness h;
  auto& controller = h.make();
  h.loop.advance(0.1);
  const int listed = h.processes->listings();
  ASSERT_TRUE(h.desktop->quitApplication(h.ownProcess).ok());
  ASSERT_TRUE(h.desktop->launchApplication({"com.pemberquist.corvane", "Corvane", h.ownProcess}));
  h.loop.advance(0.1);
  EXPECT_EQ(h.processes->listings(), listed);

  h.desktop->launchApplication({kFormerID, "Halvermoor"}).value();
  h.loop.advance(0.1);
  EXPECT_GT(h.processes->listings(), listed);
  EXPECT_TRUE(controller.legacyAppStatus().isRunning);
}

TEST(FormerBrandTest, QuitConfirmedForACopyWithoutWindows) {
  ControllerHarness h;
  const auto entry = h.installFormerEntry(h.userApplications());
  h.processes->addProcess(trayOnlyCopy(7001, entry), {false, 0.25});
  auto& controller = h.make();
  EXPECT_TRUE(controller.legacyAppStatus().isRunning);
  EXPECT_EQ(controller.legacyAppStatus().applicationURL, entry);

  const auto startedAt = h.loop.uptime();
  h.run(controller.quitPreviousCopy());
  EXPECT_EQ(h.processes->terminateRequests(), std::vector<std::int32_t>{7001});
  EXPECT_LT(h.loop.uptime() - startedAt, 0.45);  // confirmed at the third check
  EXPECT_FALSE(controller.legacyAppStatus().isRunning);
  EXPECT_EQ(controller.statusMessage(), kStoppedMessage);
  EXPECT_FALSE(controller.legacyAppQuitError());
  EXPECT_FALSE(controller.isQuittingLegacyApp());
  EXPECT_EQ(h.count("legacy_app_quit_confirmed"), 1);
}

TEST(FormerBrandTest, CopyIgnoringTheQuitTimesOutAfterThirtyChecks) {
  ControllerHarness h;
  h.desktop->launchApplication({kFormerID, "Halvermoor", 0, true}).value();
  auto& controller = h.make();
  const auto startedAt = h.loop.uptime();
  auto first = runtime::spawn(controller.quitPreviousCopy());
  auto second = runtime::spawn(controller.quitPreviousCopy());  // ignored while the first runs
  h.loop.advance(2.9);
  EXPECT_TRUE(controller.isQuittingLegacyApp());
  h.loop.advance(0.2);
  ASSERT_TRUE(first.isDone());
  ASSERT_TRUE(second.isDone());
  EXPECT_NEAR(h.loop.uptime() - startedAt, 3.1, 1e-9);
  EXPECT_EQ(controller.legacyAppQuitError(), kDidNotQuit);
  EXPECT_EQ(controller.statusMessage(), "Previous copy is still running");
  EXPECT_EQ(h.count("legacy_app_quit_timed_out"), 1);
  EXPECT_FALSE(controller.isQuittingLegacyApp());
}

TEST(FormerBrandTest, QuitWithNothingRunningConfirmsAtOnce) {
  ControllerHarness h;
  auto& controller = h.make();
  h.run(controller.quitPreviousCopy());
  EXPECT_EQ(controller.statusMessage(), kStoppedMessage);
  EXPECT_EQ(h.count("legacy_app_quit_confirmed"), 1);
}

// What a former entry starts through a launcher or interpreter says nothing about which program
// runs, and an entry of the same name outside the application folders is anybody's: neither
// makes a process a former copy. A Flatpak entry's copy is known by its application id.
TEST(FormerBrandTest, OnlyWhatNamesTheFormerCopyCounts) {
  const std::vector<std::pair<std::string, std::string>> launchers = {
      {"python3 /opt/halvermoor/main.py", "python3"},
      {"sh -c \"exec halvermoor\"", "sh"},
      {"env HALVERMOOR_HOME=/opt/halvermoor halvermoor", "env"},
      {"java -jar /opt/halvermoor/halvermoor.jar", "java"},
      {"flatpak run --branch=stable --command=halvermoor com.pemberquist.Halvermoor2", "flatpak"},
  };
  for (const auto& [exec, launcher] : launchers) {
    SCOPED_TRACE(exec);
    ControllerHarness h;
    const auto program = h.folder.path() / "install/bin" / launcher;
    std::ofstream(program) << "#!/bin/sh\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    h.installFormerEntry(h.userApplications(), exec);
    std::filesystem::create_directories(h.folder.path() / "downloads");
    const auto lookalikeEntry = h.installFormerEntry(h.folder.path() / "downloads");
    h.processes->addProcess({501, program, std::nullopt, std::nullopt, {}});
    h.processes->addProcess({502, "/usr/bin/other", lookalikeEntry, std::nullopt, {}});
    auto& controller = h.make();
    EXPECT_FALSE(controller.legacyAppStatus().isRunning);
    h.run(controller.quitPreviousCopy());
    EXPECT_TRUE(h.processes->terminateRequests().empty());

    if (launcher != "flatpak") continue;
    h.processes->addProcess({503, program, std::nullopt, "com.pemberquist.Halvermoor2", {}});
    controller.refreshLegacyAppMigrationStatus(false);
    EXPECT_EQ(controller.legacyAppStatus().runningProcesses,
              std::vector<std::string>{"com.pemberquist.Halvermoor2 (process 503)"});
    h.run(controller.quitPreviousCopy());
    EXPECT_EQ(h.processes->terminateRequests(), std::vector<std::int32_t>{503});
  }
}

TEST(FormerBrandTest, QASuiteKeepsTheStatusClear) {
  ControllerHarness h;
  h.qaSuite = "com.pemberquist.corvane.startupqa.run.preferences";
  h.installFormerEntry(h.systemApplications());
  h.desktop->launchApplication({kFormerID, "Halvermoor"}).value();
  auto& controller = h.make();
  EXPECT_EQ(controller.legacyAppStatus(), LegacyAppMigrationStatus::clear());
  controller.refreshLegacyAppMigrationStatus(true);
  EXPECT_EQ(controller.legacyAppStatus(), LegacyAppMigrationStatus::clear());
  EXPECT_EQ(h.reviewPosts, 0);
  EXPECT_EQ(h.loop.pendingTimerCount(), 0u);  // no monitor
  EXPECT_FALSE(h.settings()->object(PreferencesStore::brandMigrationReviewRequiredKey));
}

// The advisor's own waiting rules.
struct AdvisorFixture {
  AdvisorFixture() {
    services.workspace = desktop;
    services.processes = processes;
    services.ownProcessIdentifier = 1;
  }
  LegacyAppQuitResult quit(int attempts, double interval) {
    auto advisor = std::make_shared<LegacyAppMigrationAdvisor>(services);
    auto handle =
        runtime::spawn(LegacyAppMigrationAdvisor::quitPreviousCopy(advisor, attempts, interval));
    for (int i = 0; i < 1000 && !handle.isDone(); ++i) loop.advance(0.01);
    return handle.result();
  }
  runtime::VirtualRunLoop loop;
  std::shared_ptr<platform::sim::SimDesktop> desktop = platform::sim::SimDesktop::make();
  std::shared_ptr<platform::sim::SimProcessTable> processes =
      platform::sim::SimProcessTable::make();
  LegacyAppMigrationAdvisorServices services;
};

TEST(FormerBrandAdvisorTest, PollingRules) {
  {
    AdvisorFixture f;
    EXPECT_EQ(f.quit(30, 0.1), LegacyAppQuitResult::notRunning);
  }
  {
    // Zero attempts still wait one interval before giving up.
    AdvisorFixture f;
    f.processes->addProcess({42, "/opt/x", std::nullopt, std::string(kFormerID), {}}, {true, 0});
    const auto startedAt = f.loop.uptime();
    EXPECT_EQ(f.quit(0, 0.1), LegacyAppQuitResult::timedOut);
    EXPECT_NEAR(f.loop.uptime() - startedAt, 0.1, 0.011);
  }
  {
    // A copy that quits during the first wait is confirmed after one sleep.
    AdvisorFixture f;
    f.processes->addProcess({42, "/opt/x", std::nullopt, std::string(kFormerID), {}},
                            {false, 0.05});
    const auto startedAt = f.loop.uptime();
    EXPECT_EQ(f.quit(30, 0.1), LegacyAppQuitResult::confirmed);
    EXPECT_NEAR(f.loop.uptime() - startedAt, 0.1, 0.011);
  }
  {
    // This process itself is never a former copy, whatever it looks like.
    AdvisorFixture f;
    f.processes->addProcess({1, "/opt/x", std::nullopt, std::string(kFormerID), {}});
    EXPECT_EQ(f.quit(30, 0.1), LegacyAppQuitResult::notRunning);
  }
}

// A quit request goes to the process that was found, never to a later one given its number.
TEST(FormerBrandAdvisorTest, ARecordOfAnEndedProcessSignalsNothing) {
  AdvisorFixture f;
  f.processes->addProcess({42, "/opt/x", std::nullopt, std::string(kFormerID), {}});
  const auto found = f.processes->processes().front();
  f.processes->removeProcess(42);
  f.processes->addProcess({42, "/usr/bin/editor", std::nullopt, std::nullopt, {}});
  EXPECT_FALSE(f.processes->terminate(found).ok());
  EXPECT_TRUE(f.processes->terminateRequests().empty());
  EXPECT_TRUE(f.processes->terminate(f.processes->processes().front()).ok());
}

}  // namespace
}  // namespace corvane::app::testing
