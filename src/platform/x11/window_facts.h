#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {

// What the window model asks about a window while it names it and reads the windows inside it.
// Every answer is empty (or 0) when the window is gone.
class WindowFacts {
 public:
  virtual ~WindowFacts() = default;
  virtual std::optional<XWindowAttributes> attributes(Window window) = 0;
  // Bottom to top.
  virtual std::vector<Window> children(Window window) = 0;
  // None when it is gone (or is the root).
  virtual Window parent(Window window) = 0;
  virtual std::optional<PropertyValue> property(Window window, Atom property) = 0;
  // The X client that made the window (X-Resource), 0 when the server cannot tell.
  virtual XID owner(Window window) = 0;
  virtual std::optional<std::int32_t> processId(Window window) = 0;
  // Whether the window has a bounding shape of its own (SHAPE).
  virtual bool boundingShaped(Window window) = 0;

  bool hasProperty(Window window, Atom atom) { return property(window, atom).has_value(); }
  // _NET_WM_NAME (UTF-8), else WM_NAME; empty when it has none.
  std::string title(Window window, Atom netWmName);
  // The desktop _NET_WM_DESKTOP names; -1 for all desktops or none.
  int desktop(Window window, Atom netWmDesktop);
};

// Asks the server one question at a time, each answered before the next is asked.
class LiveWindowFacts : public WindowFacts {
 public:
  explicit LiveWindowFacts(Display* display) : display_(display) {}
  std::optional<XWindowAttributes> attributes(Window window) override;
  std::vector<Window> children(Window window) override;
  Window parent(Window window) override;
  std::optional<PropertyValue> property(Window window, Atom property) override;
  XID owner(Window window) override;
  std::optional<std::int32_t> processId(Window window) override;
  bool boundingShaped(Window window) override;

 private:
  Display* display_;
};

}  // namespace corvane::platform::x11
