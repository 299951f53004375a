#include <gtest/gtest.h>

#include <fstream>

#include "support/temporary_folder.h"
#include "windows/excluded_apps_view_model.h"
#include "windows/settings_root_view_model.h"

namespace corvane::windows {
namespace {

using model::ProtectedApp;
using model::SettingsSection;
using model::StatusColor;

TEST(SettingsRootViewModelTest, PillSidebarAndRouterTables) {
  EXPECT_EQ(SettingsRootViewModel::statusPill(true, false),
            (SettingsStatusPill{"Protected Share Live", "checkmark.shield.fill",
                                StatusColor::privacyGreen}));
  EXPECT_EQ(SettingsRootViewModel::statusPill(true, true).title, "Protected Share Live");
  EXPECT_EQ(SettingsRootViewModel::statusPill(false, true),
            (SettingsStatusPill{"Needs Attention", "exclamationmark.triangle.fill",
                                StatusColor::warningAmber}));
  EXPECT_EQ(SettingsRootViewModel::statusPill(false, false),
            (SettingsStatusPill{"Protected Share Off", "shield", StatusColor::secondary}));

  const auto sidebar = SettingsRootViewModel::sidebar(SettingsSection::protectedApps);
  std::vector<std::string> titles, symbols;
  for (const auto& entry : sidebar) {
    titles.push_back(entry.title);
    symbols.push_back(entry.systemImage);
    EXPECT_EQ(entry.isSelected, entry.section == SettingsSection::protectedApps);
  }
  EXPECT_EQ(titles,
            (std::vector<std::string>{"General", "Excluded Apps", "Alerts", "Advanced", "About"}));
  EXPECT_EQ(symbols, (std::vector<std::string>{"rectangle.stack.badge.minus", "square.grid.2x2",
                                               "bell", "gearshape", "info.circle"}));
  // Sensitive Text, selected by code, is shown with no sidebar row highlighted.
  for (const auto& entry : SettingsRootViewModel::sidebar(SettingsSection::sensitiveText)) {
    EXPECT_FALSE(entry.isSelected);
  }
  EXPECT_EQ(model::fromRawValue<SettingsSection>("Sensitive Text"), SettingsSection::sensitiveText);
  EXPECT_FALSE(model::fromRawValue<SettingsSection>("Excluded apps"));
  EXPECT_FALSE(model::fromRawValue<SettingsSection>(""));

  using A = SettingsSectionAlignment;
  const std::pair<SettingsSection, SettingsSectionLayout> layouts[] = {
      {SettingsSection::general, {A::leading, 18}},
      {SettingsSection::protectedApps, {A::center, 18}},
      {SettingsSection::sensitiveText, {A::center, 18}},
      {SettingsSection::alerts, {A::leading, 12}},
      {SettingsSection::advanced, {A::leading, 12}},
      {SettingsSection::about, {A::leading, 12}},
  };
  for (const auto& [section, layout] : layouts) {
    EXPECT_EQ(SettingsRootViewModel::sectionLayout(section), layout) << model::rawValue(section);
  }
}

ApplicationEntryLookup entries(std::map<std::string, platform::DesktopEntry> known) {
  return
      [known = std::move(known)](const std::string& id) -> std::optional<platform::DesktopEntry> {
        auto it = known.find(id);
        if (it == known.end()) return std::nullopt;
        return it->second;
      };
}

TEST(ExcludedAppsViewModelTest, CountsDividersNamesAndIcons) {
  std::vector<ProtectedApp> apps{{"org.example.Vault", "Vault (stored)", "key.fill", false},
                                 {"org.example.Mail", "Mail", "envelope.fill", true},
                                 {"org.example.Gone", "Gone App", "message.fill", false}};
  platform::DesktopEntry vault;
  vault.name = "Secret Vault";
  vault.icon = "/opt/vault/vault.png";
  platform::DesktopEntry mail;
  mail.name = "Mail Client";
  mail.icon = "";
  const ExcludedAppsViewModel model(
      apps, std::nullopt, entries({{"org.example.Vault", vault}, {"org.example.Mail", mail}}));
  EXPECT_EQ(model.activeCountText(), "1 active");
  EXPECT_FALSE(model.isEmpty());
  const auto rows = model.rows();
  ASSERT_EQ(rows.size(), 3u);
  // Three rows, two dividers: none after the last.
  EXPECT_TRUE(rows[0].hasDividerBelow);
  EXPECT_TRUE(rows[1].hasDividerBelow);
  EXPECT_FALSE(rows[2].hasDividerBelow);
  // Installed: the entry's name and icon; an empty Icon= keeps the symbol; gone: stored values.
  EXPECT_EQ(rows[0].displayName, "Secret Vault");
  EXPECT_EQ(rows[0].icon, (ExcludedAppIcon{"/opt/vault/vault.png", "key.fill"}));
  EXPECT_FALSE(rows[0].isOn);
  EXPECT_EQ(rows[1].displayName, "Mail Client");
  EXPECT_EQ(rows[1].icon, (ExcludedAppIcon{std::nullopt, "envelope.fill"}));
  EXPECT_EQ(rows[2].displayName, "Gone App");
  EXPECT_EQ(rows[2].icon, (ExcludedAppIcon{std::nullopt, "message.fill"}));
  // Not installed: said so, and not counted while on.
  EXPECT_EQ(rows[1].detailText(), "org.example.Mail");
  EXPECT_FALSE(rows[2].isInstalled);
  EXPECT_EQ(rows[2].detailText(), "org.example.Gone \u00b7 Not installed");
  auto allOn = apps;
  for (auto& app : allOn) app.isEnabled = true;
  EXPECT_EQ(ExcludedAppsViewModel(allOn, std::nullopt, entries({{"org.example.Mail", mail}}))
                .activeCountText(),
            "1 active");
  EXPECT_EQ(rows[0].toggleHint(), "Hide Secret Vault from Protected Share");
  EXPECT_EQ(rows[2].removeLabel(), "Remove Gone App");

  // One row: no divider. All off, and empty: 0 active.
  const ExcludedAppsViewModel single({apps[0]}, std::nullopt, nullptr);
  ASSERT_EQ(single.rows().size(), 1u);
  EXPECT_FALSE(single.rows()[0].hasDividerBelow);
  EXPECT_EQ(single.activeCountText(), "0 active");
  const ExcludedAppsViewModel empty({}, std::nullopt, nullptr);
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_TRUE(empty.rows().empty());
  EXPECT_EQ(empty.activeCountText(), "0 active");

  // The import alert shows the controller's text unchanged, and only while there is one.
  EXPECT_FALSE(empty.isImportAlertPresented());
  EXPECT_EQ(empty.importAlertMessage(), "");
  const ExcludedAppsViewModel rejected(
      {},
      "notes.txt isn\u2019t a valid application.\nCorvane is Corvane and cannot exclude itself.",
      nullptr);
  EXPECT_TRUE(rejected.isImportAlertPresented());
  EXPECT_EQ(rejected.importAlertMessage(),
            "notes.txt isn\u2019t a valid application.\nCorvane is Corvane and cannot exclude "
            "itself.");
}

TEST(ExcludedAppsViewModelTest, InstalledLookupReadsTheApplicationFoldersEachTime) {
  corvane::testing::TemporaryFolder applications;
  const auto lookup = installedApplicationLookup({applications.path()});
  const ExcludedAppsViewModel model({{"org.example.Vault", "Stored", "key.fill", true}},
                                    std::nullopt, lookup);
  EXPECT_EQ(model.rows()[0].displayName, "Stored");
  std::ofstream(applications / "org.example.Vault.desktop")
      << "[Desktop Entry]\nType=Application\nName=Installed Vault\nIcon=vault\n";
  // Nothing is cached: the entry installed since is used at the next look.
  EXPECT_EQ(model.rows()[0].displayName, "Installed Vault");
  EXPECT_EQ(model.rows()[0].icon.entryIcon, "vault");
}

}  // namespace
}  // namespace corvane::windows
