#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "model/production_configuration.h"
#include "platform/property_list.h"

namespace corvane::model {
namespace {

namespace fs = std::filesystem;

// The build writes Info.plist at the top of the build folder, beside bin/ and tests/.
fs::path buildFolder() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : executable.parent_path().parent_path();
}

TEST(InfoPlistTest, BuiltBundleCarriesEveryKeyAndNoEndpoint) {
  const fs::path root = buildFolder();
  if (!fs::exists(root / "Info.plist")) GTEST_SKIP() << "no Info.plist beside " << root;
  const auto bundle = platform::loadBundle(root);
  ASSERT_TRUE(bundle.ok()) << bundle.message();
  EXPECT_EQ(bundle->bundleIdentifier(), "com.pemberquist.corvane");
  EXPECT_EQ(bundle->string("CFBundleName"), "Corvane");
  EXPECT_EQ(bundle->string("CFBundleExecutable"), "corvane");
  for (const char* key : {"CorvaneBetaChannel", "CorvaneCrashReportingEnabled",
                          "CorvaneAutomaticUpdatesEnabled", "CorvaneStartupSourceGuardEnabled"}) {
    EXPECT_TRUE(bundle->boolean(key).has_value()) << key;
  }
  for (const char* key : {"CorvaneCrashReportingDSN", "CorvaneUpdateFeedURL", "SUPublicEDKey",
                          "CorvanePrivacyURL", "CorvaneSupportURL", "CorvaneBetaDetailsURL",
                          "CFBundleShortVersionString", "CFBundleVersion"}) {
    EXPECT_TRUE(bundle->string(key).has_value()) << key;
  }
  const auto configuration = ProductionConfiguration::current(bundle.value());
  EXPECT_FALSE(configuration.shortVersion.empty());
  EXPECT_FALSE(configuration.updateFeedURL.has_value());
  EXPECT_FALSE(configuration.crashReportingDSN.has_value());
  EXPECT_FALSE(configuration.isUpdateConfigured());
}

}  // namespace
}  // namespace corvane::model
