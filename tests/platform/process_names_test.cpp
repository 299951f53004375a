// How a process is named when its environment cannot be read: by the unit its launcher put it
// in, by the entry whose Exec= it runs, and loosely by what it is called.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/application_ids.h"
#include "platform/desktop_entry.h"
#include "platform/desktop_entry_index.h"
#include "platform/launch_units.h"
#include "platform/process_ancestry.h"
#include "support/temporary_folder.h"

namespace corvane::platform {
namespace {

std::vector<std::string> idsInCgroup(std::string_view text) {
  std::vector<std::string> ids;
  for (const auto path : cgroupPaths(text)) {
    for (const auto& unit : launchUnitsInCgroupPath(path)) {
      ids.push_back(unit.launcher + ":");
      ids.insert(ids.end(), unit.desktopIds.begin(), unit.desktopIds.end());
    }
  }
  return ids;
}

TEST(ProcessNamesTest, LaunchUnitsNameTheirDesktopIds) {
  using Ids = std::vector<std::string>;
  const std::string user = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";
  EXPECT_EQ(idsInCgroup(user + "app-gnome-org.gnome.Evince-4242.scope\n"),
            (Ids{"gnome:", "org.gnome.Evince", "gnome-org.gnome.Evince"}));
  // Dashes in the id are escaped; a service carries its random part after "@", or none.
  EXPECT_EQ(idsInCgroup(user + "app-gnome-org.example.pass\\x2dwallet@3f2a.service"),
            (Ids{"gnome:", "org.example.pass-wallet", "gnome-org.example.pass-wallet"}));
  EXPECT_EQ(idsInCgroup(user + "app-org.kde.konsole-1c2b3a.scope"), (Ids{":", "org.kde.konsole"}));
  EXPECT_EQ(idsInCgroup(user + "app-org.kde.kate.service"), (Ids{":", "org.kde.kate"}));
  // Left unescaped, an id with a dash reads two ways.
  EXPECT_EQ(idsInCgroup("0::/app-vault-editor-77.scope/sub"),
            (Ids{"vault:", "editor", "vault-editor"}));
  EXPECT_EQ(idsInCgroup("1:name=systemd:/app-flatpak-org.example.Chat-12.scope\n0::/\n"),
            (Ids{"flatpak:", "org.example.Chat", "flatpak-org.example.Chat"}));
  for (const char* none : {"0::/", "0::/user.slice/app.slice/app-.scope", "0::/app-x.scope",
                           "0::/session-2.scope", "0::/app-gnome-x-1.slice", "garbage", ""}) {
    EXPECT_EQ(idsInCgroup(none), Ids{}) << none;
  }
}

TEST(ProcessNamesTest, AnEntryStartsTheCommandItsExecNames) {
  DesktopEntry entry;
  entry.exec = "env LANG=C /opt/vault/vault --safe %U";
  EXPECT_TRUE(entry.startsCommand({"/opt/vault/vault", "--safe"}, ""));
  EXPECT_TRUE(entry.startsCommand({"/opt/vault/vault", "a.txt", "--safe", "b.txt"}, ""));
  // Another file of the same name is another program.
  EXPECT_FALSE(entry.startsCommand({"/opt/other/vault", "--safe"}, "/opt/other/vault"));
  // The executable link names it when the command line was rewritten.
  EXPECT_TRUE(entry.startsCommand({"vault: main", "--safe"}, "/opt/vault/vault"));
  EXPECT_FALSE(entry.startsCommand({"/opt/vault/vault"}, ""));
  EXPECT_FALSE(entry.startsCommand({"/usr/bin/env", "--safe"}, ""));
  EXPECT_FALSE(entry.startsCommand({}, "/opt/vault/vault"));
  entry.exec = "python3 /opt/notes/notes.py";
  EXPECT_TRUE(entry.startsCommand({"/usr/bin/python3", "/opt/notes/notes.py"}, ""));
  EXPECT_FALSE(entry.startsCommand({"/usr/bin/python3", "/opt/other.py"}, ""));
}

// A "#!" script runs as its interpreter with the script as the first argument past its options.
TEST(ProcessNamesTest, AnEntryNamingAScriptStartsTheInterpreterRunningIt) {
  DesktopEntry entry;
  entry.exec = "/opt/vault/vault.py --safe %U";
  auto starts = [&](const std::vector<std::string>& commandLine, const char* folder = "/home") {
    const auto script = interpretedScript(commandLine, "/usr/bin/python3.11", folder);
    return entry.startsCommand(commandLine, "/usr/bin/python3.11", script);
  };
  EXPECT_TRUE(starts({"/usr/bin/python3", "/opt/vault/vault.py", "--safe"}));
  EXPECT_TRUE(starts({"python3", "-u", "-B", "./vault.py", "a.txt", "--safe"}, "/opt/vault"));
  EXPECT_TRUE(starts({"python3", "../vault/vault.py", "--safe"}, "/opt/notes"));
  // Its arguments are the script's: the interpreter's options do not stand for them.
  EXPECT_FALSE(starts({"/usr/bin/python3", "--safe", "/opt/vault/vault.py"}));
  EXPECT_FALSE(starts({"/usr/bin/python3", "/opt/other/vault.py", "--safe"}));
  EXPECT_FALSE(starts({"/usr/bin/python3", "-c", "/opt/vault/vault.py", "--safe"}));
  EXPECT_FALSE(starts({"/usr/bin/python3", "-m", "/opt/vault/vault.py", "--safe"}));
  // Only an interpreter or a shell runs a script it is given.
  EXPECT_FALSE(interpretedScript({"/usr/bin/vim", "/opt/vault/vault.py"}, "/usr/bin/vim", "/"));
  EXPECT_EQ(interpretedScript({"/bin/sh", "-e", "/usr/bin/tool"}, "/usr/bin/dash", "/"),
            (InterpretedScript{"/usr/bin/tool", 2}));
}

// What an entry says about the applications its program draws.
TEST(ProcessNamesTest, AnEntryTellsARunnerAndTheModulesOfItsProgram) {
  auto entry = [](const std::string& exec) {
    DesktopEntry made;
    made.exec = exec;
    return made;
  };
  for (const char* runner : {"/usr/bin/python3.11", "sh %f", "env A=1 perl -w", "dex %f"}) {
    EXPECT_TRUE(entry(runner).startsOnlyARunner()) << runner;
  }
  for (const char* application : {"python3 /opt/notes.py", "/usr/bin/vault %U", "sh -c 'x'", ""}) {
    EXPECT_FALSE(entry(application).startsOnlyARunner()) << application;
  }
  EXPECT_TRUE(entry("office --writer %U").sharesProgramWith(entry("office --calc %U")));
  EXPECT_FALSE(entry("office --writer %U").sharesProgramWith(entry("office --writer %U")));
  EXPECT_FALSE(entry("/opt/a/office --writer").sharesProgramWith(entry("office --calc")));
  EXPECT_FALSE(entry("python3 /opt/a.py").sharesProgramWith(entry("python3 /opt/b.py")));
  EXPECT_FALSE(entry("flatpak run org.a.A").sharesProgramWith(entry("flatpak run org.b.B")));
  EXPECT_TRUE(entry("office --writer %U").fixesArguments());
  EXPECT_FALSE(entry("office %U").fixesArguments());
}

TEST(ProcessNamesTest, NamesCloseToAnotherDifferOnlyInCaseSeparatorsAndVendor) {
  EXPECT_TRUE(namesAreClose("vault", "org.example.Vault"));
  EXPECT_TRUE(namesAreClose("VAULT", "org.example.Vault"));
  EXPECT_TRUE(namesAreClose("com.other.va_ult", "Vault"));
  EXPECT_TRUE(namesAreClose("KeePassXC", "org.keepassxc.KeePassXC"));
  // A name that merely begins alike is another application's.
  for (const char* other : {"VAULT-helper", "org.example.vault_cli", "Vaults", "Vau", "org"}) {
    EXPECT_FALSE(namesAreClose(other, "org.example.Vault")) << other;
  }
  for (const char* other : {"KeePassX", "KeePass", "Keep"}) {
    EXPECT_FALSE(namesAreClose(other, "org.keepassxc.KeePassXC")) << other;
  }
  EXPECT_FALSE(namesAreClose("firefox", "firefox-esr"));
  EXPECT_FALSE(namesAreClose("term", "org.gnome.Terminal"));
  EXPECT_FALSE(namesAreClose("Notes", "org.example.Vault"));
  EXPECT_FALSE(namesAreClose("", "org.example.Vault"));
}

// A /proc tree of the test's own: each process a stat line (its parent and start time) and,
// when asked, an environment naming the entry it was launched from.
class ProcTree {
 public:
  void add(std::int32_t id, std::int32_t parent, std::uint64_t startTime,
           const std::string& launchedFrom = "") const {
    const auto folder = root_.path() / std::to_string(id);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "stat")
        << id << " (a (b) c) S " << parent << " 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 "
        << startTime << " 0 0\n";
    if (launchedFrom.empty()) return;
    std::ofstream(folder / "environ", std::ios::binary)
        << "GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/" << launchedFrom << ".desktop"
        << '\0' << "GIO_LAUNCHED_DESKTOP_FILE_PID=" << id << '\0';
  }
  void remove(std::int32_t id) const {
    std::filesystem::remove_all(root_.path() / std::to_string(id));
  }
  const std::filesystem::path& path() const { return root_.path(); }

