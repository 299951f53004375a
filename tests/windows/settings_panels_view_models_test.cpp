#include <gtest/gtest.h>

#include <locale>

#include "windows/advanced_settings_view_model.h"
#include "windows/general_settings_view_model.h"
#include "windows/sensitive_text_view_model.h"
#include "windows/support_panel_view_model.h"

namespace corvane::windows {
namespace {

using model::HealthItem;
using model::HealthState;
using model::ProductionConfiguration;
using model::SensitiveKind;
using model::SensitiveRule;
using model::StatusColor;

TEST(SensitiveTextViewModelTest, DefaultRulesGiveSixRowsInKindOrderWithFiveDividers) {
  auto rules = SensitiveRule::defaults();
  rules[2].isEnabled = false;
  const auto rows = SensitiveTextViewModel::ruleRows(rules);
  const std::vector<SensitiveRuleRowModel> expected{
      {SensitiveKind::apiKey, "API key", "key", true, true},
      {SensitiveKind::email, "Email", "envelope", true, true},
      {SensitiveKind::phoneNumber, "Phone", "phone", false, true},
      {SensitiveKind::customer, "Customer", "person", true, true},
      {SensitiveKind::revenue, "Revenue", "dollarsign.circle", true, true},
      {SensitiveKind::internalURL, "Internal URL", "globe", true, false},
  };
  EXPECT_EQ(rows, expected);
  // The last row is the one whose kind is the last rule's, wherever the list starts.
  const auto single = SensitiveTextViewModel::ruleRows({{SensitiveKind::revenue, false}});
  ASSERT_EQ(single.size(), 1u);
  EXPECT_FALSE(single[0].hasDivider);
  EXPECT_TRUE(SensitiveTextViewModel::ruleRows({}).empty());
}

TEST(GeneralSettingsViewModelTest, PermissionPanelFollowsTheGrantAndTheLastError) {
  const auto missing = PermissionPanelModel::status(false, std::nullopt);
  EXPECT_EQ(missing,
            (StatusRowModel{"exclamationmark.triangle.fill", StatusColor::warningAmber,
                            "Screen Recording is required", PermissionPanelModel::defaultDetail}));
  EXPECT_EQ(
      PermissionPanelModel::buttons(false),
      (std::vector<PermissionButtonModel>{{"Open Settings", PermissionAction::requestPermission},
                                          {"Refresh", PermissionAction::refresh},
                                          {"Restart", PermissionAction::restart}}));

  const auto granted = PermissionPanelModel::status(true, std::nullopt);
  EXPECT_EQ(granted.systemImage, "checkmark.shield.fill");
  EXPECT_EQ(granted.color, StatusColor::privacyGreen);
  EXPECT_EQ(granted.title, "Screen Recording is enabled");
  EXPECT_EQ(PermissionPanelModel::buttons(true),
            (std::vector<PermissionButtonModel>{{"Open Settings", PermissionAction::openSettings},
                                                {"Refresh", PermissionAction::refresh}}));

  // The last failure replaces the fixed sentence while set, in either state.
  const std::string failure = "Could not write the diagnostics export.";
  EXPECT_EQ(PermissionPanelModel::status(true, failure).detail, failure);
  EXPECT_EQ(PermissionPanelModel::status(false, failure).detail, failure);
  EXPECT_EQ(PermissionPanelModel::status(false, std::string()).detail, "");
}

TEST(GeneralSettingsViewModelTest, DisplayPickerListsMainDisplayFirstAndTagsEachDisplay) {
  const auto empty = ProtectionPanelModel::displayEntries({});
  EXPECT_EQ(empty, (std::vector<DisplayPickerEntry>{{std::nullopt, "Main display"}}));
  EXPECT_EQ(ProtectionPanelModel::selectedEntryIndex(empty, std::nullopt), 0u);

  const auto entries = ProtectionPanelModel::displayEntries(
      {{7, "HDMI-1", "1920 × 1080"}, {3, "eDP-1", "2560 × 1600 · Built-in"}});
  EXPECT_EQ(entries,
            (std::vector<DisplayPickerEntry>{{std::nullopt, "Main display"},
                                             {7u, "HDMI-1 \u00B7 1920 × 1080"},
                                             {3u, "eDP-1 \u00B7 2560 × 1600 · Built-in"}}));
  EXPECT_EQ(ProtectionPanelModel::selectedEntryIndex(entries, std::nullopt), 0u);
  EXPECT_EQ(ProtectionPanelModel::selectedEntryIndex(entries, 3u), 2u);
  // A chosen display that is no longer listed selects no entry (the second line names it).
  EXPECT_EQ(ProtectionPanelModel::selectedEntryIndex(entries, 9u), std::nullopt);
}

TEST(AdvancedSettingsViewModelTest, HealthRowsDividersAndMarks) {
  const HealthItem only{model::Uuid::random(), "Diagnostics", "Metadata only.", HealthState::pass};
  const auto one = AdvancedSectionModel::healthRows({only});
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], (HealthRowModel{only.id,
                                    {"checkmark.circle.fill", StatusColor::privacyGreen},
                                    "Diagnostics",
                                    "Metadata only.",
                                    false}));

