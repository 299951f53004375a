#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvane::app {

// A program that starts other programs: a shell, an interpreter or virtual machine (python3,
// java), or a wrapper (env, flatpak, sudo). Its running processes say nothing about which program
// they run. Judged by file name, a version suffix ignored ("python3.11" is "python").
bool isLauncherProgram(const std::filesystem::path& program);

// The application id a `flatpak run` command line starts ("flatpak run --branch=stable
// com.example.App %U" gives "com.example.App"); nothing for any other command.
std::optional<std::string> flatpakApplicationOf(const std::vector<std::string>& execWords);

}  // namespace corvane::app
