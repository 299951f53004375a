#include "platform/x11/exclusion_policy.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>
#include <unordered_map>

#include "platform/application_ids.h"

namespace corvane::platform::x11 {
namespace {

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The filter's excluded applications, as names and processes are matched against them: ids
// exactly, window classes without regard to case, each also naming the application's helpers
// ("<id>.<suffix>").
class ExcludedApplications {
 public:
  explicit ExcludedApplications(const ContentFilter& filter) : filter_(filter) {}

  bool anyId(const std::vector<std::string>& ids) const { return any(ids, IdCase::exact); }
  bool anyClass(const std::vector<std::string>& names) const { return any(names, IdCase::ignored); }
  bool anyClose(const std::vector<const std::string*>& names) const {
    return std::any_of(names.begin(), names.end(), [&](const std::string* name) {
      return std::any_of(
          filter_.excludedApplications.begin(), filter_.excludedApplications.end(),
          [&](const auto& app) { return namesAreClose(*name, app.bundleIdentifier); });
    });
  }
  // The processes the filter names.
  std::set<std::int32_t> processes() const {
    std::set<std::int32_t> processes;
    for (const auto& app : filter_.excludedApplications) {
      if (app.processID > 0) processes.insert(app.processID);
    }
    return processes;
  }

 private:
  bool any(const std::vector<std::string>& names, IdCase idCase) const {
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
      return !name.empty() &&
             std::any_of(filter_.excludedApplications.begin(), filter_.excludedApplications.end(),
                         [&](const auto& app) {
                           return namesApplicationOrHelper(name, app.bundleIdentifier, idCase);
                         });
    });
  }

  const ContentFilter& filter_;
};

// The desktop's launchers that list the running windows by their titles and icons, by their
// window class: Plasma's KRunner (Alt+Space). Like a window switcher, they are the desktop's own.
bool isWindowListingLauncher(const ApplicationIdentity& identity) {
  static constexpr std::array<std::string_view, 1> kLaunchers{"krunner"};
  return std::any_of(identity.windowClassNames.begin(), identity.windowClassNames.end(),
                     [](const std::string& name) {
                       return std::any_of(
                           kLaunchers.begin(), kLaunchers.end(), [&](std::string_view launcher) {
                             return namesApplicationOrHelper(name, launcher, IdCase::ignored);
                           });
                     });
}

// Whether a window of a desktop shell belongs to its desktop rather than to its panels: a desktop
// window (the wallpaper, the icons, the widgets on it), or a window opened from one (its menus,
// its widgets' pop-ups and their submenus), as the chain of transient windows tells: plasmashell
// makes its panels and its desktop on one connection and opens each one's windows transient for
// it. Whatever else it opens (a window transient for nothing, for a panel, or for a window it
// does not show) is the panel's. A tooltip or a notification never belongs: plasmashell shows the
// panel's and the desktop's tooltips in one window, which it moves from one to the other.
bool belongsToDesktop(const WindowToJudge& window,
                      const std::map<Window, const WindowToJudge*>& windows) {
  if (window.isDesktopWindow) return true;
  const WindowToJudge* link = &window;
  for (int depth = 0; depth < 16; ++depth) {
    if (link->isDock || link->isNotice) return false;
    const auto owner = windows.find(link->transientFor);
    if (link->transientFor == None || owner == windows.end()) return false;
    link = owner->second;
    if (link->isDesktopWindow) return true;
  }
  return false;
}

// Whether a process's windows were seen as several applications (by their claimingEntriesKey): the
// windows no entry claims count for none.
bool areSeveral(const std::set<std::string>& applications) {
  return std::count_if(applications.begin(), applications.end(),
                       [](const auto& key) { return !key.empty(); }) > 1;
}

}  // namespace

ExclusionPolicy::ExclusionPolicy(const ContentFilter& filter, std::int32_t ownProcess,
                                 XID windowManagerClient)
    : filter_(filter), ownProcess_(ownProcess), windowManagerClient_(windowManagerClient) {}

bool ExclusionPolicy::isApplicationOfItsOwn(const ApplicationIdentity& identity) {
  std::vector<const std::string*> own;
  for (const auto* ids : {&identity.ownIds, &identity.processIds}) {
    for (const auto& id : *ids) {
      if (!contains(identity.genericEntries, id)) own.push_back(&id);
    }
  }
  if (own.empty()) return false;
  auto sameApplication = [&](const std::string& origin) {
    return std::any_of(own.begin(), own.end(), [&](const std::string* id) {
      return namesApplicationOrHelper(*id, origin) || namesApplicationOrHelper(origin, *id);
    });
  };
  if (std::any_of(identity.originIds.begin(), identity.originIds.end(), sameApplication)) {
    return false;
  }
  return std::none_of(identity.ancestors.begin(), identity.ancestors.end(), [&](const auto& up) {
    return std::any_of(up.ids.begin(), up.ids.end(), sameApplication);
  });
}

