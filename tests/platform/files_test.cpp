#include "platform/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>

#include "support/temporary_folder.h"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one test and restores them afterwards.
class ScopedEnvironment {
 public:
  void set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(WellKnownFoldersTest, FollowsXdgVariablesAndIgnoresRelativeOnes) {
  ScopedEnvironment environment;
  environment.set("HOME", "/home/ada");
  environment.set("XDG_CONFIG_HOME", "/cfg");
  environment.set("XDG_DATA_HOME", "relative/data");
  environment.set("XDG_CACHE_HOME", nullptr);
  environment.set("TMPDIR", "/var/tmp/ada");
  environment.set("XDG_DATA_DIRS", "/opt/share:relative:/usr/share");
  const auto folders = WellKnownFolders::fromEnvironment();
  EXPECT_EQ(folders.home, "/home/ada");
  EXPECT_EQ(folders.configHome, "/cfg");
  EXPECT_EQ(folders.dataHome, "/home/ada/.local/share");
  EXPECT_EQ(folders.cacheHome, "/home/ada/.cache");
  EXPECT_EQ(folders.temporary, "/var/tmp/ada");
  EXPECT_EQ(folders.corvaneData(), "/home/ada/.local/share/Corvane");
  EXPECT_EQ(folders.applicationDirectories,
            (std::vector<fs::path>{"/home/ada/.local/share/applications", "/opt/share/applications",
                                   "/usr/share/applications"}));
}

TEST(WellKnownFoldersTest, DefaultDataDirectoriesWhenUnset) {
  ScopedEnvironment environment;
  environment.set("HOME", "/home/ada");
  environment.set("XDG_DATA_HOME", nullptr);
  environment.set("XDG_DATA_DIRS", nullptr);
  environment.set("TMPDIR", nullptr);
  const auto folders = WellKnownFolders::fromEnvironment();
  EXPECT_EQ(folders.temporary, "/tmp");
  EXPECT_EQ(folders.applicationDirectories.size(), 3u);
  EXPECT_EQ(folders.applicationDirectories.back(), "/usr/share/applications");
}

TEST(PrivateFilesTest, CreatesPrivateFoldersAndWritesAtomically) {
  testing::TemporaryFolder folder;
  const fs::path nested = folder / "a" / "b" / "c";
  ASSERT_TRUE(createPrivateDirectories(nested).ok());
  EXPECT_EQ(fs::status(folder / "a").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(nested).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_TRUE(createPrivateDirectories(nested).ok());  // already there

  const fs::path file = nested / "settings.json";
  ASSERT_TRUE(writeFileAtomically(file, "first").ok());
  ASSERT_TRUE(writeFileAtomically(file, "second").ok());
  EXPECT_EQ(readFile(file).value(), "second");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(nested)) ++entries;
  EXPECT_EQ(entries, 1);  // no temporary file left behind

  ASSERT_TRUE(writeFileAtomically(nested / "script", "#!/bin/sh\n", 0700).ok());
  EXPECT_EQ(fs::status(nested / "script").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(PrivateFilesTest, FailuresCarryASentence) {
  testing::TemporaryFolder folder;
  std::ofstream(folder / "plain") << "x";
  auto created = createPrivateDirectories(folder / "plain" / "below");
  ASSERT_FALSE(created.ok());
  EXPECT_NE(created.message().find("is not a folder"), std::string::npos);

  auto written = writeFileAtomically(folder / "missing" / "file", "x");
  ASSERT_FALSE(written.ok());
  EXPECT_NE(written.message().find("Could not write"), std::string::npos);

  auto missing = readFile(folder / "nothing");
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("No such file"), std::string::npos);

  EXPECT_FALSE(readFile(folder.path()).ok());  // a folder is not a file
  std::ofstream(folder / "big") << std::string(2000, 'x');
  auto big = readFile(folder / "big", 1000);
  ASSERT_FALSE(big.ok());
  EXPECT_NE(big.message().find("larger than 1000 bytes"), std::string::npos);
}

}  // namespace
}  // namespace corvane::platform
