#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "operations/install_script.h"
#include "operations/interrupted_install.h"
#include "operations/test_update_fixtures.h"
#include "operations/update_manager.h"
#include "runtime/virtual_run_loop.h"

extern char** environ;

namespace corvane::operations {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

const std::string kIdentifier = "com.pemberquist.corvane";

pid_t spawnProgram(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int exitStatusOf(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits for a file written by a process the installer started in the background.
std::string awaitFile(const fs::path& path) {
  for (int i = 0; i < 500 && !fs::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return testing::readWholeFile(path);
}

std::string programThatSays(const std::string& word) {
  return "#!/bin/bash\necho '" + word + "' >> \"$CORVANE_TEST_RELAUNCH_MARKER\"\n";
}

class UpdateInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every shell-special character a folder name can hold.
    hostileParent = folder.path() / "Apps 'quoted' \"dq\" $(touch PWNED) `touch PWNED2`\nline two";
    currentApp = hostileParent / "Corvane it's mine";
    testing::writeApplication(currentApp, kIdentifier, "100", programThatSays("old build"));
    marker = folder.path() / "relaunched.txt";
    setenv("CORVANE_TEST_RELAUNCH_MARKER", marker.c_str(), 1);
    UpdateManagerDependencies dependencies;
    dependencies.channel =
        UpdateChannel{true, "https://updates.invalid/appcast.xml", key.publicKeyBase64()};
    dependencies.dataDirectory = folder.path() / "data" / "Corvane";
    dependencies.verifier = platform::makeSignatureVerifier();
    dependencies.extractor = platform::makeArchiveExtractor();
    dependencies.workQueue = loop.makeQueue("updates");
    dependencies.launchDetached = [this](const platform::ProcessRequest& request) {
      std::vector<std::string> arguments{request.executable.string()};
      arguments.insert(arguments.end(), request.arguments.begin(), request.arguments.end());
      scriptPid = spawnProgram(arguments);
      ++launches;
      return runtime::Result<int>(scriptPid);
    };
    dependencies.record = [this](const std::string& event,
                                 std::map<std::string, std::string> fields) {
      events.emplace_back(event, std::move(fields));
    };
    manager = std::make_shared<UpdateManager>(std::move(dependencies));
  }

  void TearDown() override {
    if (appPid > 0) quitApp();
    if (scriptPid > 0) exitStatusOf(scriptPid);
    EXPECT_FALSE(fs::exists(folder.path() / "PWNED"));
    EXPECT_FALSE(fs::exists("PWNED"));
    EXPECT_FALSE(fs::exists("PWNED2"));
  }

  // Stores a signed archive the way a successful update check leaves it.
  fs::path storeArchive(const std::vector<testing::ZipEntry>& entries) {
    const std::string bytes = testing::makeZip(entries);
    const fs::path path = folder.path() / "data" / "Corvane" / "Updates" / "Corvane-200.zip";
    testing::writeFile(path, bytes);
    testing::writeFile(signaturePathFor(path), key.signBase64(bytes));
    return path;
  }

  fs::path storeApplicationUpdate(const std::string& build,
                                  const std::string& identifier = kIdentifier) {
    return storeArchive(
        testing::applicationEntries("Corvane", identifier, build, programThatSays("new build")));
  }

  // A stand-in for the running application that the script waits for.
  void startApp() { appPid = spawnProgram({"/bin/sleep", "60"}); }
  void quitApp() {
    kill(appPid, SIGTERM);
    exitStatusOf(appPid);
    appPid = -1;
  }

  InstallOptions waitingForApp(int attempts = 400) {
    return InstallOptions{appPid, attempts, 0.02};
  }

  std::string runningBuild() { return testing::readWholeFile(currentApp / "share" / "readme.txt"); }
  fs::path installerFolder() { return folder.path() / "data" / "Corvane" / "UpdateInstaller"; }
  bool hasStagingFolder() {
    for (const auto& entry : fs::directory_iterator(installerFolder())) {
      if (entry.path().filename().string().rfind("staging-", 0) == 0) return true;
    }
    return false;
  }
  std::string installLog() {
    for (const auto& entry : fs::directory_iterator(installerFolder())) {
      if (entry.path().extension() == ".log") return testing::readWholeFile(entry.path());
    }
    return "";
  }
  // Siblings of the install whose names hold `marker`.
  std::vector<fs::path> siblingsMarked(const std::string& marker) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(hostileParent)) {
      if (entry.path().filename().string().find(marker) != std::string::npos) {
        found.push_back(entry.path());
      }
    }
    return found;
  }
  std::vector<fs::path> backups() { return siblingsMarked(".previous-"); }
  std::vector<fs::path> leftoverCopies() { return siblingsMarked(".incoming-"); }

  TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  testing::SigningKey key;
  fs::path hostileParent;
  fs::path currentApp;
  fs::path marker;
  std::shared_ptr<UpdateManager> manager;
  pid_t appPid = -1;
  pid_t scriptPid = -1;
  int launches = 0;
  std::vector<std::pair<std::string, std::map<std::string, std::string>>> events;
};

TEST_F(UpdateInstallTest, InstallsAfterTheAppQuitsAndRelaunchesIt) {
  const fs::path archive = storeApplicationUpdate("200");
  startApp();
  const runtime::Status started =
      manager->installVerifiedUpdate(archive, currentApp, waitingForApp());
  ASSERT_TRUE(started.ok()) << started.message();
  EXPECT_EQ(launches, 1);
  quitApp();
  EXPECT_EQ(exitStatusOf(scriptPid), 0) << installLog();
  scriptPid = -1;
  EXPECT_EQ(runningBuild(), "build 200\n");
  EXPECT_EQ(awaitFile(marker), "new build\n");
  EXPECT_TRUE(backups().empty());
  EXPECT_FALSE(hasStagingFolder());
  EXPECT_NE(installLog().find("Update installed."), std::string::npos);
  EXPECT_TRUE(fs::exists(archive));
}

TEST_F(UpdateInstallTest, AnEqualBuildInstallsAndABundleOneFolderDeepIsFound) {
  auto entries = testing::applicationEntries("release/Corvane", kIdentifier, "100",
                                             programThatSays("new build"));
  entries.insert(entries.begin(), {"release/", "", 0755, testing::ZipEntry::Kind::folder, ""});
  // A link inside the install, even one whose target is missing, is copied as it is.
  entries.push_back({"release/Corvane/lib/libgone.so", "", 0777, testing::ZipEntry::Kind::symlink,
                     "libgone.so.1"});
  const fs::path archive = storeArchive(entries);
  startApp();
  ASSERT_TRUE(manager->installVerifiedUpdate(archive, currentApp, waitingForApp()).ok());
  quitApp();
  EXPECT_EQ(exitStatusOf(scriptPid), 0) << installLog();
  scriptPid = -1;
  EXPECT_EQ(awaitFile(marker), "new build\n");
  EXPECT_TRUE(fs::is_symlink(currentApp / "lib" / "libgone.so"));
}

TEST_F(UpdateInstallTest, ChecksFailBeforeTheAppQuitsAndLeaveItUntouched) {
  struct Case {
    fs::path archive;
    std::string message;
  };
  auto check = [this](const fs::path& archive, const std::string& message) {
    const runtime::Status status = manager->installVerifiedUpdate(archive, currentApp);
    EXPECT_EQ(status.ok() ? std::string("installed") : status.message(), message);
    EXPECT_EQ(launches, 0);
    EXPECT_FALSE(hasStagingFolder());
    EXPECT_EQ(runningBuild(), "build 100\n");
  };
  check(storeApplicationUpdate("200", "com.example.other"),
        "Update bundle id mismatch: com.example.other");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().first, "update_install_refused");
  EXPECT_EQ(events.back().second["reason"], "Update bundle id mismatch: com.example.other");
  check(storeApplicationUpdate("99"), "Refusing to install downgrade from 100 to 99");
  check(storeApplicationUpdate("2.0b"), "Update build is not numeric: 2.0b");
  check(
      storeArchive({{"Corvane/readme.txt", "no program", 0644, testing::ZipEntry::Kind::file, ""}}),
      "Verified archive did not contain Corvane.");

  // The stored archive changed after the check verified it.
  const fs::path archive = storeApplicationUpdate("200");
  testing::writeFile(archive, testing::readWholeFile(archive) + "appended");
  check(archive, "Update archive signature could not be verified.");
}