bool ExclusionPolicy::namesExcluded(const ApplicationIdentity& identity,
                                    const Context& context) const {
  const ExcludedApplications excluded(filter_);
  const std::int32_t process = identity.processID;
  // The id is the window's own name unless it was taken from its process or its origin.
  const bool idIsOwn =
      !contains(identity.processIds, identity.id) && !contains(identity.originIds, identity.id);
  if ((idIsOwn && excluded.anyId({identity.id})) || excluded.anyId(identity.ownIds) ||
      excluded.anyClass(identity.windowClassNames)) {
    return true;
  }
  // Where one process draws windows of several applications, a window some entry claims is
  // judged by its own names alone.
  const bool processSpeaks =
      identity.claimingEntries.empty() || context.severalApplications.count(process) == 0;
  if (processSpeaks) {
    if (process > 0 && context.excludedProcesses.count(process) != 0) return true;
    if (excluded.anyId(identity.processIds) || excluded.anyId(identity.formerIds) ||
        excluded.anyClass(identity.formerWindowClassNames)) {
      return true;
    }
  }
  // A helper goes with what started it; an installed application started by another is itself.
  const bool originSpeaks = !isApplicationOfItsOwn(identity);
  if (originSpeaks) {
    if (excluded.anyId(identity.originIds)) return true;
    for (const auto& ancestor : identity.ancestors) {
      if (ancestor.processID == ownProcess_) break;  // what this application starts is not its own
      if (context.excludedProcesses.count(ancestor.processID) != 0 ||
          excluded.anyId(ancestor.ids)) {
        return true;
      }
    }
  }
  if (!identity.namesIncomplete) return false;
  // Its other names unreadable: a name written like an excluded id leaves it out.
  std::vector<const std::string*> names{&identity.id};
  auto add = [&names](const std::vector<std::string>& more) {
    for (const auto& name : more) names.push_back(&name);
  };
  add(identity.ownIds);
  add(identity.windowClassNames);
  add(identity.programNames);
  if (processSpeaks) {
    add(identity.processIds);
    add(identity.formerIds);
    add(identity.formerWindowClassNames);
  }
  if (originSpeaks) add(identity.originIds);
  return excluded.anyClose(names);
}

bool ExclusionPolicy::awaitsItsName(const ApplicationIdentity& identity) const {
  return identity.claimingEntries.empty() &&
         ExcludedApplications(filter_).anyId(identity.suiteEntries);
}

bool ExclusionPolicy::leavesOut(const ApplicationIdentity& identity) const {
  if (awaitsItsName(identity)) return true;
  Context context{{}, ExcludedApplications(filter_).processes()};
  std::set<std::string> applications(identity.processApplications.begin(),
                                     identity.processApplications.end());
  applications.insert(claimingEntriesKey(identity));
  if (areSeveral(applications)) context.severalApplications.insert(identity.processID);
  return namesExcluded(identity, context);
}

bool ExclusionPolicy::isDesktopSurface(
    const WindowToJudge& window, const std::set<XID>& shellClients,
    const std::map<Window, const WindowToJudge*>& windows) const {
  if (window.isDock || isWindowListingLauncher(*window.identity)) return true;
  if (shellClients.count(window.clientOwner) != 0 || shellClients.count(window.owner) != 0) {
    return !belongsToDesktop(window, windows);
  }
  // The window manager's own windows, not a frame around an application's.
  return windowManagerClient_ != 0 && window.owner == windowManagerClient_ &&
         (window.client == window.id || window.clientOwner == windowManagerClient_);
}

std::set<Window> ExclusionPolicy::excludedWindows(const std::vector<WindowToJudge>& windows) const {
  // A window without a class of its own (a menu, a tooltip, a plug) belongs to the applications
  // the other windows of the same X client name.
  std::unordered_multimap<XID, const ApplicationIdentity*> namedClients;
  // The processes that draw windows of several applications, as their windows tell.
  std::map<std::int32_t, std::set<std::string>> applicationsOfProcess;
  for (const auto& window : windows) {
    const auto& identity = *window.identity;
    if (window.hasClass && window.clientOwner != 0) {
      namedClients.emplace(window.clientOwner, &identity);
    }
    if (identity.processID <= 0) continue;
    auto& applications = applicationsOfProcess[identity.processID];
    applications.insert(identity.processApplications.begin(), identity.processApplications.end());
    applications.insert(claimingEntriesKey(identity));
  }
  Context context{{}, ExcludedApplications(filter_).processes()};
  for (const auto& [process, applications] : applicationsOfProcess) {
    if (areSeveral(applications)) context.severalApplications.insert(process);
  }

  // The X clients whose windows draw other windows' titles and icons: those that made a dock or
  // a launcher that lists the windows.
  std::set<XID> shellClients;
  std::map<Window, const WindowToJudge*> topLevels;
  for (const auto& window : windows) {
    if (!window.embedded) topLevels.emplace(window.id, &window);
    if (!window.isDock && !isWindowListingLauncher(*window.identity)) continue;
    for (XID owner : {window.clientOwner, window.owner}) {
      if (owner != 0 && owner != windowManagerClient_) shellClients.insert(owner);
    }
  }

  // Every window of a process an excluded window of one application shows in is excluded, and so
  // is every helper it starts (its descendants).
  std::set<std::int32_t> excludedProcesses = context.excludedProcesses;
  for (const auto& window : windows) {
    const std::int32_t process = window.identity->processID;
    if (!window.embedded && process > 0 && context.severalApplications.count(process) == 0 &&
        namesExcluded(*window.identity, context)) {
      excludedProcesses.insert(process);
    }
  }
  context.excludedProcesses = std::move(excludedProcesses);
  const bool excludesApplications = !filter_.excludedApplications.empty();
  auto isExcludedApplication = [&](const WindowToJudge& window) {
    if (ownProcess_ > 0 && window.identity->processID == ownProcess_) return true;
    if (window.hasClass) return namesExcluded(*window.identity, context);
    const auto [first, last] = namedClients.equal_range(window.clientOwner);
    if (window.clientOwner == 0 || first == last) {
      return namesExcluded(*window.identity, context) || excludesApplications;
    }
    return namesExcluded(*window.identity, context) ||
           std::any_of(first, last,
                       [&](const auto& named) { return namesExcluded(*named.second, context); });
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
    if (isDesktopSurface(window, shellClients, topLevels)) return true;
    if (window.hasClass && awaitsItsName(*window.identity)) return true;
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