  std::vector<HealthItem> items;
  for (auto state :
       {HealthState::pass, HealthState::inactive, HealthState::warn, HealthState::fail}) {
    items.push_back({model::Uuid::random(), std::string(model::rawValue(state)), "", state});
  }
  const auto rows = AdvancedSectionModel::healthRows(items);
  const std::vector<HealthMark> marks{{"checkmark.circle.fill", StatusColor::privacyGreen},
                                      {"minus.circle.fill", StatusColor::secondary},
                                      {"exclamationmark.triangle.fill", StatusColor::warningAmber},
                                      {"xmark.circle.fill", StatusColor::criticalRed}};
  ASSERT_EQ(rows.size(), 4u);
  int dividers = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].id, items[i].id);
    EXPECT_EQ(rows[i].mark, marks[i]);
    dividers += rows[i].hasDivider;
  }
  EXPECT_EQ(dividers, 3);
  EXPECT_FALSE(rows.back().hasDivider);
}

TEST(AdvancedSettingsViewModelTest, PerformanceTilesAndExportedPath) {
  model::ProtectedShareMetrics metrics;
  auto tiles = AdvancedSectionModel::performanceTiles(metrics);
  EXPECT_EQ(tiles[0], (PerformanceTileModel{"Capture", "0 FPS", "video"}));
  EXPECT_EQ(tiles[1], (PerformanceTileModel{"Output", "0 FPS", "rectangle.on.rectangle"}));
  EXPECT_EQ(tiles[2], (PerformanceTileModel{"Processing", "Direct relay", "arrow.right"}));
  metrics.captureFPS = 60;
  metrics.outputFPS = 1234;
  // A grouping locale must not reach the plain integer.
  struct Grouping : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
  };
  const auto previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
  tiles = AdvancedSectionModel::performanceTiles(metrics);
  std::locale::global(previous);
  EXPECT_EQ(tiles[0].value, "60 FPS");
  EXPECT_EQ(tiles[1].value, "1234 FPS");
  EXPECT_EQ(tiles[2].value, "Direct relay");

  EXPECT_EQ(AdvancedSectionModel::exportedText(std::nullopt), std::nullopt);
  EXPECT_EQ(AdvancedSectionModel::exportedText(
                std::filesystem::path("/home/ada/.local/share/Corvane/Diagnostics/"
                                      "corvane-diagnostics-20261207-093000.log")),
            "Exported: /home/ada/.local/share/Corvane/Diagnostics/"
            "corvane-diagnostics-20261207-093000.log");
}

ProductionConfiguration releaseReady() {
  ProductionConfiguration configuration;
  configuration.crashReportingDSN = "https://key@crash.example.com/1";
  configuration.updateFeedURL = "https://updates.example.com/appcast.xml";
  configuration.sparklePublicEDKey = "AAAAC3NzaC1lZDI1NTE5";
  configuration.privacyURL = "https://example.com/privacy";
  configuration.supportURL = "https://example.com/support";
  return configuration;
}

