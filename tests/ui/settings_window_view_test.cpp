#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include "qt_test_support.h"
#include "support/temporary_folder.h"
#include "support/test_artifacts.h"
#include "ui/design_components.h"
#include "ui/toggle_switch.h"
#include "ui/windows/excluded_apps_section.h"
#include "ui/windows/option_toggle_row.h"
#include "windows_test_host.h"

namespace corvane::ui {
namespace {

using model::SettingsSection;

const QRgb kIconColour = qRgb(0x20, 0x60, 0xD0);

class SettingsWindowViewTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  SettingsWindowViewTest() {
    // The first app is installed with an icon file of its own; the others are not installed.
    QImage icon(64, 64, QImage::Format_ARGB32);
    icon.fill(QColor(kIconColour));
    iconPath = (folder / "vault.png").string();
    icon.save(QString::fromStdString(iconPath));
    controller->apps = {{"org.example.Vault", "Vault", "key.fill", true},
                        {"org.example.Mail", "Mail", "envelope.fill", false},
                        {"org.example.an.application.identifier.far.too.long.to.fit.in.one.row.of."
                         "the.settings.window.Messenger",
                         "Messenger", "message.fill", true}};
    controller->section = SettingsSection::protectedApps;
    SettingsSectionViews sections;
    sections.set(SettingsSection::protectedApps,
                 [this](std::weak_ptr<windows::SettingsWindowController> weak,
                        QWidget* parent) -> SettingsSectionView* {
                   return new ExcludedAppsSection(
                       std::move(weak), parent,
                       [this](const std::string& id) -> std::optional<platform::DesktopEntry> {
                         if (id != "org.example.Vault") return std::nullopt;
                         platform::DesktopEntry entry;
                         entry.name = "Secret Vault";
                         entry.icon = iconPath;
                         return entry;
                       });
                 });
    host = std::make_unique<testing::WindowsTestHost>(
        std::make_shared<QtWindowSystem>(testing::offscreenDesktop(), nullptr), controller,
        std::move(sections));
  }

  SettingsRootView& view() { return host->settingsView(); }
  ExcludedAppsSection& section() {
    return *static_cast<ExcludedAppsSection*>(view().sectionView());
  }
  void show() {
    host->showSettings();
    ASSERT_TRUE(processUntil([&] { return host->host(host->settingsWindow())->isVisible(); }));
    processFor(30);
  }
  QImage grab(const char* name) {
    const QImage shot = host->host(host->settingsWindow())->grab().toImage();
    shot.save(QString::fromStdString(corvane::testing::artifactPath(name).string()));
    return shot;
  }
  // Runs Qt's loop until the controller's change has been drawn.
  void settle() { processFor(30); }

