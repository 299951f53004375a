#pragma once

#include <filesystem>
#include <string>

#include "runtime/result.h"

namespace corvane::wiring {

// Where this user's sockets and locks live: $XDG_RUNTIME_DIR when it is set, else
// /tmp/corvane-<uid> (made when missing). Either must be a folder this user owns that no one else
// may enter or list; any other is refused with its sentence, since a file placed there by another
// user could impersonate the running copy.
runtime::Result<std::filesystem::path> privateRuntimeFolder(const char* xdgRuntimeDir);

// The folder as its own: a folder (not a link to one) owned by the effective user, with no
// permission for the group or others.
runtime::Status checkPrivateFolder(const std::filesystem::path& folder);

// One spelling per folder: ".../config", ".../config/" and ".../home/../config" give the same
// text (links in the existing part of the path are resolved too).
std::string canonicalFolderKey(const std::filesystem::path& folder);

}  // namespace corvane::wiring
