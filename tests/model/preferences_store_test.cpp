#include "model/preferences_store.h"

#include <gtest/gtest.h>

#include "model/diagnostic_reporter.h"
#include "model/in_memory_defaults_store.h"
#include "model/protected_app.h"
#include "runtime/virtual_run_loop.h"
#include "support/temporary_folder.h"

namespace corvane::model {
namespace {

using platform::Value;

constexpr const char* legacyId = "com.pemberquist.halvermoor";
constexpr const char* currentId = "com.pemberquist.corvane";
constexpr const char* qaBundle = "com.pemberquist.corvane.startupqa.menubar";

Value jsonData(const std::string& text) {
  return Value(Value::Data(text.begin(), text.end()));
}

class PreferencesStoreTest : public ::testing::Test {
 protected:
  PreferencesStoreTest()
      : reporter_(std::make_shared<DiagnosticReporter>(
            folder_ / "Diagnostics", loop_.makeQueue("diagnostics"), folder_ / "tmp")),
        scopedReporter_(reporter_) {
    install({});
  }

  void install(std::vector<std::string> arguments, std::optional<std::string> bundleId = {}) {
    source_ = PreferencesSource{store_, std::move(bundleId), std::move(arguments)};
  }
  std::shared_ptr<platform::DefaultsSuite> active() {
    return PreferencesStore::activeDefaults(source_);
  }

  std::vector<std::string> recordedEvents() {
    std::vector<std::string> names;
    for (const auto& event : reporter_->readEvents().events) names.push_back(event.event);
    return names;
  }