ProductionConfiguration betaReady() {
  ProductionConfiguration configuration;
  configuration.isBetaRelease = true;
  configuration.crashReportingEnabled = false;
  configuration.automaticUpdatesEnabled = false;
  configuration.privacyURL = "https://example.com/privacy";
  configuration.supportURL = "https://example.com/support";
  configuration.betaDetailsURL = "https://example.com/beta";
  return configuration;
}

TEST(SupportPanelViewModelTest, ConfigurationRowByBuildKind) {
  EXPECT_EQ(SupportPanelModel::diagnosticsRow(),
            (StatusRowModel{"lock.doc.fill", StatusColor::privacyGreen, "Metadata-only diagnostics",
                            "Captured screen content is never written to support logs."}));

  const auto release = SupportPanelModel::configurationRow(releaseReady());
  EXPECT_EQ(release.systemImage, "checkmark.seal.fill");
  EXPECT_EQ(release.color, StatusColor::privacyGreen);
  EXPECT_EQ(release.title, "Production operations configured");

  auto partial = releaseReady();
  partial.updateFeedURL.reset();
  partial.supportURL.reset();
  EXPECT_EQ(SupportPanelModel::configurationRow(partial),
            (StatusRowModel{"exclamationmark.triangle.fill", StatusColor::warningAmber,
                            "Production operations incomplete", "Update feed, Support URL"}));

  // A beta build is judged by the beta list: the release list's gaps do not count.
  EXPECT_EQ(SupportPanelModel::configurationRow(betaReady()).title, "Beta operations configured");
  auto beta = betaReady();
  beta.crashReportingEnabled = true;
  const auto betaRow = SupportPanelModel::configurationRow(beta);
  EXPECT_EQ(betaRow.title, "Beta operations incomplete");
  EXPECT_EQ(betaRow.detail, "Disabled beta crash reporting");
}

TEST(SupportPanelViewModelTest, UpdatesRowHasAThirdGreenStateForABetaWithUpdatesOff) {
  const auto configured = SupportPanelModel::updatesRow(releaseReady());
  EXPECT_EQ(configured, (StatusRowModel{"arrow.triangle.2.circlepath.circle.fill",
                                        StatusColor::privacyGreen, "Secure updates configured",
                                        "Update feed and signing key are configured."}));

  const StatusRowModel incomplete{"exclamationmark.triangle.fill", StatusColor::warningAmber,
                                  "Secure updates incomplete",
                                  "Missing update feed or update signing key."};
  auto noFeed = releaseReady();
  noFeed.updateFeedURL.reset();
  auto emptyKey = releaseReady();
  emptyKey.sparklePublicEDKey = "";
  auto releaseUpdatesOff = releaseReady();
  releaseUpdatesOff.automaticUpdatesEnabled = false;
  EXPECT_EQ(SupportPanelModel::updatesRow(noFeed), incomplete);
  EXPECT_EQ(SupportPanelModel::updatesRow(emptyKey), incomplete);
  EXPECT_EQ(SupportPanelModel::updatesRow(releaseUpdatesOff), incomplete);

  // Deliberately off in a beta: green, and said so, like the health panel's pass.
  const auto betaOff = SupportPanelModel::updatesRow(betaReady());
  EXPECT_EQ(betaOff.color, StatusColor::privacyGreen);
  EXPECT_EQ(betaOff.title, "Secure updates off for this beta");
  // A beta that leaves updates on but lacks the feed is still incomplete.
  auto betaOnWithoutFeed = betaReady();
  betaOnWithoutFeed.automaticUpdatesEnabled = true;
  EXPECT_EQ(SupportPanelModel::updatesRow(betaOnWithoutFeed), incomplete);

  EXPECT_FALSE(SupportPanelModel::showsInstall(std::nullopt));
  EXPECT_TRUE(SupportPanelModel::showsInstall(std::filesystem::path("/tmp/Corvane-2.zip")));
}

}  // namespace
}  // namespace corvane::windows
