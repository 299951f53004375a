// How a process is named when its environment cannot be read: by the unit its launcher put it
// in, by the entry whose Exec= it runs, and loosely by what it is called.
#include <gtest/gtest.h>

#include "platform/application_ids.h"
#include "platform/desktop_entry.h"
#include "platform/launch_units.h"

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

TEST(ProcessNamesTest, NamesCloseToAnotherIgnoreCaseSeparatorsAndVendor) {
  EXPECT_TRUE(namesAreClose("vault", "org.example.Vault"));
  EXPECT_TRUE(namesAreClose("VAULT-helper", "org.example.Vault"));
  EXPECT_TRUE(namesAreClose("org.example.vault_cli", "Vault"));
  EXPECT_TRUE(namesAreClose("KeyringAgent", "org.example.Keyring"));
  EXPECT_FALSE(namesAreClose("Notes", "org.example.Vault"));
  EXPECT_FALSE(namesAreClose("org", "org.example.Vault"));  // too short to tell
  EXPECT_FALSE(namesAreClose("", "org.example.Vault"));
}

}  // namespace
}  // namespace corvane::platform
