#include "platform/program_path.h"

#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace corvane::platform {
namespace {

bool isExecutableFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::filesystem::path> findProgram(const std::string& program,
                                                 const std::string& searchPath) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    std::error_code error;
    auto path = std::filesystem::absolute(program, error);
    if (error || !isExecutableFile(path)) return std::nullopt;
    return path;
  }
  std::string_view rest(searchPath);
  while (true) {
    const auto colon = rest.find(':');
    const auto folder = rest.substr(0, colon);
    if (!folder.empty()) {
      const auto candidate = std::filesystem::path(std::string(folder)) / program;
      if (isExecutableFile(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

std::string programSearchPath() {
  const char* path = std::getenv("PATH");
  return path != nullptr ? std::string(path) : std::string("/usr/local/bin:/usr/bin:/bin");
}

}  // namespace corvane::platform