TEST_F(UpdateInstallTest, ArchiveEntriesCannotEscapeTheStagingFolder) {
  using Kind = testing::ZipEntry::Kind;
  auto base = testing::applicationEntries("Corvane", kIdentifier, "200", programThatSays("x"));
  for (const testing::ZipEntry& hostile :
       {testing::ZipEntry{"../../escaped.txt", "out", 0644, Kind::file, ""},
        testing::ZipEntry{"/tmp/corvane-absolute-escape.txt", "out", 0644, Kind::file, ""},
        testing::ZipEntry{"Corvane/lib/link", "", 0777, Kind::symlink, "/etc"},
        testing::ZipEntry{"Corvane/lib/up", "", 0777, Kind::symlink, "../../.."}}) {
    auto entries = base;
    entries.push_back(hostile);
    const runtime::Status status =
        manager->installVerifiedUpdate(storeArchive(entries), currentApp);
    ASSERT_FALSE(status.ok()) << hostile.name;
    EXPECT_EQ(status.message().rfind("The update archive could not be unpacked.", 0), 0u)
        << status.message();
    EXPECT_EQ(launches, 0);
  }
  EXPECT_FALSE(fs::exists(folder.path() / "data" / "Corvane" / "escaped.txt"));
  EXPECT_FALSE(fs::exists(folder.path() / "data" / "escaped.txt"));
  EXPECT_FALSE(fs::exists("/tmp/corvane-absolute-escape.txt"));
}

TEST_F(UpdateInstallTest, ALinkLeadingOutOfTheNewInstallIsRefused) {
  using Kind = testing::ZipEntry::Kind;
  // Inside the staging folder, but outside the install folder that gets copied.
  auto entries = testing::applicationEntries("Corvane", kIdentifier, "200", programThatSays("x"));
  entries.push_back({"Corvane/lib/out", "", 0777, Kind::symlink, "../../elsewhere"});
  entries.push_back({"elsewhere/", "", 0755, Kind::folder, ""});
  const runtime::Status status = manager->installVerifiedUpdate(storeArchive(entries), currentApp);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Update holds a link leading outside it: lib/out");
  EXPECT_EQ(launches, 0);
}

// Swaps the stored archive for another before handing on what it was given to unpack.
class SwappingExtractor final : public platform::ArchiveExtractor {
 public:
  SwappingExtractor(fs::path archive, std::string replacement)
      : archive_(std::move(archive)), replacement_(std::move(replacement)) {}
  runtime::Status extract(std::string_view bytes, const fs::path& destination,
                          const platform::ExtractionLimits& limits) override {
    testing::writeFile(archive_, replacement_);
    return real_->extract(bytes, destination, limits);
  }

 private:
  fs::path archive_;
  std::string replacement_;
  std::shared_ptr<platform::ArchiveExtractor> real_ = platform::makeArchiveExtractor();
};