  corvane::testing::TemporaryFolder folder;
  std::string iconPath;
  std::shared_ptr<corvane::testing::WindowsControllerDouble> controller =
      std::make_shared<corvane::testing::WindowsControllerDouble>();
  std::unique_ptr<testing::WindowsTestHost> host;
};

TEST_F(SettingsWindowViewTest, ExcludedAppsRowsEditThroughTheController) {
  show();
  const QImage shot = grab("settings-excluded-apps-rows.png");
  EXPECT_EQ(shot.size() / shot.devicePixelRatio(), QSize(760, 520));
  EXPECT_EQ(host->settingsWindow()->title(), "Corvane Settings");
  EXPECT_EQ(view().statusPill()->title(), "Protected Share Off");
  ASSERT_EQ(view().sidebarItems().size(), 5u);
  EXPECT_TRUE(view().sidebarItems()[1]->isSelected());
  ASSERT_EQ(section().rows().size(), 3u);
  EXPECT_EQ(section().dividerCount(), 2);
  EXPECT_FALSE(section().emptyState()->isVisibleTo(&section()));
  // The messenger is on but not installed, so not counted.
  EXPECT_EQ(section().activeCountLabel()->text(), "1 active");
  // The installed app shows its own name and icon; the others their stored name and symbol.
  const auto* vault = section().rows()[0];
  EXPECT_EQ(vault->nameLabel()->text(), "Secret Vault");
  EXPECT_TRUE(vault->showsEntryIcon());
  EXPECT_GT(testing::countPixelsNear(shot, kIconColour, 12), 400);
  EXPECT_FALSE(section().rows()[1]->showsEntryIcon());
  EXPECT_EQ(section().rows()[1]->nameLabel()->text(), "Mail");
  EXPECT_EQ(vault->toggle()->accessibleDescription(), "Hide Secret Vault from Protected Share");
  EXPECT_EQ(vault->removeButton()->toolTip(), "Remove Secret Vault");
  // The long id is truncated in the middle.
  const QString longId = section().rows()[2]->idLabel()->text();
  EXPECT_TRUE(longId.contains(QChar(0x2026))) << longId.toStdString();
  EXPECT_TRUE(longId.startsWith("org.")) << longId.toStdString();
  EXPECT_TRUE(longId.endsWith("\u00b7 Not installed")) << longId.toStdString();

  // Switching a row off goes through the controller and the row redraws from its list.
  vault->toggle()->click();
  EXPECT_EQ(controller->calls.back(), "setProtectedApp:org.example.Vault:off");
  ASSERT_TRUE(processUntil([&] { return section().activeCountLabel()->text() == "0 active"; }));
  EXPECT_FALSE(section().rows()[0]->toggle()->isChecked());
  section().rows()[1]->removeButton()->click();
  ASSERT_TRUE(processUntil([&] { return section().rows().size() == 2; }));
  EXPECT_EQ(section().dividerCount(), 1);
  EXPECT_EQ(section().rows()[1]->appId(),
            "org.example.an.application.identifier.far.too.long.to.fit.in.one.row.of.the.settings."
            "window.Messenger");
  section().addButton()->click();
  EXPECT_EQ(controller->calls.back(), "chooseApplications");
}

TEST_F(SettingsWindowViewTest, RestoreConfirmationAndImportAlert) {
  show();
  // Cancel leaves the list; Restore Defaults replaces all of it.
  section().optionsButton()->menu()->actions().front()->trigger();
  ASSERT_TRUE(section().isRestoreDefaultsConfirmationPresented());
  QMessageBox* confirmation = section().restoreConfirmation();
  EXPECT_EQ(confirmation->text(), "Restore Default Excluded Apps?");
  EXPECT_EQ(confirmation->informativeText(),
            "Custom apps will be removed and the default list restored.");
  auto button = [](QMessageBox* box, const char* title) -> QAbstractButton* {
    for (auto* candidate : box->buttons()) {
      if (candidate->text() == title) return candidate;
    }
    return nullptr;
  };
  ASSERT_TRUE(button(confirmation, "Cancel"));
  EXPECT_EQ(confirmation->buttonRole(button(confirmation, "Restore Defaults")),
            QMessageBox::DestructiveRole);
  button(confirmation, "Cancel")->click();
  ASSERT_TRUE(processUntil([&] { return !section().isRestoreDefaultsConfirmationPresented(); }));
  EXPECT_EQ(controller->count("restoreDefaults"), 0);
  EXPECT_EQ(section().rows().size(), 3u);
  section().presentRestoreDefaultsConfirmation();
  button(section().restoreConfirmation(), "Restore Defaults")->click();
  ASSERT_TRUE(processUntil([&] { return section().rows().size() == 6; }));
  EXPECT_EQ(controller->count("restoreDefaults"), 1);
  EXPECT_EQ(section().dividerCount(), 5);

  // The alert shows while the controller has a message, and closes when it clears it.
  controller->importError = "notes.txt isn\u2019t a valid application.";
  controller->changed();
  ASSERT_TRUE(processUntil([&] { return section().importAlert() != nullptr; }));
  EXPECT_EQ(section().importAlert()->text(), "Some Apps Weren\u2019t Added");
  EXPECT_EQ(section().importAlert()->informativeText(),
            "notes.txt isn\u2019t a valid application.");
  controller->importError.reset();
  controller->changed();
  ASSERT_TRUE(processUntil([&] { return section().importAlert() == nullptr; }));
  EXPECT_EQ(controller->count("clearImportError"), 0);
  // OK dismisses it and clears the message.
  controller->importError = "Corvane is Corvane and cannot exclude itself.";
  controller->changed();
  ASSERT_TRUE(processUntil([&] { return section().importAlert() != nullptr; }));
  section().importAlert()->buttons().front()->click();
  ASSERT_TRUE(processUntil([&] { return controller->count("clearImportError") == 1; }));
  EXPECT_FALSE(controller->importError);

  // Where applications are chosen, the section says while installed ones are polled.
  EXPECT_TRUE(section().pollingNoteLabel()->isHidden());
  controller->pollingReason = "the file watches this user may hold ran out";
  controller->changed();
  ASSERT_TRUE(processUntil([&] { return !section().pollingNoteLabel()->isHidden(); }));
  EXPECT_EQ(section().pollingNoteLabel()->text(),
            "Installed applications are polled every few seconds because the file watches this "
            "user may hold ran out.");
}

TEST_F(SettingsWindowViewTest, EmptyListSidebarAndTheHiddenSection) {
  controller->apps.clear();
  controller->demoModeOn = true;
  show();
  const QImage shot = grab("settings-excluded-apps-empty.png");
  EXPECT_TRUE(section().emptyState()->isVisibleTo(&section()));
  EXPECT_GE(section().emptyState()->height(), 150);
  EXPECT_TRUE(section().rows().empty());
  EXPECT_EQ(section().activeCountLabel()->text(), "0 active");
  EXPECT_EQ(view().statusPill()->title(), "Needs Attention");
  EXPECT_GT(testing::countPixelsNear(shot, qRgb(242, 191, 31), 30), 20);
  section().emptyStateAddButton()->click();
  EXPECT_EQ(controller->calls.back(), "chooseApplications");

  controller->healthy = true;
  controller->changed();
  ASSERT_TRUE(processUntil([&] { return view().statusPill()->title() == "Protected Share Live"; }));

  // Sensitive Text, chosen by code: no sidebar row is highlighted; a sidebar click leaves it.
  controller->setSelectedSettingsSection(SettingsSection::sensitiveText);
  ASSERT_TRUE(
      processUntil([&] { return view().shownSection() == SettingsSection::sensitiveText; }));
  for (auto* item : view().sidebarItems()) EXPECT_FALSE(item->isSelected());
  view().sidebarItems()[0]->click();
  ASSERT_TRUE(processUntil([&] { return view().shownSection() == SettingsSection::general; }));
  EXPECT_TRUE(view().sidebarItems()[0]->isSelected());
}

TEST_F(SettingsWindowViewTest, DisabledOptionRowKeepsItsValueAndDoesNotReact) {
  std::vector<bool> writes;
  OptionToggleRow row("Hide desktop icons", "Leave the desktop's icons out of Protected Share.",
                      "eye.slash", [&](bool on) { writes.push_back(on); });
  row.resize(400, 70);
  row.set(true, true);
  row.show();
  processFor(20);
  EXPECT_EQ(row.drawnOpacity(), OptionToggleRow::kDisabledOpacity);
  row.toggle()->click();
  EXPECT_TRUE(row.toggle()->isChecked());
  EXPECT_TRUE(writes.empty());
  row.set(true, false);
  EXPECT_EQ(row.drawnOpacity(), 1.0);
  row.toggle()->click();
  EXPECT_EQ(writes, std::vector<bool>{false});
  EXPECT_EQ(row.toggle()->accessibleName(), "Hide desktop icons");
}

TEST(ExcludedAppsSectionTest, LongListsShowAPageOfRowsAndHostileIconsNeverBlock) {
  testing::QtRuntimeFixture qt;
  corvane::testing::TemporaryFolder folder;
  const auto fifo = folder / "icon.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto controller = std::make_shared<corvane::testing::WindowsControllerDouble>();
  controller->apps.clear();
  for (int i = 0; i < 1000; ++i) {
    controller->apps.push_back({"org.example.App" + std::to_string(i), "App " + std::to_string(i),
                                "app.fill", i % 2 == 1});
  }
  int lookups = 0;
  ExcludedAppsSection section(controller, nullptr,
                              [&](const std::string& id) -> std::optional<platform::DesktopEntry> {
                                ++lookups;
                                platform::DesktopEntry entry;
                                entry.name = id;
                                entry.icon = fifo.string();  // opening it would wait for a writer
                                return entry;
                              });
  section.resize(600, 800);
  section.show();
  section.refresh();
  ASSERT_EQ(section.rows().size(), ExcludedAppsSection::kRowsShownAtOnce);
  // The count asks each switched-on application once whether it is installed; only the page
  // of rows looks further.
  EXPECT_EQ(lookups, 500 + static_cast<int>(ExcludedAppsSection::kRowsShownAtOnce));
  EXPECT_EQ(section.activeCountLabel()->text(), "500 active");
  ASSERT_TRUE(section.showMoreButton()->isVisibleTo(&section));
  // Show More adds the next page below the rows shown, which stay the same widgets; only the new
  // rows' applications are looked up.
  const std::vector<QPointer<ExcludedAppSettingsRow>> firstPage(section.rows().begin(),
                                                                section.rows().end());
  const int lookupsBefore = lookups;
  section.showMoreButton()->click();
  qt.processFor(20);
  ASSERT_EQ(section.rows().size(), 2 * ExcludedAppsSection::kRowsShownAtOnce);
  EXPECT_EQ(lookups - lookupsBefore, static_cast<int>(ExcludedAppsSection::kRowsShownAtOnce));
  for (std::size_t i = 0; i < firstPage.size(); ++i) {
    ASSERT_TRUE(firstPage[i]) << "row " << i << " was made again";
    EXPECT_EQ(section.rows()[i], firstPage[i].data());
  }
  EXPECT_EQ(section.rows()[ExcludedAppsSection::kRowsShownAtOnce]->appId(),
            "org.example.App" + std::to_string(ExcludedAppsSection::kRowsShownAtOnce));
  EXPECT_EQ(section.dividerCount(), static_cast<int>(section.rows().size()));
  qt.processFor(100);
  const auto* lastOfFirstPage = section.rows()[ExcludedAppsSection::kRowsShownAtOnce - 1];
  EXPECT_GT(section.rows()[ExcludedAppsSection::kRowsShownAtOnce]->y(), lastOfFirstPage->y());
  EXPECT_GT(section.showMoreButton()->y(), section.rows().back()->y());
  // The FIFO was refused: the stored symbol stays.
  EXPECT_FALSE(section.rows()[0]->showsEntryIcon());
  // A change of the rows' own state updates them where they are.
  const QPointer<ExcludedAppSettingsRow> first = section.rows()[0];
  controller->apps[0].isEnabled = true;
  section.refresh();
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->toggle()->isChecked());
  EXPECT_EQ(section.activeCountLabel()->text(), "501 active");
}

}  // namespace
}  // namespace corvane::ui
