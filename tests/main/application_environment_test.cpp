#include "main/application_environment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "platform/linux/json_file_defaults_store.h"

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

TEST(ApplicationEnvironmentTest, SettingsStoreProblemsReachTheLogAndTheUserOnTheMainActor) {
  corvane::testing::TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  const auto defaults = folder / "defaults";
  std::filesystem::create_directories(defaults);
  std::ofstream(defaults / "corvane.standard.json") << "{ not json";
  platform::JsonFileDefaultsStore store(defaults);
  (void)store.standard();  // read before anyone listens: the note waits

  std::vector<std::string> recorded;
  std::vector<model::SettingsStoreProblem> told;
  reportSettingsStoreProblems(
      store,
      [&](const std::string& event, std::map<std::string, std::string>) {
        recorded.push_back(event);
      },
      [&](model::SettingsStoreProblem problem) { told.push_back(std::move(problem)); });
  EXPECT_EQ(recorded, std::vector<std::string>{"defaults_suite_recovered"});
  loop.runUntilIdle();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].kind, model::SettingsStoreProblem::Kind::reset);
  ASSERT_TRUE(told[0].keptAs.has_value());
  EXPECT_TRUE(std::filesystem::exists(*told[0].keptAs));
  EXPECT_NE(told[0].sentence().find(told[0].keptAs->string()), std::string::npos);

  // A change that cannot be written, noted on another thread, is told on the main actor.
  std::filesystem::remove_all(defaults);
  std::ofstream(defaults.string());  // a file where the folder should be
  std::thread writer([&] {
    store.standard()->set("k", platform::Value(1));
    store.flush();
  });
  writer.join();
  EXPECT_EQ(recorded.back(), "defaults_suite_save_failed");
  EXPECT_EQ(told.size(), 1u);
  loop.runUntilIdle();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[1].kind, model::SettingsStoreProblem::Kind::notSaved);
  EXPECT_EQ(told[1].sentence(),
            "Changes to settings cannot be saved and will be lost when Corvane quits. Could not "
            "create the folder " +
                defaults.string() + ": " + defaults.string() + " is not a folder.");

  // The folder is back: the next change is saved, and the user hears that saving works again.
  std::filesystem::remove(defaults);
  std::filesystem::create_directories(defaults);
  store.standard()->set("k", platform::Value(2));
  store.flush();
  EXPECT_EQ(recorded.back(), "defaults_suite_saved_again");
  loop.runUntilIdle();
  ASSERT_EQ(told.size(), 3u);
  EXPECT_EQ(told[2].kind, model::SettingsStoreProblem::Kind::savedAgain);
}

}  // namespace
}  // namespace corvane::wiring