TEST_F(UpdateInstallTest, TheBytesUnpackedAreTheBytesVerified) {
  const fs::path archive = storeApplicationUpdate("200");
  UpdateManagerDependencies dependencies;
  dependencies.channel = manager->channel();
  dependencies.dataDirectory = folder.path() / "data" / "Corvane";
  dependencies.verifier = platform::makeSignatureVerifier();
  dependencies.extractor = std::make_shared<SwappingExtractor>(
      archive, testing::makeZip(testing::applicationEntries("Corvane", kIdentifier, "300",
                                                            programThatSays("unsigned build"))));
  dependencies.workQueue = loop.makeQueue("swapped");
  dependencies.launchDetached = [](const platform::ProcessRequest&) {
    return runtime::Result<int>(1);
  };
  auto swapped = std::make_shared<UpdateManager>(std::move(dependencies));
  ASSERT_TRUE(swapped->installVerifiedUpdate(archive, currentApp).ok());
  fs::path staged;
  for (const auto& entry : fs::recursive_directory_iterator(installerFolder())) {
    if (entry.path().filename() == "readme.txt") staged = entry.path();
  }
  EXPECT_EQ(testing::readWholeFile(staged), "build 200\n");
}

TEST_F(UpdateInstallTest, AFailedCopyRestoresTheOldInstallAndRelaunchesIt) {
  const fs::path archive = storeApplicationUpdate("200");
  startApp();
  ASSERT_TRUE(manager->installVerifiedUpdate(archive, currentApp, waitingForApp()).ok());
  // Once the script waits, spoil the staged program so the installed copy cannot run.
  for (int i = 0; i < 500 && installLog().find("Waiting") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  for (const auto& entry : fs::recursive_directory_iterator(installerFolder())) {
    if (entry.path().filename() == "corvane") fs::permissions(entry.path(), fs::perms(0644));
  }
  quitApp();
  EXPECT_EQ(exitStatusOf(scriptPid), 1);
  scriptPid = -1;
  const std::string log = installLog();
  EXPECT_NE(log.find("The installed copy has no Corvane program."), std::string::npos) << log;
  // The copy was checked beside the install, which was never moved.
  EXPECT_NE(log.find("The previous Corvane was kept in place."), std::string::npos) << log;
  EXPECT_EQ(runningBuild(), "build 100\n");
  EXPECT_TRUE(backups().empty());
  EXPECT_TRUE(leftoverCopies().empty());
  EXPECT_FALSE(hasStagingFolder());
  EXPECT_EQ(awaitFile(marker), "old build\n");
}

TEST_F(UpdateInstallTest, AProcessReapedBetweenTheTwoChecksCountsAsQuit) {
  // kill -0 still succeeds (a stand-in for the moment before the reap), /proc has no entry.
  const pid_t gone = spawnProgram({"/bin/true"});
  exitStatusOf(gone);
  const std::string script = installScriptText({});
  const auto begin = script.find("app_running() {");
  const auto end = script.find("\n}\n", begin);
  ASSERT_NE(end, std::string::npos);
  testing::writeFile(folder.path() / "probe.sh",
                     script.substr(begin, end + 3 - begin) +
                         "kill() { return 0; }\nAPP_PID=" + std::to_string(gone) +
                         "\nif app_running; then echo running; else echo quit; fi > \"$1\"\n");
  const fs::path out = folder.path() / "probe.txt";
  ASSERT_EQ(exitStatusOf(
                spawnProgram({"/bin/bash", (folder.path() / "probe.sh").string(), out.string()})),
            0);
  EXPECT_EQ(testing::readWholeFile(out), "quit\n");
}

TEST_F(UpdateInstallTest, AnInstallCutShortIsPutRightAtTheNextStart) {
  // Killed between the two renames: only the moved-aside install and the checked copy are left.
  const fs::path backup = hostileParent / "Corvane it's mine.previous-1700000000";
  const fs::path copy = hostileParent / "Corvane it's mine.incoming-1700000000";
  fs::rename(currentApp, backup);
  testing::writeApplication(copy, kIdentifier, "200", programThatSays("new build"));
  auto reconciled = reconcileInterruptedInstall(currentApp);
  ASSERT_TRUE(reconciled.ok()) << reconciled.message();
  EXPECT_EQ(*reconciled, 2);
  EXPECT_EQ(runningBuild(), "build 100\n");
  EXPECT_TRUE(backups().empty());
  EXPECT_TRUE(leftoverCopies().empty());

  // Killed after the swap: the new install is in place and the old one is left over.
  testing::writeApplication(backup, kIdentifier, "50", programThatSays("older build"));
  reconciled = reconcileInterruptedInstall(currentApp);
  ASSERT_TRUE(reconciled.ok());
  EXPECT_EQ(*reconciled, 1);
  EXPECT_EQ(runningBuild(), "build 100\n");
  EXPECT_TRUE(backups().empty());
  EXPECT_EQ(*reconcileInterruptedInstall(currentApp), 0);
}

TEST_F(UpdateInstallTest, AnAppThatEndedButWasNotReapedCountsAsQuit) {
  const fs::path archive = storeApplicationUpdate("200");
  startApp();
  ASSERT_TRUE(manager->installVerifiedUpdate(archive, currentApp, waitingForApp()).ok());
  kill(appPid, SIGKILL);  // left a zombie until the script is done
  EXPECT_EQ(exitStatusOf(scriptPid), 0) << installLog();
  scriptPid = -1;
  exitStatusOf(appPid);
  appPid = -1;
  EXPECT_EQ(runningBuild(), "build 200\n");
}

TEST_F(UpdateInstallTest, AnAppThatDoesNotQuitKeepsItsInstall) {
  const fs::path archive = storeApplicationUpdate("200");
  startApp();
  ASSERT_TRUE(manager->installVerifiedUpdate(archive, currentApp, waitingForApp(3)).ok());
  EXPECT_EQ(exitStatusOf(scriptPid), 1);
  scriptPid = -1;
  EXPECT_NE(installLog().find("Corvane did not quit before update install."), std::string::npos);
  EXPECT_EQ(runningBuild(), "build 100\n");
  EXPECT_TRUE(backups().empty());
  EXPECT_FALSE(fs::exists(marker));
}

TEST_F(UpdateInstallTest, AnUnwritableInstallLocationIsRefusedUpFront) {
  const fs::path archive = storeApplicationUpdate("200");
  const runtime::Status status =
      manager->installVerifiedUpdate(archive, "/nonexistent-corvane/install/corvane");
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find("cannot replace its install folder"), std::string::npos);
  EXPECT_EQ(launches, 0);
}

