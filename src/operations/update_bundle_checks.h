#pragma once

#include <filesystem>

#include "runtime/result.h"

namespace corvane::operations {

// The first install folder in an unpacked update, breadth first and by name: a folder holding
// "Info.plist" and the program "bin/corvane".
runtime::Result<std::filesystem::path> findStagedApplication(const std::filesystem::path& staging);

// Whether `candidate` may replace `current`: the same application id, a build that is a run of
// decimal digits and not lower than the running one (when that one is numeric), links that stay
// inside it and an executable program. The error says which check failed.
runtime::Status checkReplacement(const std::filesystem::path& current,
                                 const std::filesystem::path& candidate);

// Whether every symbolic link in the install folder, followed through the links around it, leads
// to a place inside that folder (the copy installed from it must never reach outside itself).
runtime::Status checkLinksStayInside(const std::filesystem::path& install);

// A non-empty run of decimal digits.
bool isDecimalBuild(const std::string& build);

}  // namespace corvane::operations
