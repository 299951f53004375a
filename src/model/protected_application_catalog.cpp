#include "model/protected_application_catalog.h"

#include <algorithm>
#include <unordered_set>

#include "platform/desktop_entry.h"
#include "platform/text_cleaning.h"

namespace corvane::model {

using platform::loadDesktopEntry;
using platform::singleLineText;
using platform::trimmedText;
namespace {

void addRejection(std::vector<ProtectedAppImportRejection>& rejections,
                  ProtectedAppImportRejection rejection) {
  if (std::find(rejections.begin(), rejections.end(), rejection) == rejections.end()) {
    rejections.push_back(std::move(rejection));
  }
}

std::string displayNameOfFile(const std::filesystem::path& path) {
  std::string name = path.filename().string();
  if (name.ends_with(".desktop")) name.resize(name.size() - std::string_view(".desktop").size());
  name = singleLineText(name);
  return name.empty() ? path.string() : name;
}

}  // namespace

ProtectedAppImportResult ProtectedApplicationCatalog::importApplications(
    const std::vector<std::filesystem::path>& urls, const std::vector<ProtectedApp>& current,
    const std::set<std::string>& excludedIdentifiers,
    const std::vector<std::filesystem::path>& applicationDirectories) {
  ProtectedAppImportResult result;
  result.apps = current;
  for (const auto& url : urls) {
    auto entry = loadDesktopEntry(url, applicationDirectories);
    if (!entry || !entry->isApplication() || trimmedText(entry->id).empty()) {
      addRejection(result.rejections,
                   {entry ? entry->name : displayNameOfFile(url),
                    ProtectedAppImportRejection::Reason::invalidApplicationBundle});
      continue;
    }
    const std::string id = trimmedText(entry->id);
    if (excludedIdentifiers.contains(id)) {
      addRejection(result.rejections,
                   {entry->name, ProtectedAppImportRejection::Reason::selfApplication});
      continue;
    }
    auto existing = std::find_if(result.apps.begin(), result.apps.end(),
                                 [&](const ProtectedApp& app) { return app.id == id; });
    if (existing != result.apps.end()) {
      existing->name = entry->name;
      if (!existing->isEnabled) ++result.reenabledCount;
      existing->isEnabled = true;
      continue;
    }
    if (result.apps.size() >= maximumCount) {
      ++result.droppedForLimitCount;
      continue;
    }
    result.apps.push_back(ProtectedApp{id, entry->name, importedAppSymbol, true});
    ++result.addedCount;
  }
  return result;
}

std::vector<ProtectedApp> ProtectedApplicationCatalog::normalized(
    const std::vector<ProtectedApp>& apps) {
  std::vector<ProtectedApp> cleaned;
  std::unordered_set<std::string> seen;
  for (const auto& app : apps) {
    ProtectedApp entry = app;
    entry.id = trimmedText(app.id);
    if (entry.id.empty() || !seen.insert(entry.id).second) continue;
    entry.name = singleLineText(app.name);
    if (entry.name.empty()) entry.name = entry.id;
    entry.systemImage = singleLineText(app.systemImage);
    if (entry.systemImage.empty()) entry.systemImage = importedAppSymbol;
    cleaned.push_back(std::move(entry));
  }
  return cleaned;
}

}  // namespace corvane::model
