#include "main/application_environment.h"

#include <gtest/gtest.h>

#include <fstream>

#include "runtime/virtual_run_loop.h"
#include "support/temporary_folder.h"

namespace corvane::wiring {
namespace {

TEST(ApplicationEnvironmentTest, OpensTheBundleSettingsAndEventLogInTheGivenFolders) {
  corvane::testing::TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  platform::WellKnownFolders folders;
  folders.configHome = folder / "config";
  folders.dataHome = folder / "data";
  folders.temporary = folder / "tmp";
  const auto root = folder / "Corvane";
  std::filesystem::create_directories(root);
  EXPECT_FALSE(openApplicationEnvironment(root, folders, {}).ok()) << "no Info.plist";

  std::ofstream(root / "Info.plist")
      << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
         "<key>CFBundleIdentifier</key><string>com.pemberquist.corvane.startupqa.x</string>"
         "</dict></plist>";
  const std::string qaArgument =
      "--corvane-qa-preferences-suite=com.pemberquist.corvane.startupqa.x.preferences";
  auto opened = openApplicationEnvironment(root, folders, {"corvane", qaArgument});
  ASSERT_TRUE(opened.ok()) << opened.message();
  const auto settings = model::PreferencesStore::activeDefaults(opened->preferences());
  EXPECT_EQ(settings->name(), "com.pemberquist.corvane.startupqa.x.preferences");
  settings->set("neverHideWords", platform::Value("Acme"));
  opened->defaults->flush();  // saved off the caller's thread
  EXPECT_TRUE(std::filesystem::exists(folder / "config" / "corvane" / "defaults" /
                                      "com.pemberquist.corvane.startupqa.x.preferences.json"));

  model::ScopedDiagnosticReporter restore(nullptr);
  auto log = installEventLog(folders);
  model::DiagnosticReporter::shared().record("app_initialized");
  EXPECT_EQ(&model::DiagnosticReporter::shared(), log.get());
  EXPECT_EQ(log->readEvents().events.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(folder / "data" / "Corvane" / "Diagnostics"));
}

}  // namespace
}  // namespace corvane::wiring
