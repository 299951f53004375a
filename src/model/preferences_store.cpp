#include "model/preferences_store.h"

#include <set>

#include "model/diagnostic_reporter.h"
#include "model/in_memory_defaults_store.h"

namespace corvane::model {
namespace {

// Keys that belong to this brand's own first run and review and are never carried over.
const std::set<std::string>& keysNotCopiedFromFormerBrand() {
  static const std::set<std::string> keys{
      PreferencesStore::brandMigrationVersionKey,
      PreferencesStore::brandMigrationReviewRequiredKey,
      PreferencesStore::brandMigrationStartedAtKey,
      PreferencesStore::brandMigrationCompletedAtKey,
      "onboardingReviewedExcludedApps",
      "onboardingConfirmedShareTarget",
  };
  return keys;
}

void copyFormerBrandSettings(platform::DefaultsStore& store, platform::DefaultsSuite& defaults,
                             const std::optional<std::string>& legacyIdentifier,
                             const std::string& currentIdentifier, runtime::WallTime now) {
  if (!legacyIdentifier || legacyIdentifier->empty() || *legacyIdentifier == currentIdentifier) {
    return;
  }
  const auto former = store.persistentDomain(*legacyIdentifier);
  if (!former) return;
  int copied = 0;
  for (const auto& [key, value] : *former) {
    if (keysNotCopiedFromFormerBrand().contains(key) || defaults.object(key)) continue;
    defaults.set(key, value);
    ++copied;
  }
  PreferencesStore::requireBrandMigrationReview(defaults, now);
  DiagnosticReporter::shared().record("brand_settings_copied",
                                      {{"copiedKeyCount", std::to_string(copied)}});
}

void removeFormerBrandSettingsAfterRetention(platform::DefaultsStore& store,
                                             platform::DefaultsSuite& defaults,
                                             const std::optional<std::string>& legacyIdentifier,
                                             const std::string& currentIdentifier,
                                             runtime::WallTime now) {
  if (!legacyIdentifier || legacyIdentifier->empty() || *legacyIdentifier == currentIdentifier) {
    return;
  }
  const auto completedAt = defaults.dateValue(PreferencesStore::brandMigrationCompletedAtKey);
  if (!completedAt) return;
  if (runtime::secondsBetween(*completedAt, now) <
      PreferencesStore::brandMigrationRetentionSeconds) {
    return;
  }
  if (!store.persistentDomain(*legacyIdentifier)) return;
  store.removePersistentDomain(*legacyIdentifier);
  DiagnosticReporter::shared().record("brand_settings_removed", {});
}

}  // namespace

std::shared_ptr<platform::DefaultsSuite> PreferencesStore::activeDefaults(
    const PreferencesSource& source) {
  const auto& store = source.store;
  if (!store) return std::make_shared<InMemoryDefaultsSuite>(suiteName);
  if (auto qaName = qaPreferencesSuiteName(source)) {
    if (auto suite = store->suite(*qaName)) return suite;
  }
  return applicationDefaults(store);
}

std::shared_ptr<platform::DefaultsSuite> PreferencesStore::applicationDefaults(
    const std::shared_ptr<platform::DefaultsStore>& store) {
  if (!store) return std::make_shared<InMemoryDefaultsSuite>(suiteName);
  if (auto suite = store->suite(suiteName)) return suite;
  if (auto suite = store->standard()) return suite;
  return std::make_shared<InMemoryDefaultsSuite>(suiteName);
}

std::optional<std::string> PreferencesStore::qaPreferencesSuiteName(
    const PreferencesSource& source) {
  return validatedQAPreferencesSuiteName(source.arguments, source.bundleIdentifier);
}

std::optional<std::string> PreferencesStore::validatedQAPreferencesSuiteName(
    const std::vector<std::string>& arguments, const std::optional<std::string>& bundleIdentifier) {
  if (!bundleIdentifier || !bundleIdentifier->starts_with(qaBundleIdentifierPrefix)) {
    return std::nullopt;
  }
  for (const auto& argument : arguments) {
    if (!argument.starts_with(qaSuiteArgumentPrefix)) continue;
    const std::string name = argument.substr(std::string_view(qaSuiteArgumentPrefix).size());
    if (name == *bundleIdentifier + ".preferences") return name;
    return std::nullopt;
  }
  return std::nullopt;
}

ProtectionOptions PreferencesStore::loadProtectionOptions(platform::DefaultsSuite& defaults) {
  const auto stored = load<ProtectionOptions>(defaults, protectionOptionsKey);
  const ProtectionOptions options = stored.value_or(ProtectionOptions{});
  if (defaults.integerValue(protectionOptionsUXVersionKey) < 1) {
    const bool undecodable = !stored && defaults.object(protectionOptionsKey).has_value();
    if (!undecodable) save(defaults, options, protectionOptionsKey);
    defaults.set(protectionOptionsUXVersionKey, platform::Value(1));
  }
  return options;
}

std::vector<SensitiveRule> PreferencesStore::mergeSavedSensitiveRules(
    const std::vector<SensitiveRule>& saved) {
  auto rules = SensitiveRule::defaults();
  for (auto& rule : rules) {
    for (const auto& candidate : saved) {
      if (candidate.id == rule.id) {
        rule = candidate;
        break;
      }
    }
  }
  return rules;
}

void PreferencesStore::prepareForLaunch(platform::DefaultsStore& store,
                                        platform::DefaultsSuite& defaults,
                                        const std::optional<std::string>& legacyIdentifier,
                                        const std::string& currentIdentifier,
                                        runtime::WallTime now) {
  if (defaults.integerValue(brandMigrationVersionKey) < 1) {
    copyFormerBrandSettings(store, defaults, legacyIdentifier, currentIdentifier, now);
    defaults.set(brandMigrationVersionKey, platform::Value(1));
    return;
  }
  removeFormerBrandSettingsAfterRetention(store, defaults, legacyIdentifier, currentIdentifier,
                                          now);
}

void PreferencesStore::requireBrandMigrationReview(platform::DefaultsSuite& defaults,
                                                   runtime::WallTime now) {
  if (defaults.boolValue(brandMigrationReviewRequiredKey)) return;
  defaults.set(brandMigrationReviewRequiredKey, platform::Value(true));
  if (!defaults.dateValue(brandMigrationStartedAtKey)) {
    defaults.set(brandMigrationStartedAtKey, platform::Value(now));
  }
}

void PreferencesStore::completeBrandMigrationReview(platform::DefaultsSuite& defaults,
                                                    runtime::WallTime now) {
  defaults.set(brandMigrationReviewRequiredKey, platform::Value(false));
  defaults.set(brandMigrationCompletedAtKey, platform::Value(now));
}

bool PreferencesStore::hasCompletedBrandMigrationReview(const platform::DefaultsSuite& defaults) {
  return defaults.dateValue(brandMigrationCompletedAtKey).has_value();
}

void PreferencesStore::recordMenuBarStatusItem(const PreferencesSource& source,
                                               const MenuBarStatusItemState& state) {
  if (!qaPreferencesSuiteName(source)) return;
  auto defaults = activeDefaults(source);
  defaults->set("menuBarStatusItemCreated", platform::Value(state.created));
  defaults->set("menuBarStatusItemVisible", platform::Value(state.visible));
  defaults->set("menuBarStatusItemButtonAttached", platform::Value(state.buttonAttached));
  defaults->set("menuBarStatusItemWindowVisible", platform::Value(state.windowVisible));
  defaults->set("menuBarStatusItemOnscreen", platform::Value(state.onscreen));
  defaults->set("menuBarStatusItemUnobscured", platform::Value(state.unobscured));
  defaults->set("menuBarStatusItemReady", platform::Value(state.isReady()));
}

}  // namespace corvane::model
