#include "platform/x11/monitors.h"

#include "platform/x11/xlib.h"

#include <algorithm>
#include <set>

#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

std::vector<MonitorInfo> readMonitors(Display* display) {
  std::vector<MonitorInfo> result;
  const Window root = DefaultRootWindow(display);
  int eventBase = 0, errorBase = 0;
  if (XRRQueryExtension(display, &eventBase, &errorBase)) {
    ErrorTrap trap(display);
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    for (int i = 0; monitors != nullptr && i < count; ++i) {
      const XRRMonitorInfo& monitor = monitors[i];
      MonitorInfo info;
      info.x = monitor.x;
      info.y = monitor.y;
      info.width = monitor.width;
      info.height = monitor.height;
      info.primary = monitor.primary;
      if (resources != nullptr && monitor.noutput > 0) {
        if (XRROutputInfo* output = XRRGetOutputInfo(display, resources, monitor.outputs[0])) {
          info.name.assign(output->name, output->nameLen);
          XRRFreeOutputInfo(output);
        }
      }
      if (info.name.empty() && monitor.name != None) {
        if (char* name = XGetAtomName(display, monitor.name)) {
          info.name = name;
          XFree(name);
        }
      }
      result.push_back(std::move(info));
    }
    if (resources != nullptr) XRRFreeScreenResources(resources);
    if (monitors != nullptr) XRRFreeMonitors(monitors);
  }
  if (result.empty()) {
    MonitorInfo whole;
    whole.name = "screen";
    whole.width = DisplayWidth(display, DefaultScreen(display));
    whole.height = DisplayHeight(display, DefaultScreen(display));
    whole.primary = true;
    result.push_back(whole);
  }
  bool anyPrimary = false;
  for (const auto& monitor : result) anyPrimary = anyPrimary || monitor.primary;
  if (!anyPrimary) result.front().primary = true;
  assignDisplayNumbers(result);
  return result;
}

std::uint32_t displayNumberFor(const std::string& connectorName) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const unsigned char c : connectorName) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash == 0 ? 1 : hash;
}

void assignDisplayNumbers(std::vector<MonitorInfo>& monitors) {
  std::vector<MonitorInfo*> byName;
  for (auto& monitor : monitors) byName.push_back(&monitor);
  std::sort(byName.begin(), byName.end(),
            [](const MonitorInfo* a, const MonitorInfo* b) { return a->name < b->name; });
  std::set<std::uint32_t> taken;
  for (MonitorInfo* monitor : byName) {
    std::uint32_t number = displayNumberFor(monitor->name);
    while (number == 0 || taken.count(number) > 0) ++number;
    taken.insert(number);
    monitor->displayID = number;
  }
}

std::vector<MonitorInfo> monitorsMatching(const std::vector<MonitorInfo>& monitors,
                                          std::uint32_t displayID) {
  for (const auto& monitor : monitors) {
    if ((displayID == 0 && monitor.primary) || monitor.displayID == displayID) return {monitor};
  }
  return {};
}

}  // namespace corvane::platform::x11
