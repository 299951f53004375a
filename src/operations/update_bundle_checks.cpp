#include "operations/update_bundle_checks.h"

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <system_error>
#include <vector>

#include "operations/numeric_version.h"
#include "platform/property_list.h"

namespace corvane::operations {
namespace {

namespace fs = std::filesystem;
using runtime::Status;

bool isApplicationFolder(const fs::path& folder) {
  std::error_code error;
  return fs::is_regular_file(folder / "Info.plist", error) &&
         fs::is_regular_file(folder / "bin" / "corvane", error);
}

std::vector<fs::path> sortedSubfolders(const fs::path& folder) {
  std::vector<fs::path> folders;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    // Links are not followed: the search stays inside the unpacked tree.
    if (it->is_directory(error) && !it->is_symlink(error)) folders.push_back(it->path());
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

// Whether `path` lies in `root` (both without links or "..").
bool isWithin(const fs::path& path, const fs::path& root) {
  auto rootPart = root.begin();
  auto part = path.begin();
  for (; rootPart != root.end(); ++rootPart, ++part) {
    if (part == path.end() || *part != *rootPart) return false;
  }
  return true;
}

}  // namespace

Status checkLinksStayInside(const fs::path& install) {
  std::error_code error;
  const fs::path root = fs::canonical(install, error);
  if (error) return Status::failure("Update folder is unreadable: " + error.message());
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_symlink(error)) continue;
    const fs::path target = fs::read_symlink(it->path(), error);
    // Followed as far as it exists, then read as written: where the link would lead once copied.
    const fs::path resolved = target.is_absolute()
                                  ? target
                                  : fs::weakly_canonical(it->path().parent_path() / target, error);
    if (error || target.is_absolute() || !isWithin(resolved.lexically_normal(), root)) {
      return Status::failure("Update holds a link leading outside it: " +
                             it->path().lexically_relative(root).string());
    }
  }
  if (error) return Status::failure("Update folder is unreadable: " + error.message());
  return Status::success();
}

bool isDecimalBuild(const std::string& build) {
  return !build.empty() &&
         std::all_of(build.begin(), build.end(), [](char c) { return c >= '0' && c <= '9'; });
}

runtime::Result<fs::path> findStagedApplication(const fs::path& staging) {
  std::deque<fs::path> pending(1, staging);
  while (!pending.empty()) {
    const fs::path folder = pending.front();
    pending.pop_front();
    if (folder != staging && isApplicationFolder(folder)) return folder;
    for (auto& child : sortedSubfolders(folder)) pending.push_back(std::move(child));
  }
  return runtime::Result<fs::path>::failure("Verified archive did not contain Corvane.");
}

Status checkReplacement(const fs::path& current, const fs::path& candidate) {
  auto running = platform::loadBundle(current);
  const std::string runningID =
      running ? running->bundleIdentifier().value_or(std::string()) : std::string();
  if (runningID.empty()) return Status::failure("Current app bundle id is unavailable.");

  auto update = platform::loadBundle(candidate);
  if (!update) return Status::failure("Update Info.plist is unreadable: " + update.message());
  const std::string updateID = update->bundleIdentifier().value_or(std::string());
  if (updateID != runningID) return Status::failure("Update bundle id mismatch: " + updateID);

  const std::string updateBuild = update->string("CFBundleVersion").value_or(std::string());
  const std::string runningBuild = running->string("CFBundleVersion").value_or("0");
  if (!isDecimalBuild(updateBuild)) {
    return Status::failure("Update build is not numeric: " + updateBuild);
  }
  if (isDecimalBuild(runningBuild) && compareVersionsNumerically(updateBuild, runningBuild) < 0) {
    return Status::failure("Refusing to install downgrade from " + runningBuild + " to " +
                           updateBuild);
  }
  if (auto links = checkLinksStayInside(candidate); !links) return links;
  const fs::path program = candidate / "bin" / "corvane";
  if (::access(program.c_str(), X_OK) != 0) {
    return Status::failure("Update has no runnable Corvane program.");
  }
  return Status::success();
}

}  // namespace corvane::operations