 private:
  corvane::testing::TemporaryFolder root_{"corvane-proc"};
};

std::vector<std::int32_t> idsOf(const std::vector<ProcessAncestor>& ancestors) {
  std::vector<std::int32_t> ids;
  for (const auto& ancestor : ancestors) ids.push_back(ancestor.processID);
  return ids;
}

TEST(ProcessNamesTest, AncestryFollowsTheLineAsFirstReadButNeverALaterProcessGivenAnId) {
  ProcTree proc;
  proc.add(10, 1, 300, "org.example.Vault");
  proc.add(50, 10, 400);
  proc.add(100, 50, 500);
  ProcessAncestry ancestry(proc.path());
  const ProcessParentage child{50, 500};
  const auto line = ancestry.of(child);
  EXPECT_EQ(idsOf(line), (std::vector<std::int32_t>{50, 10}));
  EXPECT_EQ(line.back().ids, std::vector<std::string>{"org.example.Vault"});

  // The vault ended: the helper still descends from it.
  proc.remove(10);
  EXPECT_EQ(idsOf(ancestry.of(child)), (std::vector<std::int32_t>{50, 10}));
  // The parent's id given to a process started after the child: no line.
  proc.add(50, 1, 600);
  EXPECT_TRUE(ancestry.of(child).empty());
  // Read afresh: a grandparent id now held by a process started after the parent ends the line.
  proc.add(50, 10, 400);
  proc.add(10, 1, 450);
  EXPECT_EQ(idsOf(ProcessAncestry(proc.path()).of(child)), (std::vector<std::int32_t>{50}));
  // A line that loops (ids reused all along) ends.
  proc.add(200, 201, 100);
  proc.add(201, 200, 100);
  EXPECT_LE(ancestry.of({200, 100}).size(), 64u);
}

TEST(ProcessNamesTest, AnEntryThatLeftGoesOnClaimingWhatItClaimed) {
  corvane::testing::TemporaryFolder folder{"corvane-entries"};
  const std::vector<std::filesystem::path> directories{folder.path()};
  auto write = [&](const std::string& id, const std::string& startupClass,
                   const std::string& exec) {
    std::ofstream(folder.path() / (id + ".desktop"), std::ios::binary)
        << "[Desktop Entry]\nType=Application\nName=" << id << "\nStartupWMClass=" << startupClass
        << "\nExec=" << exec << "\n";
  };
  using Ids = std::vector<std::string>;
  DesktopEntryReader reader;
  write("org.example.Vault", "VaultWin", "/opt/vault/vault %U");
  write("org.example.Notes", "NotesWin", "notes");
  write("org.example.Tool", "ToolWin", "tool");
  EXPECT_FALSE(reader.index(listDesktopEntryFiles(directories), directories)->former());
  // Written again as it was: nothing left.
  write("org.example.Tool", "ToolWin", "tool");
  EXPECT_FALSE(reader.index(listDesktopEntryFiles(directories), directories)->former());
  // An update removes one entry, renames another and gives the third another class.
  std::filesystem::remove(folder.path() / "org.example.Vault.desktop");
  std::filesystem::rename(folder.path() / "org.example.Notes.desktop",
                          folder.path() / "com.example.NotesApp.desktop");
  write("org.example.Tool", "ToolWindow", "tool");
  const auto index = reader.index(listDesktopEntryFiles(directories), directories);
  ASSERT_TRUE(index->former());
  const auto& left = *index->former();
  EXPECT_EQ(left.idsClaimingWindowClass("VAULTWIN"), Ids{"org.example.Vault"});
  EXPECT_EQ(left.idsStartingCommand({"/opt/vault/vault", "a.txt"}, ""), Ids{"org.example.Vault"});
  EXPECT_EQ(left.idsClaimingWindowClass("NotesWin"), Ids{"org.example.Notes"});
  EXPECT_EQ(left.idsClaimingWindowClass("ToolWin"), Ids{"org.example.Tool"});
  EXPECT_TRUE(left.idsClaimingWindowClass("Other").empty());
  EXPECT_FALSE(left.indexed("com.example.NotesApp"));
  EXPECT_TRUE(index->byId("com.example.NotesApp"));
}

}  // namespace
}  // namespace corvane::platform
