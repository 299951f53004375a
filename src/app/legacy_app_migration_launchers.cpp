#include "app/legacy_app_migration_launchers.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace corvane::app {
namespace {

constexpr std::array<std::string_view, 52> kLaunchers = {
    "sh",        "bash",         "dash",
    "zsh",       "ksh",          "mksh",
    "fish",      "csh",          "tcsh",
    "busybox",   "env",          "python",
    "pypy",      "perl",         "ruby",
    "node",      "nodejs",       "java",
    "javaw",     "mono",         "dotnet",
    "gjs",       "lua",          "luajit",
    "php",       "tclsh",        "wish",
    "wine",      "flatpak",      "snap",
    "xdg-open",  "gtk-launch",   "gio",
    "kioclient", "exo-open",     "sudo",
    "pkexec",    "doas",         "nice",
    "ionice",    "nohup",        "setsid",
    "stdbuf",    "timeout",      "firejail",
    "bwrap",     "systemd-run",  "dbus-launch",
    "electron",  "appimage-run", "dbus-run-session",
    "qemu",
};

}  // namespace

bool isLauncherProgram(const std::filesystem::path& program) {
  std::string name = program.filename().string();
  // python3.11, lua5.4, wine64, kioclient5
  while (!name.empty() && ((name.back() >= '0' && name.back() <= '9') || name.back() == '.')) {
    name.pop_back();
  }
  return !name.empty() && std::find(kLaunchers.begin(), kLaunchers.end(), name) != kLaunchers.end();
}

std::optional<std::string> flatpakApplicationOf(const std::vector<std::string>& execWords) {
  if (execWords.empty()) return std::nullopt;
  if (std::filesystem::path(execWords.front()).filename() != "flatpak") return std::nullopt;
  const auto run = std::find(execWords.begin() + 1, execWords.end(), "run");
  if (run == execWords.end()) return std::nullopt;
  // The first word after `run` that is not an option.
  for (auto word = run + 1; word != execWords.end(); ++word) {
    if (word->empty() || word->front() == '-') continue;
    return *word;
  }
  return std::nullopt;
}

}  // namespace corvane::app
