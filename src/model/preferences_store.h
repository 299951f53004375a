#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/menu_bar_status_item_state.h"
#include "model/protection_options.h"
#include "model/sensitive_content.h"
#include "platform/defaults_store.h"
#include "runtime/clock.h"

namespace corvane::model {

// Where the settings live: the defaults store, the running application's id and its command
// line (the id and the arguments choose a QA suite). Handed over by whoever owns the settings.
struct PreferencesSource {
  std::shared_ptr<platform::DefaultsStore> store;  // none: a fresh in-memory suite
  std::optional<std::string> bundleIdentifier;
  std::vector<std::string> arguments;
};

// The settings over the active defaults suite. Structured values are stored as JSON data whose
// keys are the field names; one-time upgrades are guarded by integer version keys.
struct PreferencesStore {
  static constexpr const char* suiteName = "com.pemberquist.corvane";
  static constexpr const char* qaBundleIdentifierPrefix = "com.pemberquist.corvane.startupqa.";
  static constexpr const char* qaSuiteArgumentPrefix = "--corvane-qa-preferences-suite=";

  static constexpr const char* protectionOptionsKey = "protectionOptions";
  static constexpr const char* protectionOptionsUXVersionKey = "protectionOptionsUXVersion";
  static constexpr const char* protectedAppsKey = "protectedApps";
  static constexpr const char* sensitiveRulesKey = "sensitiveRules";
  static constexpr const char* brandMigrationVersionKey = "brandMigrationVersion";
  static constexpr const char* brandMigrationReviewRequiredKey = "brandMigrationReviewRequired";
  static constexpr const char* brandMigrationStartedAtKey = "brandMigrationStartedAt";
  static constexpr const char* brandMigrationCompletedAtKey = "brandMigrationCompletedAt";

  // How long the former brand's settings are kept after the user completed the migration
  // review: 30 days, long enough to go back to the former application and find something
  // that was not carried over, short enough not to leave a second copy of the settings around
  // indefinitely.
  static constexpr double brandMigrationRetentionSeconds = 30.0 * 24 * 60 * 60;

  // The suite every setting goes through: the QA suite when one is active and can be opened,
  // else "com.pemberquist.corvane", else the store's standard suite. Without a store it is a
  // fresh in-memory suite (nothing persists). Never null.
  static std::shared_ptr<platform::DefaultsSuite> activeDefaults(const PreferencesSource& source);
  // The application's own suite, never the QA suite: "com.pemberquist.corvane", else the store's
  // standard suite; without a store a fresh in-memory suite. For what the application keeps for
  // itself across QA runs (the presenter bar's place, the workspace repair). Never null.
  static std::shared_ptr<platform::DefaultsSuite> applicationDefaults(
      const std::shared_ptr<platform::DefaultsStore>& store);

  // The QA suite named on the source's command line under a QA build, else absent.
  static std::optional<std::string> qaPreferencesSuiteName(const PreferencesSource& source);
  // Absent unless the bundle identifier begins with "com.pemberquist.corvane.startupqa.";
  // then the first argument starting with "--corvane-qa-preferences-suite=" supplies the name,
  // accepted only when it equals the bundle identifier followed by ".preferences".
  static std::optional<std::string> validatedQAPreferencesSuiteName(
      const std::vector<std::string>& arguments,
      const std::optional<std::string>& bundleIdentifier);

  // The value JSON-decoded from the data stored under `key`; absent when nothing is stored or
  // it does not decode (what is stored is left as it is).
  template <class T>
  static std::optional<T> load(const platform::DefaultsSuite& defaults, const std::string& key);

  // Stores the JSON encoding as data under `key`; a value that cannot be encoded stores nothing.
  template <class T>
  static void save(platform::DefaultsSuite& defaults, const T& value, const std::string& key);

  // The stored options, or the defaults when absent or undecodable. The first time (while
  // "protectionOptionsUXVersion" is below 1) it stores the options it returns and the version 1,
  // except that undecodable stored options are never overwritten here.
  static ProtectionOptions loadProtectionOptions(platform::DefaultsSuite& defaults);

  // SensitiveRule::defaults() in order, each replaced by the saved rule of its kind.
  static std::vector<SensitiveRule> mergeSavedSensitiveRules(
      const std::vector<SensitiveRule>& saved);

  // First launch under the current brand ("brandMigrationVersion" below 1): copies the former
  // brand's settings (keys not already set, review and onboarding state excepted) into
  // `defaults` when its domain exists and then requires the migration review; stores version 1.
  // Later launches remove the former brand's domain once the retention period after the
  // completed review is over. Never fails.
  static void prepareForLaunch(platform::DefaultsStore& store, platform::DefaultsSuite& defaults,
                               const std::optional<std::string>& legacyIdentifier,
                               const std::string& currentIdentifier, runtime::WallTime now);

  // Sets "brandMigrationReviewRequired" and stamps "brandMigrationStartedAt" when none is
  // stored; nothing when the review is already required.
  static void requireBrandMigrationReview(platform::DefaultsSuite& defaults, runtime::WallTime now);
  // Clears the requirement and stores "brandMigrationCompletedAt".
  static void completeBrandMigrationReview(platform::DefaultsSuite& defaults,
                                           runtime::WallTime now);
  // A date is stored under "brandMigrationCompletedAt".
  static bool hasCompletedBrandMigrationReview(const platform::DefaultsSuite& defaults);

  // QA runs only: the seven menu-bar keys, in order, into the active defaults.
  static void recordMenuBarStatusItem(const PreferencesSource& source,
                                      const MenuBarStatusItemState& state);
};

template <class T>
std::optional<T> PreferencesStore::load(const platform::DefaultsSuite& defaults,
                                        const std::string& key) {
  const auto data = defaults.dataValue(key);
  if (!data) return std::nullopt;
  const auto json = nlohmann::json::parse(data->begin(), data->end(), nullptr, false);
  if (json.is_discarded()) return std::nullopt;
  try {
    return json.template get<T>();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

template <class T>
void PreferencesStore::save(platform::DefaultsSuite& defaults, const T& value,
                            const std::string& key) {
  std::string text;
  try {
    text = nlohmann::json(value).dump();
  } catch (const std::exception&) {
    return;
  }
  defaults.set(key, platform::Value(platform::Value::Data(text.begin(), text.end())));
}

}  // namespace corvane::model
