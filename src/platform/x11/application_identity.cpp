#include "platform/x11/application_identity.h"

#include <unistd.h>
#include "platform/x11/xlib.h"

#include <climits>

#include "platform/proc_entries.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {
namespace {

std::string stripDesktopSuffix(std::string name) {
  if (name.size() > 8 && name.ends_with(".desktop")) name.resize(name.size() - 8);
  return name;
}

}  // namespace

ApplicationIdentityResolver::ApplicationIdentityResolver(
    std::shared_ptr<const DesktopEntryIndex> entries, std::filesystem::path procRoot)
    : entries_(std::move(entries)), procRoot_(std::move(procRoot)) {}

std::optional<std::string> ApplicationIdentityResolver::flatpakId(std::int32_t processID) const {
  return readProcFlatpakId(procRoot_, processID);
}

std::optional<std::string> ApplicationIdentityResolver::launchedDesktopId(
    std::int32_t processID) const {
  const auto file = readProcLaunchedDesktopFile(procRoot_, processID);
  if (!file) return std::nullopt;
  // The id is relative to the applications directory it lives in.
  const std::string generic = file->generic_string();
  const auto applications = generic.rfind("/applications/");
  if (applications != std::string::npos) {
    return desktopIdForRelativePath(generic.substr(applications + 14));
  }
  return stripDesktopSuffix(file->filename().string());
}

std::optional<std::string> ApplicationIdentityResolver::executableName(
    std::int32_t processID) const {
  if (auto executable = readProcExecutable(procRoot_, processID)) {
    return executable->filename().string();
  }
  return readProcCommandName(procRoot_, processID);
}

ApplicationIdentity ApplicationIdentityResolver::resolve(
    std::int32_t processID, const std::optional<WindowClass>& windowClass) const {
  ApplicationIdentity identity;
  identity.processID = processID;
  auto fromEntry = [&](const std::string& id) {
    identity.id = id;
    if (auto entry = entries_ ? entries_->byId(id) : std::nullopt; entry && !entry->name.empty()) {
      identity.name = entry->name;
    }
  };
  if (auto id = flatpakId(processID)) {
    fromEntry(*id);
  } else if (auto launched = launchedDesktopId(processID)) {
    fromEntry(*launched);
  } else if (windowClass && entries_) {
    auto entry = entries_->forWindowClass(windowClass->className);
    if (!entry) entry = entries_->forWindowClass(windowClass->instance);
    if (entry) fromEntry(entry->id);
  }
  if (identity.id.empty() && windowClass) {
    identity.id = !windowClass->className.empty() ? windowClass->className : windowClass->instance;
    for (const auto& name : {windowClass->instance, windowClass->className}) {
      if (!name.empty()) identity.windowClassNames.push_back(name);
    }
  }
  if (identity.id.empty()) identity.id = executableName(processID).value_or("");
  if (identity.name.empty() && windowClass) identity.name = windowClass->className;
  if (identity.name.empty()) identity.name = identity.id;
  return identity;
}

std::optional<std::int32_t> windowProcessId(Display* display, Window window) {
  {
    ErrorTrap trap(display);
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    const bool answered = XResQueryClientIds(display, 1, &spec, &count, &values) == Success;
    std::optional<std::int32_t> pid;
    for (long i = 0; answered && !trap.failed() && i < count; ++i) {
      const pid_t value = XResGetClientPid(&values[i]);
      if (value > 0) pid = value;
    }
    if (values != nullptr) XResClientIdsDestroy(count, values);
    if (pid) return pid;
  }
  const Atom netWmPid = XInternAtom(display, "_NET_WM_PID", False);
  auto pid = cardinalValue(display, window, netWmPid, XA_CARDINAL);
  if (!pid || *pid <= 0) return std::nullopt;
  char host[HOST_NAME_MAX + 1] = {};
  gethostname(host, sizeof host - 1);
  auto machine = textProperty(display, window, XA_WM_CLIENT_MACHINE);
  if (!machine || *machine != host) return std::nullopt;
  return static_cast<std::int32_t>(*pid);
}

XID windowOwner(Display* display, Window window) {
  ErrorTrap trap(display);
  XResClientIdSpec spec{window, XRES_CLIENT_ID_XID_MASK};
  long count = 0;
  XResClientIdValue* values = nullptr;
  const bool answered = XResQueryClientIds(display, 1, &spec, &count, &values) == Success;
  XID owner = 0;
  // An error of an earlier request may arrive with the reply: the reply is still freed.
  for (long i = 0; answered && !trap.failed() && i < count; ++i) {
    if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_XID) owner = values[i].spec.client;
  }
  if (values != nullptr) XResClientIdsDestroy(count, values);
  return owner;
}

}  // namespace corvane::platform::x11
