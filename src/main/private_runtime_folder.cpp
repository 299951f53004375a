#include "main/private_runtime_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace corvane::wiring {

runtime::Status checkPrivateFolder(const std::filesystem::path& folder) {
  using Verdict = platform::FolderOwnership::Verdict;
  const std::string name = "The runtime folder " + folder.string();
  const auto ownership = platform::folderOwnership(folder, S_IRWXG | S_IRWXO);
  switch (ownership.verdict) {
    case Verdict::ours:
      return runtime::Status::success();
    case Verdict::unreadable:
      return runtime::Error{name + " cannot be read: " + std::strerror(ownership.error) + "."};
    case Verdict::notAFolder:
      return runtime::Error{name + " is not a folder."};
    case Verdict::anotherUsers:
      return runtime::Error{name + " belongs to another user."};
    case Verdict::openToOthers:
      return runtime::Error{name + " is open to other users."};
  }
  return runtime::Error{name + " cannot be checked."};
}

runtime::Result<std::filesystem::path> privateRuntimeFolder(const char* xdgRuntimeDir) {
  std::filesystem::path folder;
  if (xdgRuntimeDir != nullptr && xdgRuntimeDir[0] == '/') {
    folder = xdgRuntimeDir;
  } else {
    folder = "/tmp/corvane-" + std::to_string(geteuid());
    // An existing one is checked below like any other.
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return runtime::Error{"The runtime folder " + folder.string() +
                            " cannot be made: " + std::strerror(errno) + "."};
    }
  }
  if (auto checked = checkPrivateFolder(folder); !checked) return checked.error();
  return folder;
}

std::string canonicalFolderKey(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(folder, error);
  if (error) path = folder;
  auto resolved = std::filesystem::weakly_canonical(path, error);
  std::string key = (error ? path : resolved).lexically_normal().string();
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

}  // namespace corvane::wiring
