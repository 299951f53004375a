#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::platform::x11 {

// One RandR monitor. Display numbers count from 1 in RandR's order; a server without RandR
// monitors shows the whole root as display 1.
struct MonitorInfo {
  std::uint32_t displayID = 0;
  std::string name;  // the first output's name ("HDMI-1"), else the monitor's own name
  int x = 0, y = 0, width = 0, height = 0;
  bool primary = false;
};

std::vector<MonitorInfo> readMonitors(Display* display);

// The rectangle the display `displayID` covers; display 0 names the primary monitor. Empty
// when no such display is connected.
std::vector<MonitorInfo> monitorsMatching(const std::vector<MonitorInfo>& monitors,
                                          std::uint32_t displayID);

}  // namespace corvane::platform::x11
