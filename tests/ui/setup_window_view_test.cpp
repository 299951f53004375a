#include <gtest/gtest.h>

#include <QPointer>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "qt_test_support.h"
#include "support/test_artifacts.h"
#include "ui/design_components.h"
#include "ui/windows/onboarding_step_row.h"
#include "ui/windows/setup_notices.h"
#include "windows_test_host.h"

namespace corvane::ui {
namespace {

const QRgb kGreen = qRgb(23, 158, 64);
const QRgb kAmber = qRgb(242, 191, 31);
const QRgb kRed = qRgb(235, 46, 46);

class SetupWindowViewTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  OnboardingView& view() { return host.setupView(); }
  // Shows the window and waits until it has drawn `title` in its footer.
  void showAndSettle(const std::string& primaryTitle) {
    host.showSetup();
    ASSERT_TRUE(processUntil([&] {
      return host.host(host.setupWindow())->isVisible() &&
             view().primaryButton()->text().toStdString() == primaryTitle;
    })) << view().primaryButton()->text().toStdString();
    processFor(30);
  }
  QImage grab(const char* name) {
    const QImage shot = host.host(host.setupWindow())->grab().toImage();
    shot.save(QString::fromStdString(corvane::testing::artifactPath(name).string()));
    return shot;
  }

  std::shared_ptr<corvane::testing::WindowsControllerDouble> controller =
      std::make_shared<corvane::testing::WindowsControllerDouble>();
  testing::WindowsTestHost host{
      std::make_shared<QtWindowSystem>(testing::offscreenDesktop(), nullptr), controller};
};

TEST_F(SetupWindowViewTest, FirstRunAsksForThePermissionFirst) {
  controller->permissionGranted = false;
  showAndSettle("Enable Screen Recording");
  const QImage shot = grab("setup-window-first-run.png");
  EXPECT_EQ(shot.size() / shot.devicePixelRatio(), QSize(820, 500));
  EXPECT_EQ(host.setupWindow()->title(), "Corvane Setup");
  EXPECT_EQ(view().headerTitleLabel()->text(), "Set Up Corvane");
  EXPECT_EQ(view().readinessPill()->title(), "Action required");
  EXPECT_TRUE(view().primaryButton()->isEnabled());
  EXPECT_EQ(view().secondaryButton()->text(), "Finish Later");
  EXPECT_EQ(view().screenRecordingRow()->actionButton()->text(), "Open Settings");
  EXPECT_EQ(view().excludedAppsRow()->actionButton()->text(), "Review");
  EXPECT_FALSE(view().migrationNotice()->isVisibleTo(&view()));
  EXPECT_FALSE(view().fallbackNotice()->isVisibleTo(&view()));
  // The red fail mark, the amber warn marks and pill, and no green footer yet.
  EXPECT_GT(testing::countPixelsNear(shot, kRed, 30), 40);
  EXPECT_GT(testing::countPixelsNear(shot, kAmber, 30), 80);
  // Shown once: the former copy was looked at without presenting the review.
  EXPECT_EQ(controller->count("refreshLegacy"), 1);

  // The row button and the primary button both ask for the permission.
  view().screenRecordingRow()->actionButton()->click();
  view().primaryButton()->click();
  EXPECT_EQ(controller->count("requestPermission"), 2);

  // Reviewing redraws the row at once, even when the section was already the selected one.
  controller->section = model::SettingsSection::protectedApps;
  view().excludedAppsRow()->actionButton()->click();
  EXPECT_EQ(view().excludedAppsRow()->actionButton()->text(), "Review Again");
  EXPECT_EQ(view().excludedAppsRow()->detailLabel()->text(),
            "Reviewed. 6 apps stay local and do not appear in Protected Share.");
}

TEST_F(SetupWindowViewTest, MigrationReviewWithARunningCopyAndTheTrayFallBack) {
  host.defaults->set("brandMigrationReviewRequired", true);
  controller->previousCopy = {"/opt/halvermoor/com.pemberquist.halvermoor.desktop", true, {}};
  controller->quitError = "The previous copy did not quit.";
  controller->accessState = model::MenuBarAccessState::dockFallback;
  showAndSettle("Quit Previous Copy Above");
  const QImage shot = grab("setup-window-migration-review.png");
  EXPECT_EQ(view().headerTitleLabel()->text(), "Finish Moving to Corvane");
  EXPECT_TRUE(
      view().headerSubtitleLabel()->text().startsWith("Corvane is running from the taskbar"));
  EXPECT_FALSE(view().primaryButton()->isEnabled());
  ASSERT_TRUE(view().migrationNotice()->isVisibleTo(&view()));
  EXPECT_TRUE(view().fallbackNotice()->isVisibleTo(&view()));
  EXPECT_EQ(view().fallbackNotice()->headingLabel()->text(), "System tray space is full");
  const auto& buttons = view().migrationNotice()->buttons();
  ASSERT_EQ(buttons.size(), 3);
  EXPECT_EQ(buttons[0]->text(), "Quit Previous Copy");
  EXPECT_EQ(buttons[1]->text(), "Show in File Manager");
  EXPECT_EQ(buttons[2]->text(), "Check Again");
  EXPECT_TRUE(view().migrationNotice()->quitErrorLabel()->isVisibleTo(&view()));
  EXPECT_GT(testing::countPixelsNear(shot, kAmber, 30), 100);
  // A change the notice does not show leaves its buttons (and a press on one) alone.
  const QPointer<QPushButton> first = buttons[0];
  controller->scanning = !controller->scanning;
  controller->changed();
  processFor(30);
  ASSERT_TRUE(first);
  EXPECT_EQ(view().migrationNotice()->buttons()[0], first.data());
  controller->scanning = !controller->scanning;

  // Quit: while it runs the quit button reads "Quitting Previous Copy" and both it and "Check
  // Again" wait; once the copy is gone the notice keeps only the installed copy's buttons.
  buttons[0]->click();
  ASSERT_TRUE(processUntil([&] {
    const auto& now = view().migrationNotice()->buttons();
    return now.size() == 3 && now[0]->text() == "Quitting Previous Copy";
  }));
  EXPECT_FALSE(view().migrationNotice()->buttons()[0]->isEnabled());
  EXPECT_FALSE(view().migrationNotice()->buttons()[2]->isEnabled());
  EXPECT_FALSE(view().migrationNotice()->quitErrorLabel()->isVisibleTo(&view()));
  controller->finishQuit();
  ASSERT_TRUE(processUntil([&] { return view().migrationNotice()->buttons().size() == 2; }));
  EXPECT_EQ(view().primaryButton()->text(), "Review Excluded Apps");
  EXPECT_EQ(controller->count("quitPreviousCopy"), 1);
  view().migrationNotice()->buttons()[0]->click();
  EXPECT_EQ(controller->count("reveal:/opt/halvermoor/com.pemberquist.halvermoor.desktop"), 1);
}

TEST_F(SetupWindowViewTest, ReadyStartsTheSessionAndTheCheckboxDrivesTheButton) {
  host.defaults->set("onboardingReviewedExcludedApps", true);
  showAndSettle("Confirm Share Target");
  EXPECT_FALSE(view().primaryButton()->isEnabled());
  view().shareTargetCheckBox()->click();
  ASSERT_TRUE(
      processUntil([&] { return view().primaryButton()->text() == "Start Protected Share"; }));
  const QImage shot = grab("setup-window-ready.png");
  EXPECT_TRUE(host.defaults->boolValue("onboardingConfirmedShareTarget"));
  EXPECT_EQ(view().readinessPill()->title(), "Ready to share");
  EXPECT_EQ(view().secondaryButton()->text(), "Finish Setup");
  EXPECT_EQ(view().footerLabel()->palette().color(QPalette::WindowText),
            toQColor(model::Palette::privacyGreen()));
  EXPECT_GT(testing::countPixelsNear(shot, kGreen, 30), 400);

  view().primaryButton()->click();
  EXPECT_EQ(controller->calls.back(), "toggleDemoMode");
  EXPECT_EQ(controller->count("openProtectedShareWindow"), 1);
  ASSERT_TRUE(
      processUntil([&] { return view().primaryButton()->text() == "Restart Protected Share"; }));
  EXPECT_EQ(view().secondaryButton()->text(), "Close");

  // The Excluded Apps row opens the settings window on its section.
  view().excludedAppsRow()->actionButton()->click();
  ASSERT_TRUE(host.settingsWindow());
  EXPECT_TRUE(host.settingsWindow()->isVisible());
  EXPECT_EQ(controller->section, model::SettingsSection::protectedApps);
  ASSERT_TRUE(processUntil(
      [&] { return host.settingsView().shownSection() == model::SettingsSection::protectedApps; }));

  // Close only orders the window out.
  view().secondaryButton()->click();
  EXPECT_FALSE(host.setupWindow()->isVisible());
}

TEST_F(SetupWindowViewTest, ResetSettingsAndAReviewWithNothingToOpenAreSaid) {
  controller->reset = model::SettingsStoreProblem{
      model::SettingsStoreProblem::Kind::reset, "Unexpected character.",
      std::filesystem::path("/home/u/.config/corvane/defaults/x.unreadable-1.json")};
  controller->nothingToOpen = "Nothing to review here.";
  showAndSettle("Review Excluded Apps");
  ASSERT_TRUE(view().resetNotice()->isVisibleTo(&view()));
  EXPECT_EQ(view().resetNotice()->headingLabel()->text(), "Your settings were reset");
  EXPECT_EQ(view().resetNotice()->keptAsLabel()->text(),
            "The old settings file was kept at "
            "/home/u/.config/corvane/defaults/x.unreadable-1.json.");
  grab("setup-window-settings-reset.png");

  EXPECT_EQ(view().screenRecordingRow()->actionButton()->text(), "Review");
  view().screenRecordingRow()->actionButton()->click();
  ASSERT_TRUE(processUntil([&] {
    return view().screenRecordingRow()->detailLabel()->text() == "Nothing to review here.";
  }));
  controller->reset.reset();
  controller->changed();
  ASSERT_TRUE(processUntil([&] { return !view().resetNotice()->isVisibleTo(&view()); }));
}

}  // namespace
}  // namespace corvane::ui
