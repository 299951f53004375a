#include <gtest/gtest.h>

#include "windows/health_mark.h"
#include "windows/onboarding_view_model.h"

namespace corvane::windows {
namespace {

using model::HealthState;
using model::StatusColor;

// Everything met, no session.
OnboardingViewInput ready() {
  OnboardingViewInput input;
  input.isStartupInitializationComplete = true;
  input.screenRecordingPermissionGranted = true;
  input.hasReviewedExcludedApps = true;
  input.hasConfirmedShareTarget = true;
  input.menuBarAccessState = model::MenuBarAccessState::available;
  return input;
}

TEST(OnboardingViewModelTest, PrimaryActionTableFirstMatchingRowWins) {
  struct Row {
    const char* name;
    std::function<void(OnboardingViewInput&)> change;
    OnboardingPrimaryAction action;
    const char* readiness;
    HealthState state;
  } rows[] = {
      // Quitting outranks a running copy, which outranks start-up.
      {"quitting",
       [](auto& i) {
         i.isQuittingLegacyApp = true;
         i.legacyAppStatus.isRunning = true;
         i.isStartupInitializationComplete = false;
       },
       {"Quitting Previous Copy", "hourglass", false},
       "Preparing",
       HealthState::inactive},
      {"copy running",
       [](auto& i) { i.legacyAppStatus.isRunning = true; },
       {"Quit Previous Copy Above", "exclamationmark.triangle", false},
       "Action required",
       HealthState::warn},
      {"start-up",
       [](auto& i) { i.isStartupInitializationComplete = false; },
       {"Preparing Corvane", "hourglass", false},
       "Preparing",
       HealthState::inactive},
      {"no permission",
       [](auto& i) {
         i.screenRecordingPermissionGranted = false;
         i.hasReviewedExcludedApps = false;
       },
       {"Enable Screen Recording", "record.circle", true},
       "Action required",
       HealthState::warn},
      {"not reviewed",
       [](auto& i) {
         i.hasReviewedExcludedApps = false;
         i.hasConfirmedShareTarget = false;
       },
       {"Review Excluded Apps", "square.grid.2x2", true},
       "Action required",
       HealthState::warn},
      {"not confirmed",
       [](auto& i) {
         i.hasConfirmedShareTarget = false;
         i.isDemoModeOn = true;
       },
       {"Confirm Share Target", "checkmark.square", false},
       "Action required",
       HealthState::warn},
      // A stop in progress is always disabled, whatever the table says.
      {"stopping",
       [](auto& i) {
         i.isProtectedShareStopping = true;
         i.isProtectedShareHealthy = true;
       },
       {"Stopping", "rectangle.on.rectangle.angled", false},
       "Ready to share",
       HealthState::pass},
      {"healthy",
       [](auto& i) {
         i.isProtectedShareHealthy = true;
         i.isProtectedSharePreparing = true;
         i.isDemoModeOn = true;
       },
       {"Open Protected Share", "rectangle.on.rectangle.angled", true},
       "Ready to share",
       HealthState::pass},
      {"preparing",
       [](auto& i) {
         i.isProtectedSharePreparing = true;
         i.isDemoModeOn = true;
       },
       {"Preparing", "eye.slash", true},
       "Ready to share",
       HealthState::pass},
      {"on, unhealthy",
       [](auto& i) { i.isDemoModeOn = true; },
       {"Restart Protected Share", "eye.slash", true},
       "Ready to share",
       HealthState::pass},
      {"idle",
       [](auto&) {},
       {"Start Protected Share", "eye.slash", true},
       "Ready to share",
       HealthState::pass},
      // A scan disables the button whatever its title.
      {"scanning",
       [](auto& i) { i.isScanning = true; },
       {"Start Protected Share", "eye.slash", false},
       "Ready to share",
       HealthState::pass},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto input = ready();
    row.change(input);
    const OnboardingViewModel model(input);
    EXPECT_EQ(model.protectedShareAction(), row.action);
    EXPECT_EQ(model.readinessTitle(), row.readiness);
    EXPECT_EQ(model.readinessState(), row.state);
    EXPECT_EQ(healthMark(model.readinessState()).systemImage,
              row.state == HealthState::pass       ? "checkmark.circle.fill"
              : row.state == HealthState::inactive ? "minus.circle.fill"
                                                   : "exclamationmark.triangle.fill");
  }
}

TEST(OnboardingViewModelTest, SecondaryTitleDetailRowsAndFooter) {
  auto input = ready();
  EXPECT_EQ(OnboardingViewModel(input).secondaryActionTitle(), "Finish Setup");
  input.isInitialSetupComplete = true;
  EXPECT_EQ(OnboardingViewModel(input).secondaryActionTitle(), "Close");
  input = ready();
  input.hasConfirmedShareTarget = false;
  EXPECT_EQ(OnboardingViewModel(input).secondaryActionTitle(), "Finish Later");
  EXPECT_EQ(OnboardingViewModel(input).footerLabelColor(), StatusColor::secondary);
  EXPECT_EQ(OnboardingViewModel(ready()).footerLabelColor(), StatusColor::privacyGreen);

  // Three apps with one off give 2; one gives 1 with the same wording; none, and unreviewed.
  input = ready();
  input.enabledProtectedAppCount = 2;
  EXPECT_EQ(OnboardingViewModel(input).excludedAppsDetail(),
            "Reviewed. 2 apps stay local and do not appear in Protected Share.");
  input.enabledProtectedAppCount = 1;
  EXPECT_EQ(OnboardingViewModel(input).excludedAppsDetail(),
            "Reviewed. 1 apps stay local and do not appear in Protected Share.");
  input.enabledProtectedAppCount = 0;
  EXPECT_EQ(OnboardingViewModel(input).excludedAppsDetail(),
            "Reviewed. No apps are currently excluded.");
  // Excluded ids that name no installed application are said to be not installed.
  input.notInstalledAppCount = 2;
  EXPECT_EQ(OnboardingViewModel(input).excludedAppsDetail(),
            "Reviewed. No apps are currently excluded. 2 excluded apps are not installed.");
  input.notInstalledAppCount = 1;
  EXPECT_EQ(OnboardingViewModel(input).excludedAppsDetail(),
            "Reviewed. No apps are currently excluded. 1 excluded app is not installed.");

  input.hasReviewedExcludedApps = false;
  input.screenRecordingPermissionGranted = false;
  input.enabledProtectedAppCount = 5;
  const auto rows = OnboardingViewModel(input).checklist();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0],
            (OnboardingStepRowModel{OnboardingStep::screenRecording, "Enable Screen Recording",
                                    "Required to publish the filtered display in "
                                    "Protected Share.",
                                    HealthState::fail, "Open Settings"}));
  EXPECT_EQ(rows[1],
            (OnboardingStepRowModel{OnboardingStep::excludedApps, "Review Excluded Apps",
                                    "Choose which private apps must stay local before sharing.",
                                    HealthState::warn, "Review"}));
  const auto met = OnboardingViewModel(ready()).checklist();
  EXPECT_EQ(met[0].state, HealthState::pass);
  EXPECT_EQ(met[0].actionTitle, "Review");
  EXPECT_EQ(met[1].state, HealthState::pass);
  EXPECT_EQ(met[1].actionTitle, "Review Again");

