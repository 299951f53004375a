#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// Whether a program of this file name runs what it is given rather than being an application of
// its own: an interpreter ("python3.11", "perl", "wish8.6"), a shell or a launcher ("env", "dex",
// "xdg-open").
bool isProgramRunner(std::string_view fileName);

// Whether a program of this file name runs a script file it is given: an interpreter or a shell.
bool isScriptInterpreter(std::string_view fileName);

// The script a process runs through its interpreter: the interpreter's first argument past its
// options, as the kernel passes a "#!" script ("/usr/bin/python3 /usr/bin/vault.py"), made
// absolute against the process's working directory.
struct InterpretedScript {
  std::filesystem::path path;
  std::size_t argument = 0;  // where it stands on the command line
  bool operator==(const InterpretedScript&) const = default;
};

// The script `commandLine` runs when its program (the first word, or `executable`) is an
// interpreter or a shell; none when it runs none (code given with -c, a module with -m).
std::optional<InterpretedScript> interpretedScript(const std::vector<std::string>& commandLine,
                                                   const std::filesystem::path& executable,
                                                   const std::filesystem::path& workingDirectory);

}  // namespace corvane::platform
