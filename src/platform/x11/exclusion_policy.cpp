#include "platform/x11/exclusion_policy.h"

#include <algorithm>
#include <unordered_map>

#include "platform/application_ids.h"

namespace corvane::platform::x11 {
namespace {

// Ids are compared exactly, classes without regard to case.
bool excludesAnyName(const ContentFilter& filter, const std::vector<std::string>& ids,
                     const std::vector<std::string>& windowClassNames) {
  if (std::any_of(ids.begin(), ids.end(), [&](const std::string& id) {
        return !id.empty() && filter.excludesApplication(id, 0);
      })) {
    return true;
  }
  return std::any_of(
      filter.excludedApplications.begin(), filter.excludedApplications.end(), [&](const auto& app) {
        return std::any_of(windowClassNames.begin(), windowClassNames.end(), [&](const auto& name) {
          return namesApplicationOrHelper(name, app.bundleIdentifier, IdCase::ignored);
        });
      });
}

bool anyNameCloseToExcluded(const ContentFilter& filter, const ApplicationIdentity& identity) {
  std::vector<const std::string*> names{&identity.id};
  for (const auto* list :
       {&identity.otherIds, &identity.windowClassNames, &identity.programNames}) {
    for (const auto& name : *list) names.push_back(&name);
  }
  return std::any_of(filter.excludedApplications.begin(), filter.excludedApplications.end(),
                     [&](const auto& app) {
                       return std::any_of(names.begin(), names.end(), [&](const std::string* name) {
                         return namesAreClose(*name, app.bundleIdentifier);
                       });
                     });
}

}  // namespace

ExclusionPolicy::ExclusionPolicy(const ContentFilter& filter, std::int32_t ownProcess,
                                 XID windowManagerClient)
    : filter_(filter), ownProcess_(ownProcess), windowManagerClient_(windowManagerClient) {}

bool ExclusionPolicy::leavesOut(const ApplicationIdentity& identity) const {
  if (filter_.excludesApplication(identity.id, identity.processID, identity.windowClassNames) ||
      excludesAnyName(filter_, identity.otherIds, {})) {
    return true;
  }
  if (identity.namesIncomplete && anyNameCloseToExcluded(filter_, identity)) return true;
  for (const auto& ancestor : identity.ancestors) {
    if (ancestor.processID == ownProcess_) return false;
    const bool excludedProcess =
        std::any_of(filter_.excludedApplications.begin(), filter_.excludedApplications.end(),
                    [&](const auto& app) { return app.processID == ancestor.processID; });
    if (excludedProcess || excludesAnyName(filter_, ancestor.ids, {})) {
      return true;
    }
  }
  return false;
}

bool ExclusionPolicy::isDesktopSurface(const WindowToJudge& window,
                                       const std::set<XID>& dockClients) const {
  if (window.isDock || dockClients.count(window.clientOwner) != 0 ||
      dockClients.count(window.owner) != 0) {
    return true;
  }
  // The window manager's own windows, not a frame around an application's.
  return windowManagerClient_ != 0 && window.owner == windowManagerClient_ &&
         (window.client == window.id || window.clientOwner == windowManagerClient_);
}

std::set<Window> ExclusionPolicy::excludedWindows(const std::vector<WindowToJudge>& windows) const {
  // A window without a class of its own (a menu, a tooltip, a plug) belongs to whichever
  // application another window of the same X client names.
  std::unordered_map<XID, const ApplicationIdentity*> namedClients;
  for (const auto& window : windows) {
    if (window.hasClass && window.clientOwner != 0) {
      namedClients.emplace(window.clientOwner, window.identity);
    }
  }
  struct Judged {
    const ApplicationIdentity* identity;
    bool known;
  };
  auto judge = [&](const WindowToJudge& window) {
    if (window.hasClass) return Judged{window.identity, true};
    const XID owner = window.clientOwner;
    if (auto named = namedClients.find(owner); owner != 0 && named != namedClients.end()) {
      return Judged{named->second, true};
    }
    return Judged{window.identity, false};
  };

  // The X clients whose windows draw other windows' titles and icons: those that made a dock.
  std::set<XID> dockClients;
  for (const auto& window : windows) {
    if (!window.isDock) continue;
    for (XID owner : {window.clientOwner, window.owner}) {
      if (owner != 0 && owner != windowManagerClient_) dockClients.insert(owner);
    }
  }

  std::set<std::int32_t> excludedProcesses;
  if (ownProcess_ > 0) excludedProcesses.insert(ownProcess_);
  for (const auto& window : windows) {
    if (window.embedded) continue;
    const auto& identity = *window.identity;
    if (leavesOut(identity) && identity.processID > 0) excludedProcesses.insert(identity.processID);
  }
  // A process started by an excluded one (a helper with a class of its own) is excluded too;
  // what this application starts is not its own windows.
  auto descendsFromExcluded = [&](const ApplicationIdentity& identity) {
    for (const auto& ancestor : identity.ancestors) {
      if (ancestor.processID == ownProcess_) return false;
      if (excludedProcesses.count(ancestor.processID) != 0) return true;
    }
    return false;
  };
  const bool excludesApplications = !filter_.excludedApplications.empty();
  auto isExcludedApplication = [&](const WindowToJudge& window) {
    const Judged judged = judge(window);
    const std::int32_t processID = window.identity->processID;
    if (processID > 0 && excludedProcesses.count(processID) != 0) return true;
    if (leavesOut(*judged.identity)) return true;
    if (descendsFromExcluded(*judged.identity)) return true;
    return excludesApplications && !judged.known;
  };
  auto listed = [](const std::set<std::uint32_t>& ids, const WindowToJudge& window) {
    return ids.count(static_cast<std::uint32_t>(window.id)) != 0 ||
           ids.count(static_cast<std::uint32_t>(window.client)) != 0;
  };
  auto isExcludedItself = [&](const WindowToJudge& window) {
    if (window.embedded) {
      return listed(filter_.excludedWindowIDs, window) || isExcludedApplication(window);
    }
    // Excepted windows are kept even when their application (this one included: the source
    // masks are drawn in windows of ours that the capture must show) is left out.
    if (listed(filter_.exceptingWindowIDs, window)) return false;
    if (listed(filter_.excludedWindowIDs, window)) return true;
    if (filter_.excludeDesktopWindows && window.isDesktopWindow) return true;
    if (isDesktopSurface(window, dockClients)) return true;
    return isExcludedApplication(window);
  };

  std::set<Window> excluded;
  for (const auto& window : windows) {
    if (isExcludedItself(window)) excluded.insert(window.id);
  }
  // Transient dialogs follow their owner, through chains of any length.
  bool grew = true;
  while (grew) {
    grew = false;
    for (const auto& window : windows) {
      if (window.embedded || window.transientFor == None || excluded.count(window.id) != 0) {
        continue;
      }
      if (excluded.count(window.transientFor) != 0) {
        excluded.insert(window.id);
        grew = true;
      }
    }
  }
  return excluded;
}

}  // namespace corvane::platform::x11
