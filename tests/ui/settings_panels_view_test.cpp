#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "qt_test_support.h"
#include "support/test_artifacts.h"
#include "ui/design_components.h"
#include "ui/toggle_switch.h"
#include "ui/windows/advanced_section.h"
#include "ui/windows/alerts_about_sections.h"
#include "ui/windows/diagnostics_export_result.h"
#include "ui/windows/general_section.h"
#include "ui/windows/option_toggle_row.h"
#include "ui/windows/sensitive_text_section.h"
#include "ui/windows/settings_panel_parts.h"
#include "ui/windows/support_panel.h"
#include "windows_test_host.h"

namespace corvane::ui {
namespace {

using model::HealthItem;
using model::HealthState;
using model::SettingsSection;

const QRgb kGreen = qRgb(23, 158, 64);
const QRgb kAmber = qRgb(242, 191, 31);

class SettingsPanelsViewTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  SettingsPanelsViewTest() {
    host = std::make_unique<testing::WindowsTestHost>(
        std::make_shared<QtWindowSystem>(testing::offscreenDesktop(), nullptr), controller);
  }

  template <class Section>
  Section& show(SettingsSection section) {
    controller->section = section;
    host->showSettings();
    EXPECT_TRUE(processUntil([&] { return host->host(host->settingsWindow())->isVisible(); }));
    processFor(30);
    auto* shown = dynamic_cast<Section*>(host->settingsView().sectionView());
    EXPECT_NE(shown, nullptr);
    return *shown;
  }
  QImage grab(const char* name) {
    const QImage shot = host->host(host->settingsWindow())->grab().toImage();
    shot.save(QString::fromStdString(corvane::testing::artifactPath(name).string()));
    return shot;
  }
  void change() {
    controller->changed();
    processFor(30);
  }
  // Selects another section in the open window.
  template <class Section>
  Section& switchTo(SettingsSection section) {
    controller->section = section;
    change();
    auto* shown = dynamic_cast<Section*>(host->settingsView().sectionView());
    EXPECT_NE(shown, nullptr);
    return *shown;
  }
  static std::vector<std::string> texts(const std::vector<QPushButton*>& buttons) {
    std::vector<std::string> titles;
    for (auto* button : buttons) titles.push_back(button->text().toStdString());
    return titles;
  }