TEST(InstallScriptTest, QuotedPathsReadBackUnchangedInBash) {
  TemporaryFolder folder;
  const std::string hostile = "a 'b' \"c\" $(d) `e` \\f\nnew line $HOME !x";
  testing::writeFile(folder.path() / "echo.sh",
                     "X=" + singleQuotedForBash(hostile) + "\nprintf %s \"$X\" > \"$1\"\n");
  const fs::path out = folder.path() / "out.txt";
  const pid_t pid = spawnProgram({"/bin/bash", (folder.path() / "echo.sh").string(), out.string()});
  ASSERT_EQ(exitStatusOf(pid), 0);
  EXPECT_EQ(testing::readWholeFile(out), hostile);
}

TEST(InstallScriptTest, TheScriptStartsWithStrictModeAndTheQuotedPaths) {
  InstallScriptParameters parameters;
  parameters.stagedApp = "/d/staging-1/Corvane";
  parameters.currentApp = "/opt/it's/corvane/";
  parameters.staging = "/d/staging-1";
  parameters.backup = "/opt/it's/corvane.previous-1";
  parameters.log = "/d/install-1.log";
  parameters.processToAwait = 4242;
  const std::string text = installScriptText(parameters);
  EXPECT_EQ(text.rfind("#!/bin/bash\nset -euo pipefail\n\nSTAGED_APP='/d/staging-1/Corvane'\n"
                       "CURRENT_APP='/opt/it'\\''s/corvane'\nSTAGING='/d/staging-1'\n"
                       "BACKUP='/opt/it'\\''s/corvane.previous-1'\nLOG='/d/install-1.log'\n"
                       "APP_PID=4242\nWAIT_ATTEMPTS=80\nWAIT_INTERVAL=0.500\n",
                       0),
            0u);
}

}  // namespace
}  // namespace corvane::operations
