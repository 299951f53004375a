#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/bundle.h"

namespace corvane::model {

// The build settings, read once from the bundle's Info.plist and never written. No endpoint is
// built in: every URL comes from the bundle, and only https URLs are kept.
struct ProductionConfiguration {
  std::string shortVersion;  // CFBundleShortVersionString
  std::string buildVersion;  // CFBundleVersion
  bool isBetaRelease = false;
  bool crashReportingEnabled = true;
  bool automaticUpdatesEnabled = true;
  std::optional<std::string> crashReportingDSN;
  std::optional<std::string> updateFeedURL;
  std::optional<std::string> sparklePublicEDKey;
  std::optional<std::string> privacyURL;
  std::optional<std::string> supportURL;
  std::optional<std::string> betaDetailsURL;

  // The Info.plist keys.
  static constexpr const char* betaChannelKey = "CorvaneBetaChannel";
  static constexpr const char* crashReportingEnabledKey = "CorvaneCrashReportingEnabled";
  static constexpr const char* automaticUpdatesEnabledKey = "CorvaneAutomaticUpdatesEnabled";
  static constexpr const char* crashReportingDSNKey = "CorvaneCrashReportingDSN";
  static constexpr const char* updateFeedURLKey = "CorvaneUpdateFeedURL";
  static constexpr const char* fallbackUpdateFeedURLKey = "SUFeedURL";
  static constexpr const char* publicEDKeyKey = "SUPublicEDKey";
  static constexpr const char* privacyURLKey = "CorvanePrivacyURL";
  static constexpr const char* supportURLKey = "CorvaneSupportURL";
  static constexpr const char* betaDetailsURLKey = "CorvaneBetaDetailsURL";
  static constexpr const char* startupSourceGuardKey = "CorvaneStartupSourceGuardEnabled";

  // Reads the settings from the bundle's information dictionary; never fails: a missing or
  // unusable value stays absent or takes its default.
  static ProductionConfiguration current(const platform::Bundle& bundle);

  // Automatic updates on, a feed and a non-empty public key present.
  bool isUpdateConfigured() const;
  // The release settings that are missing, in the order "Crash reporting", "Update feed",
  // "Update signing key", "Privacy URL", "Support URL"; empty when complete.
  std::vector<std::string> missingItems() const;
  // What a beta build lacks, in the order "Beta channel marker", "Disabled beta crash
  // reporting", "Disabled beta automatic updates", "Privacy URL", "Support URL", "Beta details
  // URL"; empty when nothing is missing.
  std::vector<std::string> betaMissingItems() const;

  bool operator==(const ProductionConfiguration&) const = default;
};

// An https URL with a host and no whitespace or control characters, trimmed; absent otherwise.
std::optional<std::string> httpsURL(const std::string& text);

}  // namespace corvane::model
