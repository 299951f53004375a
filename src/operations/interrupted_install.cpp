#include "operations/interrupted_install.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

namespace corvane::operations {
namespace {

namespace fs = std::filesystem;

// Siblings named "<name><marker><digits>", oldest stamp first.
std::vector<fs::path> leftovers(const fs::path& currentApp, const std::string& marker) {
  const std::string prefix = currentApp.filename().string() + marker;
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator it(currentApp.parent_path(), error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const bool stamped = std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                                     [](char c) { return c >= '0' && c <= '9'; });
    if (stamped && !it->is_symlink(error)) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
    const std::string x = a.filename().string(), y = b.filename().string();
    return x.size() != y.size() ? x.size() < y.size() : x < y;
  });
  return found;
}

}  // namespace

runtime::Result<int> reconcileInterruptedInstall(const fs::path& currentApp) {
  std::vector<fs::path> backups = leftovers(currentApp, ".previous-");
  const std::vector<fs::path> copies = leftovers(currentApp, ".incoming-");
  int reconciled = 0;
  std::error_code error;
  if (!fs::exists(fs::symlink_status(currentApp, error)) && !backups.empty()) {
    fs::rename(backups.back(), currentApp, error);
    if (error) {
      return runtime::Result<int>::failure("Could not move the previous Corvane back from " +
                                           backups.back().string() + ": " + error.message());
    }
    backups.pop_back();
    ++reconciled;
  }
  for (const auto& path : backups) {
    if (fs::remove_all(path, error) > 0) ++reconciled;
  }
  for (const auto& path : copies) {
    if (fs::remove_all(path, error) > 0) ++reconciled;
  }
  if (error) {
    return runtime::Result<int>::failure("Could not remove an interrupted update: " +
                                         error.message());
  }
  return reconciled;
}

}  // namespace corvane::operations