  std::shared_ptr<corvane::testing::WindowsControllerDouble> controller =
      std::make_shared<corvane::testing::WindowsControllerDouble>();
  std::unique_ptr<testing::WindowsTestHost> host;
};

TEST_F(SettingsPanelsViewTest, GeneralPermissionDisplayPickerAndDesktopIcons) {
  controller->permissionGranted = false;
  controller->displays = {{7, "HDMI-1", "1920 × 1080"}, {3, "eDP-1", "2560 × 1600"}};
  auto& general = show<GeneralSection>(SettingsSection::general);
  const QImage missing = grab("settings-general-permission-missing.png");
  EXPECT_GT(testing::countPixelsNear(missing, kAmber, 30), 20);
  EXPECT_EQ(general.permissionStatus()->titleLabel()->text(), "Screen Recording is required");
  EXPECT_EQ(texts(general.permissionButtons()),
            (std::vector<std::string>{"Open Settings", "Refresh", "Restart"}));
  general.permissionButtons()[0]->click();
  general.permissionButtons()[1]->click();
  general.permissionButtons()[2]->click();
  EXPECT_EQ(controller->count("requestPermission"), 1);
  EXPECT_EQ(controller->count("refreshPermission"), 1);
  EXPECT_EQ(controller->count("restartCorvane"), 1);

  // The picker: "Main display" first and selected, then one entry per display.
  QComboBox* picker = general.displayPicker();
  ASSERT_EQ(picker->count(), 3);
  EXPECT_EQ(picker->itemText(0), "Main display");
  EXPECT_EQ(picker->itemText(2), QString::fromUtf8("eDP-1 \u00B7 2560 × 1600"));
  EXPECT_EQ(picker->currentIndex(), 0);
  EXPECT_EQ(general.sourceNameLabel()->text(), "Main display");
  emit picker->activated(2);
  EXPECT_EQ(controller->calls.back(), "setCaptureDisplay:3");
  processFor(30);
  EXPECT_EQ(general.sourceNameLabel()->text(), "eDP-1");
  emit picker->activated(0);
  EXPECT_EQ(controller->calls.back(), "setCaptureDisplay:main");
  general.refreshDisplaysButton()->click();
  EXPECT_EQ(controller->calls.back(), "refreshCaptureDisplays");

  // Granted, with a failure text: no Restart, the failure replaces the fixed sentence, and the
  // first button opens the settings without asking.
  controller->permissionGranted = true;
  controller->lastError = "Could not export diagnostics: disk full.";
  change();
  EXPECT_EQ(general.permissionStatus()->titleLabel()->text(), "Screen Recording is enabled");
  EXPECT_EQ(general.permissionStatus()->detailLabel()->text(),
            "Could not export diagnostics: disk full.");
  ASSERT_EQ(texts(general.permissionButtons()),
            (std::vector<std::string>{"Open Settings", "Refresh"}));
  general.permissionButtons()[0]->click();
  EXPECT_EQ(controller->count("openScreenRecordingSettings"), 1);
  EXPECT_EQ(controller->count("requestPermission"), 1);
  controller->lastError.reset();
  change();
  EXPECT_EQ(general.permissionStatus()->detailLabel()->text().toStdString(),
            windows::PermissionPanelModel::defaultDetail);

  // The desktop-icon switch writes once through the controller and shows its value.
  ASSERT_TRUE(general.desktopIconsRow()->toggle()->isChecked());
  general.desktopIconsRow()->toggle()->click();
  processFor(30);
  EXPECT_EQ(controller->count("setHideDesktopIcons:off"), 1);
  EXPECT_EQ(controller->count("setHideDesktopIcons:on"), 0);
  EXPECT_FALSE(general.desktopIconsRow()->toggle()->isChecked());
  const QImage granted = grab("settings-general-granted.png");
  EXPECT_GT(testing::countPixelsNear(granted, kGreen, 30), 40);
}

TEST_F(SettingsPanelsViewTest, SensitiveTextRulesAndWordListsWriteThroughTheController) {
  auto& section = show<SensitiveTextSection>(SettingsSection::sensitiveText);
  for (auto* item : host->settingsView().sidebarItems()) EXPECT_FALSE(item->isSelected());
  ASSERT_EQ(section.ruleRows().size(), 6u);
  EXPECT_EQ(section.dividerCount(), 5);
  EXPECT_EQ(section.ruleRows()[5]->titleLabel()->text(), "Internal URL");
  EXPECT_EQ(section.neverHideField()->toPlainText(), "Corvane, Example Co");
  grab("settings-sensitive-text.png");

  // A switch reaches the controller, which saves it; the row then shows the saved value.
  section.ruleRows()[2]->toggle()->click();
  EXPECT_EQ(controller->calls.back(), "setSensitiveRule:phoneNumber:off");
  processFor(30);
  ASSERT_EQ(section.ruleRows().size(), 6u);
  EXPECT_FALSE(section.ruleRows()[2]->toggle()->isChecked());
  EXPECT_FALSE(controller->rules[2].isEnabled);

  // Every keystroke stores the whole text exactly; clearing stores the empty string.
  section.alwaysHideField()->setFocus();
  QTest::keyClicks(section.alwaysHideField(), "Atlas ,  Falcon ");
  EXPECT_EQ(controller->alwaysHide, "Atlas ,  Falcon ");
  EXPECT_EQ(controller->count("setAlwaysHideWords:Atlas ,  Falcon "), 1);
  EXPECT_EQ(controller->count("setAlwaysHideWords:A"), 1);
  processFor(30);
  EXPECT_EQ(section.alwaysHideField()->toPlainText(), "Atlas ,  Falcon ");
  section.neverHideField()->clear();
  EXPECT_EQ(controller->calls.back(), "setNeverHideWords:");
  EXPECT_EQ(controller->neverHide, "");

  // A change made elsewhere shows at once.
  controller->alwaysHide = "Orion";
  controller->rules[0].isEnabled = false;
  change();
  EXPECT_EQ(section.alwaysHideField()->toPlainText(), "Orion");
  EXPECT_FALSE(section.ruleRows()[0]->toggle()->isChecked());
}

TEST_F(SettingsPanelsViewTest, AlertsReminderAndFocusSettings) {
  auto& alerts = show<AlertsSection>(SettingsSection::alerts);
  grab("settings-alerts.png");
  ASSERT_TRUE(alerts.reminderRow()->toggle()->isChecked());
  alerts.reminderRow()->toggle()->click();
  processFor(30);
  EXPECT_EQ(controller->count("setRemind:off"), 1);
  EXPECT_FALSE(alerts.reminderRow()->toggle()->isChecked());
  alerts.openSettingsButton()->click();
  EXPECT_EQ(alerts.openSettingsButton()->text(), "Open Do Not Disturb Settings");
  EXPECT_EQ(controller->calls.back(), "openFocusSettings");
}

TEST_F(SettingsPanelsViewTest, AboutSupportRowsAndUpdateButtons) {
  controller->configuration.isBetaRelease = true;
  controller->configuration.crashReportingEnabled = false;
  controller->configuration.automaticUpdatesEnabled = false;
  auto& about = show<AboutSection>(SettingsSection::about);
  SupportPanel& support = *about.supportPanel();
  // The support panel stands below the divider, last in the section.
  auto* stack = about.layout();
  EXPECT_EQ(stack->itemAt(stack->count() - 1)->widget(), &support);
  EXPECT_EQ(support.configurationRow()->titleLabel()->text(), "Beta operations incomplete");
  EXPECT_EQ(support.configurationRow()->detailLabel()->text(),
            "Privacy URL, Support URL, Beta details URL");
  EXPECT_EQ(support.updatesRow()->titleLabel()->text(), "Secure updates off for this beta");
  EXPECT_TRUE(support.checkButton()->isVisibleTo(&support));
  EXPECT_FALSE(support.installButton()->isVisibleTo(&support));
  const QImage shot = grab("settings-about.png");
  EXPECT_GT(testing::countPixelsNear(shot, kGreen, 30), 100);

  support.checkButton()->click();
  EXPECT_EQ(controller->calls.back(), "checkForUpdates");
  controller->updateURL = std::filesystem::path("/tmp/Corvane-2.0.tar.gz");
  change();
  ASSERT_TRUE(support.installButton()->isVisibleTo(&support));
  support.installButton()->click();
  EXPECT_EQ(controller->calls.back(), "installVerifiedUpdate");
  support.exportButton()->click();
  EXPECT_EQ(controller->calls.back(), "exportDiagnostics");
  grab("settings-about-update-ready.png");
}

TEST_F(SettingsPanelsViewTest, AdvancedHealthRatesAndExport) {
  controller->health = {{model::Uuid::random(), "Screen Recording",
                         "Protected Share can capture the selected display locally.",
                         HealthState::pass}};
  controller->metrics.captureFPS = 60;
  controller->metrics.outputFPS = 1234;
  auto& advanced = show<AdvancedSection>(SettingsSection::advanced);
  EXPECT_EQ(advanced.healthPanel()->rows().size(), 1u);
  EXPECT_EQ(advanced.healthPanel()->dividerCount(), 0);
  EXPECT_EQ(advanced.performancePanel()->valueLabels()[0]->text(), "60 FPS");
  EXPECT_EQ(advanced.performancePanel()->valueLabels()[1]->text(), "1234 FPS");
  EXPECT_EQ(advanced.performancePanel()->valueLabels()[2]->text(), "Direct relay");
  EXPECT_FALSE(advanced.exportResult()->isVisibleTo(&advanced));
  advanced.exportButton()->click();
  EXPECT_EQ(controller->calls.back(), "exportDiagnostics");

  for (auto state : {HealthState::inactive, HealthState::warn, HealthState::fail}) {
    controller->health.push_back({model::Uuid::random(), std::string(model::rawValue(state)),
                                  "A detail long enough to need more than two lines in this "
                                  "panel, so that the row has to cut it rather than grow "
                                  "without bound and push the panels below out of sight.",
                                  state});
  }
  controller->exportURL = std::filesystem::path("/data/Corvane/corvane-diagnostics-1.log");
  change();
  ASSERT_EQ(advanced.healthPanel()->rows().size(), 4u);
  EXPECT_EQ(advanced.healthPanel()->dividerCount(), 3);
  QLabel* detail = advanced.healthPanel()->rows()[3]->detailLabel();
  EXPECT_LE(detail->height(), detail->fontMetrics().lineSpacing() * 2 + 2);
  ASSERT_TRUE(advanced.exportResult()->isVisibleTo(&advanced));
  EXPECT_EQ(advanced.exportResult()->exportedLabel()->text(),
            "Exported: /data/Corvane/corvane-diagnostics-1.log");
  EXPECT_FALSE(advanced.exportResult()->failureLabel()->isVisibleTo(&advanced));
  advanced.exportResult()->revealButton()->click();
  EXPECT_EQ(controller->calls.back(), "revealDiagnosticsExport");
  controller->exportURL = std::filesystem::path("/data/Corvane/corvane-diagnostics-2.log");
  change();
  EXPECT_EQ(advanced.exportResult()->exportedLabel()->text(),
            "Exported: /data/Corvane/corvane-diagnostics-2.log");
  const QImage shot = grab("settings-advanced.png");
  EXPECT_GT(testing::countPixelsNear(shot, qRgb(235, 46, 46), 30), 20);
}

TEST_F(SettingsPanelsViewTest, WhatFailedIsShownWhereItsButtonIs) {
  controller->nothingToOpen = "Nothing to open here; do this instead.";
  auto& alerts = show<AlertsSection>(SettingsSection::alerts);
  EXPECT_FALSE(host->settingsView().saveErrorLabel()->isVisibleTo(&host->settingsView()));
  EXPECT_FALSE(alerts.openSettingsHint()->isVisibleTo(&alerts));
  alerts.openSettingsButton()->click();
  EXPECT_TRUE(alerts.openSettingsHint()->isVisibleTo(&alerts));
  EXPECT_EQ(alerts.openSettingsHint()->text(), "Nothing to open here; do this instead.");

  // Settings that cannot be saved are said above every section.
  controller->saveError = "Read-only file system.";
  change();
  QLabel* saveError = host->settingsView().saveErrorLabel();
  ASSERT_TRUE(saveError->isVisibleTo(&host->settingsView()));
  EXPECT_EQ(saveError->text(),
            "Changes to settings cannot be saved and will be lost when Corvane quits. Read-only "
            "file system.");

  auto& general = switchTo<GeneralSection>(SettingsSection::general);
  controller->permissionGranted = true;
  change();
  for (auto* button : general.permissionButtons()) {
    if (button->text() == "Open Settings") button->click();
  }
  EXPECT_TRUE(general.permissionHint()->isVisibleTo(&general));

  // The update check's outcome, and an export that failed after one that worked.
  controller->exportURL = std::filesystem::path("/run/user/0/Corvane-Diagnostics/a.jsonl");
  auto& about = switchTo<AboutSection>(SettingsSection::about);
  SupportPanel& support = *about.supportPanel();
  EXPECT_FALSE(support.updateResultLabel()->isVisibleTo(&support));
  controller->updateMessage = "Secure update channel is not configured.";
  change();
  EXPECT_TRUE(support.updateResultLabel()->isVisibleTo(&support));
  EXPECT_EQ(support.updateResultLabel()->text(), "Secure update channel is not configured.");
  EXPECT_TRUE(support.exportResult()->exportedLabel()->isVisibleTo(&support));
  controller->exportURL.reset();
  controller->exportError = "Could not export diagnostics: it belongs to another user.";
  change();
  EXPECT_FALSE(support.exportResult()->exportedLabel()->isVisibleTo(&support));
  EXPECT_FALSE(support.exportResult()->revealButton()->isVisibleTo(&support));
  EXPECT_TRUE(support.exportResult()->failureLabel()->isVisibleTo(&support));
  EXPECT_EQ(support.exportResult()->failureLabel()->text(),
            "Could not export diagnostics: it belongs to another user.");
  auto& advanced = switchTo<AdvancedSection>(SettingsSection::advanced);
  EXPECT_TRUE(advanced.exportResult()->failureLabel()->isVisibleTo(&advanced));
  grab("settings-advanced-export-failed.png");
}

}  // namespace
}  // namespace corvane::ui
