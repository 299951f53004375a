#include "model/production_configuration.h"

#include <gtest/gtest.h>

#include "model/internal_feature_flags.h"

namespace corvane::model {
namespace {

using platform::Bundle;
using platform::Value;

Bundle bundleWith(Value::Dictionary info) {
  return Bundle{"/opt/corvane", std::move(info)};
}

Value::Dictionary completeReleaseInfo() {
  return {
      {"CFBundleShortVersionString", Value("1.4.0")},
      {"CFBundleVersion", Value("140")},
      {"CorvaneCrashReportingDSN", Value("https://key@crash.example.com/12")},
      {"CorvaneUpdateFeedURL", Value("https://updates.example.com/appcast.xml")},
      {"SUPublicEDKey", Value("  c2lnbmluZy1rZXk=\n")},
      {"CorvanePrivacyURL", Value("https://example.com/privacy")},
      {"CorvaneSupportURL", Value("https://example.com/support")},
  };
}

TEST(ProductionConfigurationTest, EmptyBundleTakesDefaultsAndListsEverythingMissing) {
  const auto configuration = ProductionConfiguration::current(bundleWith({}));
  EXPECT_FALSE(configuration.isBetaRelease);
  EXPECT_TRUE(configuration.crashReportingEnabled);
  EXPECT_TRUE(configuration.automaticUpdatesEnabled);
  EXPECT_FALSE(configuration.isUpdateConfigured());
  EXPECT_EQ(configuration.missingItems(),
            (std::vector<std::string>{"Crash reporting", "Update feed", "Update signing key",
                                      "Privacy URL", "Support URL"}));
  EXPECT_EQ(configuration.betaMissingItems(),
            (std::vector<std::string>{"Beta channel marker", "Disabled beta crash reporting",
                                      "Disabled beta automatic updates", "Privacy URL",
                                      "Support URL", "Beta details URL"}));
}

TEST(ProductionConfigurationTest, CompleteReleaseIsConfigured) {
  const auto configuration = ProductionConfiguration::current(bundleWith(completeReleaseInfo()));
  EXPECT_EQ(configuration.shortVersion, "1.4.0");
  EXPECT_EQ(configuration.buildVersion, "140");
  EXPECT_EQ(configuration.sparklePublicEDKey, "c2lnbmluZy1rZXk=");
  EXPECT_TRUE(configuration.isUpdateConfigured());
  EXPECT_TRUE(configuration.missingItems().empty());
}

TEST(ProductionConfigurationTest, OnlyHttpsUrlsWithAHostAreKept) {
  auto info = completeReleaseInfo();
  info["CorvaneCrashReportingDSN"] = Value("http://key@crash.example.com/12");
  info["CorvaneUpdateFeedURL"] = Value("  ");
  info["SUFeedURL"] = Value("HTTPS://fallback.example.com/feed.xml");
  info["CorvanePrivacyURL"] = Value("https:///no-host");
  info["CorvaneSupportURL"] = Value("https://exa mple.com");
  info["SUPublicEDKey"] = Value(" \t\n");
  const auto configuration = ProductionConfiguration::current(bundleWith(info));
  EXPECT_FALSE(configuration.crashReportingDSN.has_value());
  EXPECT_EQ(configuration.updateFeedURL, "HTTPS://fallback.example.com/feed.xml");
  EXPECT_FALSE(configuration.sparklePublicEDKey.has_value());
  EXPECT_FALSE(configuration.isUpdateConfigured());
  EXPECT_EQ(configuration.missingItems(),
            (std::vector<std::string>{"Crash reporting", "Update signing key", "Privacy URL",
                                      "Support URL"}));
  EXPECT_FALSE(httpsURL("javascript:alert(1)").has_value());
  EXPECT_FALSE(httpsURL("https://").has_value());
  EXPECT_EQ(httpsURL(" https://example.com/a?b#c "), "https://example.com/a?b#c");
}

TEST(ProductionConfigurationTest, DisabledUpdatesAreNeverConfigured) {
  auto info = completeReleaseInfo();
  info["CorvaneAutomaticUpdatesEnabled"] = Value(false);
  EXPECT_FALSE(ProductionConfiguration::current(bundleWith(info)).isUpdateConfigured());
}

TEST(ProductionConfigurationTest, CompleteBetaBuildLacksNothing) {
  auto info = completeReleaseInfo();
  info["CorvaneBetaChannel"] = Value("YES");  // template expansion writes strings
  info["CorvaneCrashReportingEnabled"] = Value(false);
  info["CorvaneAutomaticUpdatesEnabled"] = Value("false");
  info["CorvaneBetaDetailsURL"] = Value("https://example.com/beta");
  const auto configuration = ProductionConfiguration::current(bundleWith(info));
  EXPECT_TRUE(configuration.isBetaRelease);
  EXPECT_FALSE(configuration.crashReportingEnabled);
  EXPECT_TRUE(configuration.betaMissingItems().empty());
}

TEST(ProductionConfigurationTest, UnrecognisedFlagTextKeepsTheDefault) {
  const auto configuration =
      ProductionConfiguration::current(bundleWith({{"CorvaneCrashReportingEnabled", Value("maybe")},
                                                   {"CorvaneBetaChannel", Value(Value::Array{})}}));
  EXPECT_TRUE(configuration.crashReportingEnabled);
  EXPECT_FALSE(configuration.isBetaRelease);
}

TEST(InternalFeatureFlagsTest, StartupSourceGuardNeedsABooleanTrue) {
  EXPECT_FALSE(InternalFeatureFlags::startupSourceGuard(Bundle{}));
  // A string is not a Boolean.
  EXPECT_FALSE(InternalFeatureFlags::startupSourceGuard(
      bundleWith({{"CorvaneStartupSourceGuardEnabled", Value("true")}})));
  EXPECT_TRUE(InternalFeatureFlags::startupSourceGuard(
      bundleWith({{"CorvaneStartupSourceGuardEnabled", Value(true)}})));
}

}  // namespace
}  // namespace corvane::model