  // A row's button waits only on "Scanning" and "Preparing".
  for (const char* title : {"Scanning", "Preparing"}) {
    EXPECT_FALSE((OnboardingStepRowModel{{}, "", "", HealthState::pass, title}).isActionEnabled());
  }
  for (const char* title : {"Review", "Preparing Corvane", "scanning", ""}) {
    EXPECT_TRUE((OnboardingStepRowModel{{}, "", "", HealthState::pass, title}).isActionEnabled());
  }
  EXPECT_EQ(healthMark(HealthState::inactive),
            (HealthMark{"minus.circle.fill", StatusColor::secondary}));
  EXPECT_EQ(healthMark(HealthState::fail),
            (HealthMark{"xmark.circle.fill", StatusColor::criticalRed}));
}

TEST(OnboardingViewModelTest, HeaderAndWhichNoticesShow) {
  auto input = ready();
  OnboardingViewModel plain(input);
  EXPECT_EQ(plain.headerTitle(), "Set Up Corvane");
  EXPECT_EQ(plain.headerSubtitle(),
            "Corvane is running in your system tray. Confirm the essentials before starting a "
            "customer-facing Protected Share.");
  EXPECT_FALSE(plain.showsMigrationNotice());
  EXPECT_FALSE(plain.showsMenuBarFallbackNotice());

  input.menuBarAccessState = model::MenuBarAccessState::dockFallback;
  input.migrationReviewRequired = true;
  OnboardingViewModel review(input);
  EXPECT_EQ(review.headerTitle(), "Finish Moving to Corvane");
  EXPECT_EQ(review.headerSubtitle(),
            "Corvane is running from the taskbar. Confirm the essentials before starting a "
            "customer-facing Protected Share.");
  EXPECT_TRUE(review.showsMigrationNotice());
  EXPECT_TRUE(review.showsMenuBarFallbackNotice());
  EXPECT_EQ(review.menuBarFallbackNotice().headingText, "System tray space is full");
  // A desktop without any tray: the same notice, saying so instead of blaming a full tray.
  input.menuBarAccessState = model::MenuBarAccessState::noSystemTray;
  const OnboardingViewModel noTray(input);
  EXPECT_TRUE(noTray.showsMenuBarFallbackNotice());
  EXPECT_EQ(noTray.headerSubtitle(), review.headerSubtitle());
  EXPECT_EQ(noTray.menuBarFallbackNotice().headingText, "This desktop has no system tray");
  EXPECT_EQ(noTray.menuBarFallbackNotice().explanationText.find("full"), std::string::npos);
  EXPECT_EQ(noTray.menuBarFallbackNotice().explanationText.find("hid"), std::string::npos);
  EXPECT_NE(noTray.menuBarFallbackNotice().explanationText.find("add a system tray"),
            std::string::npos);
  // A review with no previous copy: heading and explanation only.
  EXPECT_FALSE(review.migrationNotice().showsPreviousCopy);
  EXPECT_TRUE(review.migrationNotice().buttons.empty());

  input = ready();
  input.legacyAppStatus.location = "/usr/share/applications/com.pemberquist.halvermoor.desktop";
  EXPECT_EQ(OnboardingViewModel(input).headerTitle(), "Finish Moving to Corvane");
  // An installed copy alone still lets the user share.
  EXPECT_EQ(OnboardingViewModel(input).readinessTitle(), "Ready to share");
}

