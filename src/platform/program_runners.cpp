#include "platform/program_runners.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace corvane::platform {
namespace {

// Interpreters and shells, by the name their versioned file names begin with ("python3.11").
constexpr std::array<std::string_view, 17> kInterpreters{
    "python", "pypy", "perl", "ruby",  "tclsh",    "wish", "lua",  "luajit", "node",
    "nodejs", "gjs",  "php",  "guile", "electron", "java", "mono", "wine"};
constexpr std::array<std::string_view, 9> kShells{"sh",   "bash", "dash", "zsh", "ksh",
                                                  "mksh", "fish", "csh",  "tcsh"};
// Programs that start another program they are given.
constexpr std::array<std::string_view, 16> kLaunchers{
    "flatpak",  "snap",     "env",      "dex",       "gtk-launch", "gio",
    "xdg-open", "exo-open", "kde-open", "kde-open5", "kioclient",  "kioclient5",
    "nohup",    "setsid",   "sudo",     "pkexec"};
// Options after which an interpreter, or a shell, runs code or a module it is given, not a file.
constexpr std::array<std::string_view, 5> kCodeOptions{"-c", "-m", "-e", "-E", "--command"};
constexpr std::array<std::string_view, 2> kShellCodeOptions{"-c", "--command"};

// "python3.11" is "python" with a version: nothing but digits and dots past the name.
bool isVersionOf(std::string_view fileName, std::string_view program) {
  if (!fileName.starts_with(program)) return false;
  const auto version = fileName.substr(program.size());
  return std::all_of(version.begin(), version.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.';
  });
}

bool isAnyVersionOf(std::string_view fileName, const auto& programs) {
  return std::any_of(programs.begin(), programs.end(),
                     [&](std::string_view program) { return isVersionOf(fileName, program); });
}

bool isShell(std::string_view fileName) {
  return isAnyVersionOf(fileName, kShells);
}

}  // namespace

bool isScriptInterpreter(std::string_view fileName) {
  return isAnyVersionOf(fileName, kInterpreters) || isShell(fileName);
}

bool isProgramRunner(std::string_view fileName) {
  return isScriptInterpreter(fileName) ||
         std::find(kLaunchers.begin(), kLaunchers.end(), fileName) != kLaunchers.end();
}

std::optional<InterpretedScript> interpretedScript(const std::vector<std::string>& commandLine,
                                                   const std::filesystem::path& executable,
                                                   const std::filesystem::path& workingDirectory) {
  if (commandLine.empty()) return std::nullopt;
  std::string program = std::filesystem::path(commandLine.front()).filename().string();
  if (!isScriptInterpreter(program) && !executable.empty())
    program = executable.filename().string();
  if (!isScriptInterpreter(program)) return std::nullopt;
  const bool shell = isShell(program);
  for (std::size_t index = 1; index < commandLine.size(); ++index) {
    const std::string& word = commandLine[index];
    const bool runsCode =
        shell ? std::find(kShellCodeOptions.begin(), kShellCodeOptions.end(), word) !=
                    kShellCodeOptions.end()
              : std::find(kCodeOptions.begin(), kCodeOptions.end(), word) != kCodeOptions.end();
    if (runsCode) return std::nullopt;
    if (word == "--") continue;
    if (word.empty() || word.front() == '-') continue;
    std::filesystem::path script(word);
    if (script.is_relative()) {
      if (workingDirectory.empty()) return std::nullopt;
      script = workingDirectory / script;
    }
    return InterpretedScript{script.lexically_normal(), index};
  }
  return std::nullopt;
}

}  // namespace corvane::platform
