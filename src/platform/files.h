#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "runtime/result.h"

namespace corvane::platform {

// Where things live, from the XDG environment (with the usual fall-backs under $HOME).
struct WellKnownFolders {
  std::filesystem::path home;
  std::filesystem::path configHome;  // $XDG_CONFIG_HOME
  std::filesystem::path dataHome;    // $XDG_DATA_HOME: the application-support folder
  std::filesystem::path cacheHome;   // $XDG_CACHE_HOME
  std::filesystem::path temporary;   // $TMPDIR or /tmp
  std::filesystem::path runtime;     // $XDG_RUNTIME_DIR; empty when not set
  std::vector<std::filesystem::path>
      applicationDirectories;  // XDG_DATA_DIRS/applications, user's first

  static WellKnownFolders fromEnvironment();
  // $XDG_DATA_HOME/Corvane
  std::filesystem::path corvaneData() const { return dataHome / "Corvane"; }
  // Short-lived files only this user may see or replace: the user's runtime folder, else
  // Corvane's folder in the cache; never the machine's shared temporary folder.
  std::filesystem::path privateTemporary() const {
    return runtime.empty() ? cacheHome / "corvane" : runtime;
  }
};

// Creates the folder and its parents with mode 0700 for the ones it makes.
runtime::Status createPrivateDirectories(const std::filesystem::path& path);

// Writes through a temporary file in the same folder (".<name>.tmp-XXXXXX") and renames it into
// place, mode 0600 unless another is given. A process killed meanwhile leaves the temporary.
runtime::Status writeFileAtomically(const std::filesystem::path& path, const std::string& contents,
                                    unsigned mode = 0600);
// The name of the file that `name`, a temporary writeFileAtomically made, was to replace; nothing
// for any other name.
std::optional<std::string> atomicWriteTarget(const std::string& name);

// Whether a folder can be trusted as this user's own: a real folder (a link is not followed)
// owned by the effective user, with none of `forbiddenModeBits` (group and other permission
// bits) set.
struct FolderOwnership {
  enum class Verdict { ours, unreadable, notAFolder, anotherUsers, openToOthers };
  Verdict verdict = Verdict::ours;
  int error = 0;  // errno, for unreadable
};
FolderOwnership folderOwnership(const std::filesystem::path& folder, unsigned forbiddenModeBits);

// Reads the first maxBytes of a file (all of a smaller one).
runtime::Result<std::string> readFileStart(const std::filesystem::path& path,
                                           std::uintmax_t maxBytes);
// Reads a whole file; refuses files larger than maxBytes.
runtime::Result<std::string> readFile(const std::filesystem::path& path,
                                      std::uintmax_t maxBytes = 64 * 1024 * 1024);

}  // namespace corvane::platform
