#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "platform/screens.h"
#include "platform/workspace.h"

namespace corvane::platform::sim {

enum class SimWindowKind { normal, popup, dialog, desktopIcons };

// How a window fills its frame: its primary colour, or a checkerboard of its primary and
// secondary colours whose squares are `cellSize` points wide, shifted by `phase` squares (a test
// changes the phase to make the window repaint with different content).
struct SimWindowPattern {
  bool checkerboard = false;
  double cellSize = 8;
  int phase = 0;

  bool operator==(const SimWindowPattern&) const = default;
};

// What a test gives to open a window.
struct SimWindowSpec {
  Rect frame;       // desktop points
  int desktop = 0;  // virtual desktop index, -1 = on every desktop
  SimWindowKind kind = SimWindowKind::normal;
  std::string title = {};
  SimWindowPattern pattern = {};
};

struct SimDesktopWindow {
  std::uint32_t id = 0;
  std::int32_t ownerProcessID = 0;
  std::string title;
  Rect frame;
  int desktop = 0;
  SimWindowKind kind = SimWindowKind::normal;
  SimWindowPattern pattern;
};

// What a test gives to launch an application. A processIdentifier of 0 gets a fresh one.
struct SimApplicationSpec {
  std::string bundleIdentifier;
  std::string name = {};
  std::int32_t processIdentifier = 0;
  bool refusesToQuit = false;      // ignores Workspace::terminate (a hung or stubborn application)
  bool hasOrdinaryWindows = true;  // false for a desktop-shell component
};

struct SimApplication {
  RunningApplication info;
  bool refusesToQuit = false;
};

// Who a window belonged to, kept after the window and its application are gone so that frames
// composed earlier can still be judged.
struct SimWindowOwner {
  std::string bundleIdentifier;
  std::int32_t processIdentifier = 0;
  SimWindowKind kind = SimWindowKind::normal;
};

struct SimCursor {
  Point position;
  SharedPixelBuffer image;  // null while the pointer is hidden
  Point hotSpot;
  std::uint64_t serial = 1;
};

// A window of this application as captures see it: its pixels at one per point over its frame,
// limited to its shape when it has one. Transparent pixels show what lies beneath.
// With an owner, it is listed among the shareable windows as that (running) application's.
struct SimOwnWindowLayer {
  std::uint32_t windowID = 0;
  Rect frame;
  std::optional<std::vector<Rect>> shape;
  SharedPixelBuffer pixels;
  std::int32_t ownerProcessID = 0;
};

// The whole simulated desktop at one moment. Windows are kept bottom to top.
struct SimDesktopState {
  std::vector<Screen> displays;
  std::vector<SimApplication> applications;  // in launch order
  std::vector<SimDesktopWindow> windows;     // stacking order, bottom first
  // This application's own windows, above every other window, bottom first. Captures leave them
  // out unless the filter excepts them, as the real backend does.
  std::vector<SimOwnWindowLayer> ownWindows;
  std::uint32_t backgroundColor = 0;
  int activeDesktop = 0;
  SimCursor cursor;
  // Moves on every change that can alter a composed frame.
  std::uint64_t revision = 0;

  const Screen* display(std::uint32_t displayID) const;
  const SimApplication* application(std::int32_t processIdentifier) const;
  SimApplication* application(std::int32_t processIdentifier);
  const SimDesktopWindow* window(std::uint32_t windowID) const;
  // Whether the window shows on the active desktop now (its application runs and is not hidden).
  bool isOnScreen(const SimDesktopWindow& window) const;
};

}  // namespace corvane::platform::sim
