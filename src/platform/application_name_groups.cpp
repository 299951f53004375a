#include "platform/application_name_groups.h"

#include <algorithm>
#include <cctype>

namespace corvane::platform {
namespace {

bool sharesOne(const std::set<std::string>& names, const std::set<std::string>& among) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& name) { return among.count(name) != 0; });
}

}  // namespace

ApplicationNameGroups::Names ApplicationNameGroups::join(
    const std::vector<std::string>& ids, const std::vector<std::string>& windowClassNames) {
  Names seen;
  for (const auto& id : ids) {
    if (!id.empty()) seen.ids.insert(id);
  }
  for (auto name : windowClassNames) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!name.empty()) seen.windowClassNames.insert(std::move(name));
  }
  if (seen.ids.empty() && seen.windowClassNames.empty()) return seen;
  std::lock_guard lock(mutex_);
  for (auto group = groups_.begin(); group != groups_.end();) {
    if (!sharesOne(seen.ids, group->ids) &&
        !sharesOne(seen.windowClassNames, group->windowClassNames)) {
      ++group;
      continue;
    }
    seen.ids.merge(group->ids);
    seen.windowClassNames.merge(group->windowClassNames);
    group = groups_.erase(group);
  }
  groups_.push_back(seen);
  return seen;
}

}  // namespace corvane::platform
