#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace corvane::platform::x11 {

// A property as the server sent it. Items of format 32 are widened to long as Xlib widens them
// (sign-extended); those of format 8 are kept as bytes.
struct PropertyValue {
  Atom type = None;
  int format = 0;
  std::vector<long> items;
  std::string bytes;
};

// The property of any type; empty when the window lacks it or is gone (the error is trapped).
std::optional<PropertyValue> propertyValue(Display* display, Window window, Atom property,
                                           Atom type = AnyPropertyType);
// What a property read holds, judged as the readers below judge it.
std::vector<long> cardinalsOf(const std::optional<PropertyValue>& value, Atom type);
std::optional<std::string> textOf(const std::optional<PropertyValue>& value);

// Readers of window properties. Each returns empty when the property is missing, has another
// type or format, or the window is gone (the error is trapped).
std::vector<long> cardinalProperty(Display* display, Window window, Atom property, Atom type);
std::optional<long> cardinalValue(Display* display, Window window, Atom property, Atom type);
std::vector<Window> windowListProperty(Display* display, Window window, Atom property);
std::vector<Atom> atomListProperty(Display* display, Window window, Atom property);
// A text property (STRING or UTF8_STRING); several NUL-separated strings come back joined.
std::optional<std::string> textProperty(Display* display, Window window, Atom property);

struct WindowClass {
  std::string instance;
  std::string className;
};
std::optional<WindowClass> windowClass(Display* display, Window window);
// WM_CLASS as read: empty when it is missing or names nothing.
std::optional<WindowClass> windowClassOf(const std::optional<PropertyValue>& value);

// The window's title: _NET_WM_NAME (UTF-8), else WM_NAME; empty when it has none.
std::string windowTitle(Display* display, Window window, Atom netWmName);

// Whether the property exists on the window at all.
bool hasProperty(Display* display, Window window, Atom property);

// The parent of `window`; None when it is gone (or is the root).
Window parentWindow(Display* display, Window window);
// The child of the root that holds `window` (itself when it is one); None when it is gone.
Window topLevelWindow(Display* display, Window window);
// `window` and every window holding it, the root left out: those it is inside of.
std::set<Window> windowAndAncestors(Display* display, Window window);

// The children of `window`, bottom to top; empty when it is gone.
std::vector<Window> childWindows(Display* display, Window window);

}  // namespace corvane::platform::x11