TEST(OnboardingViewModelTest, MigrationNoticeButtonSets) {
  using B = MigrationNoticeButton;
  auto kinds = [](const MigrationNoticeModel& notice) {
    std::vector<std::pair<B, bool>> kinds;
    for (const auto& b : notice.buttons) kinds.emplace_back(b.kind, b.isEnabled);
    return kinds;
  };
  const std::filesystem::path where = "/opt/halvermoor/halvermoor.desktop";

  const auto installed = MigrationNoticeModel::make({where, false, {}}, false, std::nullopt);
  EXPECT_TRUE(installed.showsPreviousCopy);
  EXPECT_EQ(installed.previousCopyText,
            "A previous copy is still installed. After confirming Corvane works, uninstall that "
            "copy so only one tray icon remains.");
  EXPECT_EQ(kinds(installed),
            (std::vector<std::pair<B, bool>>{{B::reveal, true}, {B::recheck, true}}));
  EXPECT_EQ(installed.buttons[0].title, "Show in File Manager");
  EXPECT_EQ(installed.buttons[0].systemImage, "folder");

  const auto running = MigrationNoticeModel::make({where, true, {}}, false, "It did not quit.");
  EXPECT_EQ(running.previousCopyText,
            "A previous copy is still running. Quit it before starting Protected Share, then "
            "uninstall it after Corvane is working.");
  EXPECT_EQ(kinds(running), (std::vector<std::pair<B, bool>>{
                                {B::quit, true}, {B::reveal, true}, {B::recheck, true}}));
  EXPECT_EQ(running.buttons[0].title, "Quit Previous Copy");
  EXPECT_EQ(running.buttons[0].systemImage, "xmark.circle");
  EXPECT_EQ(running.quitError, "It did not quit.");

  const auto quitting = MigrationNoticeModel::make({where, true, {}}, true, std::nullopt);
  EXPECT_EQ(kinds(quitting), (std::vector<std::pair<B, bool>>{
                                 {B::quit, false}, {B::reveal, true}, {B::recheck, false}}));
  EXPECT_EQ(quitting.buttons[0].title, "Quitting Previous Copy");
  EXPECT_EQ(quitting.buttons[0].systemImage, "hourglass");
  EXPECT_EQ(quitting.buttons[2].title, "Check Again");

  const auto unknownPlace =
      MigrationNoticeModel::make({std::nullopt, true, {}}, false, std::nullopt);
  EXPECT_EQ(kinds(unknownPlace),
            (std::vector<std::pair<B, bool>>{{B::quit, true}, {B::recheck, true}}));

  // What the quit button ends is named before it is pressed; a long list is cut short.
  const std::string runningText =
      "A previous copy is still running. Quit it before starting Protected Share, then "
      "uninstall it after Corvane is working.";
  EXPECT_EQ(MigrationNoticeModel::make({where, true, {"halvermoor (process 4242)"}}, false, {})
                .previousCopyText,
            runningText + " Quit Previous Copy ends halvermoor (process 4242).");
  std::vector<std::string> many;
  for (int pid = 1; pid <= 9; ++pid) many.push_back("process " + std::to_string(pid));
  EXPECT_EQ(MigrationNoticeModel::make({where, true, {many[0], many[1], many[2]}}, false, {})
                .previousCopyText,
            runningText + " Quit Previous Copy ends process 1, process 2 and process 3.");
  EXPECT_EQ(MigrationNoticeModel::make({where, true, many}, false, {}).previousCopyText,
            runningText +
                " Quit Previous Copy ends process 1, process 2, process 3, process 4, process 5, "
                "process 6 and 3 more processes.");

  // Nothing installed or running: no lower part, and no stale error either.
  const auto none = MigrationNoticeModel::make({}, false, "old");
  EXPECT_FALSE(none.showsPreviousCopy);
  EXPECT_TRUE(none.buttons.empty());
  EXPECT_FALSE(none.quitError);
}

}  // namespace
}  // namespace corvane::windows
