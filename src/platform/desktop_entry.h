#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/program_runners.h"
#include "runtime/result.h"

namespace corvane::platform {

// The part of a freedesktop.org desktop entry that identifies an application: what the
// excluded-apps catalogue imports and what window identity matches windows against.
struct DesktopEntry {
  std::string id;                   // the file name without ".desktop"
  std::string name;                 // the untranslated Name=
  std::string type;                 // Type=
  std::optional<std::string> icon;  // Icon=: a theme icon name or an absolute file path
  std::string startupWMClass;       // the window class its windows carry, when it says
  std::string exec;                 // Exec=, as written (field codes included)
  std::filesystem::path path;       // the file it was read from; empty for parsed text
  bool hidden = false;              // Hidden=true: the entry was deleted by the user
  bool noDisplay = false;           // NoDisplay=true: kept out of menus (a helper, a runner)

  bool isApplication() const { return type == "Application" && !hidden; }
  // The words of Exec=, quoting removed (field codes left as they are).
  std::vector<std::string> execWords() const;
  // Where the program stands among the words of Exec=: past an "env NAME=value …" prefix;
  // words.size() when there is none.
  static std::size_t programIndex(const std::vector<std::string>& words);
  // The program Exec= starts: its first word; empty when there is none.
  std::string execProgram() const;
  // Whether a process with `commandLine` (and, when known, `executable` and the `script` its
  // interpreter runs) runs what Exec= starts: the same program (past an "env NAME=value" prefix;
  // the same path when Exec= gives one, else the same file name), given every argument that Exec=
  // fixes, in order. A script the process's interpreter runs counts as its program, so an Exec=
  // naming a "#!" script matches the interpreter the kernel started for it.
  bool startsCommand(const std::vector<std::string>& commandLine,
                     const std::filesystem::path& executable,
                     const std::optional<InterpretedScript>& script = std::nullopt) const;
  // Whether Exec= gives its program an argument of its own (a field code is none): what singles
  // out one application among those its program draws ("office --writer").
  bool fixesArguments() const;
  // Whether Exec= starts nothing of its own: an interpreter, a shell or a launcher
  // given no argument that says what it runs ("/usr/bin/python3.11", "sh %f").
  bool startsOnlyARunner() const;
  // Whether `other` starts the same program, with other arguments (the modules of an office
  // suite: "office --writer", "office --calc"); never so for a runner.
  bool sharesProgramWith(const DesktopEntry& other) const;
};

// Parses the [Desktop Entry] group of `text` for the entry in the file `fileName`. Fails (with a
// sentence) on a name that does not end in ".desktop", text that is not UTF-8, a missing
// group, and a missing Name= or Type=.
runtime::Result<DesktopEntry> parseDesktopEntry(std::string_view text, const std::string& fileName);

// The desktop-file id of an entry file: its path below the first of `applicationDirectories`
// that holds it, with "/" turned into "-" ("applications/kde/org.kde.App.desktop" gives
// "kde-org.kde.App"); for a file elsewhere, its file name. Without the ".desktop" extension.
std::string desktopEntryId(const std::filesystem::path& path,
                           const std::vector<std::filesystem::path>& applicationDirectories);

// Reads and parses a desktop entry file; of a file over 1 MiB, the whole lines within its first
// MiB. Its id follows desktopEntryId.
runtime::Result<DesktopEntry> loadDesktopEntry(
    const std::filesystem::path& path,
    const std::vector<std::filesystem::path>& applicationDirectories = {});

}  // namespace corvane::platform