  testing::TemporaryFolder folder_;
  runtime::VirtualRunLoop loop_;
  std::shared_ptr<DiagnosticReporter> reporter_;
  ScopedDiagnosticReporter scopedReporter_;
  std::shared_ptr<InMemoryDefaultsStore> store_ = std::make_shared<InMemoryDefaultsStore>();
  PreferencesSource source_;
};

TEST_F(PreferencesStoreTest, QASuiteNeedsAQABundleAndTheExactPreferencesName) {
  const std::string exact =
      std::string("--corvane-qa-preferences-suite=") + qaBundle + ".preferences";
  EXPECT_EQ(PreferencesStore::validatedQAPreferencesSuiteName({"corvane", exact}, qaBundle),
            std::string(qaBundle) + ".preferences");
  EXPECT_FALSE(PreferencesStore::validatedQAPreferencesSuiteName({exact}, currentId));
  EXPECT_FALSE(PreferencesStore::validatedQAPreferencesSuiteName({exact}, std::nullopt));
  EXPECT_FALSE(PreferencesStore::validatedQAPreferencesSuiteName(
      {"--corvane-qa-preferences-suite=com.pemberquist.corvane"}, qaBundle));
  EXPECT_FALSE(PreferencesStore::validatedQAPreferencesSuiteName({exact + "x"}, qaBundle));
  EXPECT_FALSE(PreferencesStore::validatedQAPreferencesSuiteName({"--other"}, qaBundle));
  // Only the first argument with the prefix counts.
  EXPECT_FALSE(PreferencesStore::validatedQAPreferencesSuiteName(
      {"--corvane-qa-preferences-suite=wrong", exact}, qaBundle));
}

TEST_F(PreferencesStoreTest, ActiveDefaultsFollowTheQASuite) {
  EXPECT_EQ(active()->name(), currentId);
  install({std::string("--corvane-qa-preferences-suite=") + qaBundle + ".preferences"}, qaBundle);
  EXPECT_EQ(PreferencesStore::qaPreferencesSuiteName(source_),
            std::string(qaBundle) + ".preferences");
  EXPECT_EQ(active()->name(), std::string(qaBundle) + ".preferences");
  // What the application keeps for itself stays in its own suite under QA too.
  EXPECT_EQ(PreferencesStore::applicationDefaults(store_)->name(), "com.pemberquist.corvane");
}

TEST_F(PreferencesStoreTest, WithoutAStoreSettingsStillWorkInMemory) {
  auto defaults = PreferencesStore::activeDefaults(PreferencesSource{});
  ASSERT_NE(defaults, nullptr);
  EXPECT_EQ(PreferencesStore::loadProtectionOptions(*defaults), ProtectionOptions{});
}

TEST_F(PreferencesStoreTest, SaveAndLoadUseJsonDataKeyedByFieldNames) {
  std::vector<ProtectedApp> apps{{"org.signal.Signal", "Signal", "message.fill", false}};
  PreferencesStore::save(*active(), apps, "protectedApps");
  const auto stored = active()->dataValue("protectedApps");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(nlohmann::json::parse(stored->begin(), stored->end())[0]["systemImage"],
            "message.fill");
  EXPECT_EQ(PreferencesStore::load<std::vector<ProtectedApp>>(*active(), "protectedApps"), apps);
  EXPECT_FALSE(
      PreferencesStore::load<std::vector<ProtectedApp>>(*active(), "nothingHere").has_value());
}

TEST_F(PreferencesStoreTest, UndecodableValueLoadsAsAbsentAndIsKept) {
  auto defaults = active();
  defaults->set("protectedApps", jsonData(R"([{"id":"x"}])"));
  EXPECT_FALSE(
      PreferencesStore::load<std::vector<ProtectedApp>>(*active(), "protectedApps").has_value());
  defaults->set("sensitiveRules", Value("not data at all"));
  EXPECT_FALSE(
      PreferencesStore::load<std::vector<SensitiveRule>>(*active(), "sensitiveRules").has_value());
  EXPECT_EQ(defaults->object("protectedApps"), jsonData(R"([{"id":"x"}])"));
}

TEST_F(PreferencesStoreTest, InvalidUtf8StoresNothing) {
  std::vector<ProtectedApp> apps{{"bad\xff", "X", "app.fill", true}};
  PreferencesStore::save(*active(), apps, "protectedApps");
  EXPECT_FALSE(active()->object("protectedApps").has_value());
}

TEST_F(PreferencesStoreTest, ProtectionOptionsUpgradeStoresOnceAndNeverOverwritesBadData) {
  auto defaults = active();
  const auto first = PreferencesStore::loadProtectionOptions(*active());
  EXPECT_TRUE(first.hideDesktopIcons);
  EXPECT_TRUE(first.remindToSilenceNotifications);
  EXPECT_FALSE(first.selectedDisplayID.has_value());
  EXPECT_EQ(defaults->integerValue("protectionOptionsUXVersion"), 1);
  EXPECT_EQ(PreferencesStore::load<ProtectionOptions>(*active(), "protectionOptions"), first);

  // Once upgraded, loading stores nothing.
  defaults->remove("protectionOptions");
  PreferencesStore::loadProtectionOptions(*active());
  EXPECT_FALSE(defaults->object("protectionOptions").has_value());

  // Undecodable stored options fall back to the defaults and stay as they are, upgrade or not.
  auto fresh = std::make_shared<InMemoryDefaultsSuite>("fresh");
  fresh->set("protectionOptions", jsonData("{\"hideDesktopIcons\":\"sometimes\"}"));
  EXPECT_EQ(PreferencesStore::loadProtectionOptions(*fresh), ProtectionOptions{});
  EXPECT_EQ(fresh->object("protectionOptions"), jsonData("{\"hideDesktopIcons\":\"sometimes\"}"));
  EXPECT_EQ(fresh->integerValue("protectionOptionsUXVersion"), 1);

  ProtectionOptions custom;
  custom.hideDesktopIcons = false;
  custom.selectedDisplayID = 2;
  PreferencesStore::save(*active(), custom, "protectionOptions");
  EXPECT_EQ(PreferencesStore::loadProtectionOptions(*active()), custom);
}

TEST_F(PreferencesStoreTest, MergedRulesFollowTheDefaultOrder) {
  const auto merged = PreferencesStore::mergeSavedSensitiveRules(
      {{SensitiveKind::revenue, false}, {SensitiveKind::apiKey, false}});
  ASSERT_EQ(merged.size(), 6u);
  EXPECT_EQ(merged[0], (SensitiveRule{SensitiveKind::apiKey, false}));
  EXPECT_EQ(merged[1], (SensitiveRule{SensitiveKind::email, true}));
  EXPECT_EQ(merged[4], (SensitiveRule{SensitiveKind::revenue, false}));
  EXPECT_EQ(PreferencesStore::mergeSavedSensitiveRules({}), SensitiveRule::defaults());
}

TEST_F(PreferencesStoreTest, FormerBrandSettingsAreCopiedOnceWithoutReviewState) {
  auto legacy = store_->suite(legacyId);
  legacy->set("protectionOptions", jsonData("{\"hideDesktopIcons\":false}"));
  legacy->set("neverHideWords", Value("Acme"));
  legacy->set("setupCompletionVersion", Value(1));
  legacy->set("onboardingReviewedExcludedApps", Value(true));
  legacy->set("brandMigrationCompletedAt", Value(loop_.now()));
  auto defaults = store_->suite(currentId);
  defaults->set("neverHideWords", Value("Mine"));  // the current brand's own value wins

  PreferencesStore::prepareForLaunch(*store_, *defaults, std::string(legacyId), currentId,
                                     loop_.now());
  EXPECT_EQ(defaults->integerValue("brandMigrationVersion"), 1);
  EXPECT_EQ(defaults->stringValue("neverHideWords"), "Mine");
  EXPECT_EQ(defaults->integerValue("setupCompletionVersion"), 1);
  EXPECT_FALSE(PreferencesStore::loadProtectionOptions(*defaults).hideDesktopIcons);
  EXPECT_FALSE(defaults->object("onboardingReviewedExcludedApps").has_value());
  EXPECT_FALSE(PreferencesStore::hasCompletedBrandMigrationReview(*defaults));
  EXPECT_TRUE(defaults->boolValue("brandMigrationReviewRequired"));
  EXPECT_EQ(defaults->dateValue("brandMigrationStartedAt"), loop_.now());

  // A later launch does not copy again.
  legacy->set("alwaysHideWords", Value("late"));
  defaults->remove("neverHideWords");
  PreferencesStore::prepareForLaunch(*store_, *defaults, std::string(legacyId), currentId,
                                     loop_.now());
  EXPECT_FALSE(defaults->object("alwaysHideWords").has_value());
  EXPECT_FALSE(defaults->object("neverHideWords").has_value());
  EXPECT_EQ(recordedEvents(), std::vector<std::string>{"brand_settings_copied"});
}

TEST_F(PreferencesStoreTest, NoFormerBrandDomainMeansNoReview) {
  auto defaults = store_->suite(currentId);
  PreferencesStore::prepareForLaunch(*store_, *defaults, std::string(legacyId), currentId,
                                     loop_.now());
  EXPECT_EQ(defaults->integerValue("brandMigrationVersion"), 1);
  EXPECT_FALSE(defaults->boolValue("brandMigrationReviewRequired"));
  PreferencesStore::prepareForLaunch(*store_, *defaults, std::nullopt, currentId, loop_.now());
  EXPECT_FALSE(store_->persistentDomain(currentId)->contains("brandMigrationReviewRequired"));
}

TEST_F(PreferencesStoreTest, FormerBrandDomainIsRemovedOnlyAfterTheRetention) {
  auto legacy = store_->suite(legacyId);
  legacy->set("neverHideWords", Value("Acme"));
  auto defaults = store_->suite(currentId);
  const auto start = loop_.now();
  PreferencesStore::prepareForLaunch(*store_, *defaults, std::string(legacyId), currentId, start);

  // Review still open: kept however long it takes.
  const auto muchLater = start + std::chrono::hours(24 * 365);
  PreferencesStore::prepareForLaunch(*store_, *defaults, std::string(legacyId), currentId,
                                     muchLater);
  EXPECT_TRUE(store_->persistentDomain(legacyId).has_value());

  PreferencesStore::completeBrandMigrationReview(*defaults, start);
  EXPECT_FALSE(defaults->boolValue("brandMigrationReviewRequired"));
  EXPECT_TRUE(PreferencesStore::hasCompletedBrandMigrationReview(*defaults));
  const auto justBefore =
      start +
      std::chrono::seconds(static_cast<long>(PreferencesStore::brandMigrationRetentionSeconds) - 1);
  PreferencesStore::prepareForLaunch(*store_, *defaults, std::string(legacyId), currentId,
                                     justBefore);
  EXPECT_TRUE(store_->persistentDomain(legacyId).has_value());
  const auto after =
      start +
      std::chrono::seconds(static_cast<long>(PreferencesStore::brandMigrationRetentionSeconds));
  PreferencesStore::prepareForLaunch(*store_, *defaults, std::string(legacyId), currentId, after);
  EXPECT_FALSE(store_->persistentDomain(legacyId).has_value());
  EXPECT_EQ(defaults->stringValue("neverHideWords"), "Acme");  // the copy stays
}

TEST_F(PreferencesStoreTest, ReviewRequirementKeepsItsFirstStartTime) {
  auto defaults = store_->suite(currentId);
  const auto first = loop_.now();
  PreferencesStore::requireBrandMigrationReview(*defaults, first);
  PreferencesStore::requireBrandMigrationReview(*defaults, first + std::chrono::hours(1));
  EXPECT_EQ(defaults->dateValue("brandMigrationStartedAt"), first);
  PreferencesStore::completeBrandMigrationReview(*defaults, first + std::chrono::hours(2));
  PreferencesStore::requireBrandMigrationReview(*defaults, first + std::chrono::hours(3));
  EXPECT_TRUE(defaults->boolValue("brandMigrationReviewRequired"));
  EXPECT_EQ(defaults->dateValue("brandMigrationStartedAt"), first);
}

TEST_F(PreferencesStoreTest, MenuBarStateIsRecordedInQAModeOnly) {
  MenuBarStatusItemState state{true, true, true, true, true, false};
  PreferencesStore::recordMenuBarStatusItem(source_, state);
  EXPECT_FALSE(active()->object("menuBarStatusItemCreated").has_value());

  install({std::string("--corvane-qa-preferences-suite=") + qaBundle + ".preferences"}, qaBundle);
  PreferencesStore::recordMenuBarStatusItem(source_, state);
  auto defaults = active();
  EXPECT_TRUE(defaults->boolValue("menuBarStatusItemCreated"));
  EXPECT_TRUE(defaults->boolValue("menuBarStatusItemOnscreen"));
  EXPECT_FALSE(defaults->boolValue("menuBarStatusItemUnobscured", true));
  EXPECT_FALSE(defaults->boolValue("menuBarStatusItemReady", true));
  state.unobscured = true;
  PreferencesStore::recordMenuBarStatusItem(source_, state);
  EXPECT_TRUE(defaults->boolValue("menuBarStatusItemReady"));
}

}  // namespace
}  // namespace corvane::model
