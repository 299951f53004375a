#include "platform/x11/x_properties.h"

#include "platform/x11/xlib.h"

#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

std::optional<PropertyValue> propertyValue(Display* display, Window window, Atom property,
                                           Atom type) {
  ErrorTrap trap(display);
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display, window, property, 0, 1 << 20, False, type,
                                        &actualType, &format, &count, &remaining, &data);
  std::optional<PropertyValue> value;
  if (status == Success && data != nullptr && !trap.failed()) {
    value.emplace();
    value->type = actualType;
    value->format = format;
    if (format == 32) {
      const auto* items = reinterpret_cast<const long*>(data);
      value->items.assign(items, items + count);
    } else if (format == 8) {
      value->bytes.assign(reinterpret_cast<const char*>(data), count);
    }
  }
  if (data != nullptr) XFree(data);
  return value;
}

std::vector<long> cardinalsOf(const std::optional<PropertyValue>& value, Atom type) {
  if (!value || value->type != type || value->format != 32) return {};
  return value->items;
}

std::optional<std::string> textOf(const std::optional<PropertyValue>& value) {
  if (!value || value->format != 8) return std::nullopt;
  std::string text = value->bytes;
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::vector<long> cardinalProperty(Display* display, Window window, Atom property, Atom type) {
  return cardinalsOf(propertyValue(display, window, property, type), type);
}

std::optional<long> cardinalValue(Display* display, Window window, Atom property, Atom type) {
  auto values = cardinalProperty(display, window, property, type);
  if (values.empty()) return std::nullopt;
  return values.front();
}

std::vector<Window> windowListProperty(Display* display, Window window, Atom property) {
  auto values = cardinalProperty(display, window, property, XA_WINDOW);
  return std::vector<Window>(values.begin(), values.end());
}

std::vector<Atom> atomListProperty(Display* display, Window window, Atom property) {
  auto values = cardinalProperty(display, window, property, XA_ATOM);
  return std::vector<Atom>(values.begin(), values.end());
}

std::optional<std::string> textProperty(Display* display, Window window, Atom property) {
  return textOf(propertyValue(display, window, property));
}

std::optional<WindowClass> windowClass(Display* display, Window window) {
  return windowClassOf(propertyValue(display, window, XA_WM_CLASS));
}

std::optional<WindowClass> windowClassOf(const std::optional<PropertyValue>& value) {
  auto text = textOf(value);
  if (!text) return std::nullopt;
  WindowClass result;
  const auto split = text->find('\0');
  if (split == std::string::npos) {
    result.instance = *text;
    result.className = *text;
  } else {
    result.instance = text->substr(0, split);
    result.className = text->substr(split + 1);
    const auto end = result.className.find('\0');
    if (end != std::string::npos) result.className.resize(end);
  }
  if (result.className.empty() && result.instance.empty()) return std::nullopt;
  return result;
}

std::string windowTitle(Display* display, Window window, Atom netWmName) {
  auto title = textProperty(display, window, netWmName);
  if (!title) title = textProperty(display, window, XA_WM_NAME);
  return title.value_or("");
}

bool hasProperty(Display* display, Window window, Atom property) {
  return propertyValue(display, window, property).has_value();
}

Window parentWindow(Display* display, Window window) {
  ErrorTrap trap(display);
  Window rootReturn = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count) || trap.failed()) {
    return None;
  }
  if (children != nullptr) XFree(children);
  return parent;
}

Window topLevelWindow(Display* display, Window window) {
  const Window root = DefaultRootWindow(display);
  for (int depth = 0; depth < 16 && window != None; ++depth) {
    const Window parent = parentWindow(display, window);
    if (parent == root) return window;
    window = parent;
  }
  return None;
}

std::set<Window> windowAndAncestors(Display* display, Window window) {
  const Window root = DefaultRootWindow(display);
  std::set<Window> holders;
  for (int depth = 0; depth < 16 && window != None && window != PointerRoot && window != root;
       ++depth) {
    holders.insert(window);
    window = parentWindow(display, window);
  }
  return holders;
}

std::vector<Window> childWindows(Display* display, Window window) {
  ErrorTrap trap(display);
  Window rootReturn = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count) || trap.failed()) {
    return {};
  }
  std::vector<Window> result(children, children + count);
  if (children != nullptr) XFree(children);
  return result;
}

}  // namespace corvane::platform::x11
