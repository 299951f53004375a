#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace corvane::platform {

// Where a program named as on a command line lives: a name with a "/" is taken as a path (made
// absolute against the current folder); a bare name is looked up in the folders of `searchPath`
// (a $PATH value), the first executable regular file winning. Absent when nothing is found.
std::optional<std::filesystem::path> findProgram(const std::string& program,
                                                 const std::string& searchPath);

// $PATH, or the usual system folders when it is unset.
std::string programSearchPath();

}  // namespace corvane::platform
