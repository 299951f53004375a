#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::platform::x11 {

// One RandR monitor. Its display number comes from its connector name (displayNumberFor), so a
// monitor keeps its number when others are plugged in or out and across restarts; a server
// without RandR monitors shows the whole root as one display named "screen".
struct MonitorInfo {
  std::uint32_t displayID = 0;
  std::string name;  // the first output's name ("HDMI-1"), else the monitor's own name
  int x = 0, y = 0, width = 0, height = 0;
  bool primary = false;
};

std::vector<MonitorInfo> readMonitors(Display* display);

// The display number of a connector name: a 32-bit hash of the name, never 0 (0 stands for the
// primary monitor). Every monitor in the list gets a distinct number: on a collision the
// later name in sorted order takes the next free number.
std::uint32_t displayNumberFor(const std::string& connectorName);
void assignDisplayNumbers(std::vector<MonitorInfo>& monitors);

// The rectangle the display `displayID` covers; display 0 names the primary monitor. Empty
// when no such display is connected.
std::vector<MonitorInfo> monitorsMatching(const std::vector<MonitorInfo>& monitors,
                                          std::uint32_t displayID);

}  // namespace corvane::platform::x11
