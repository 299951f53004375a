#include "platform/x11/x_properties.h"

#include "platform/x11/xlib.h"

#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {
namespace {

struct RawProperty {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned char* data = nullptr;
  ~RawProperty() {
    if (data != nullptr) XFree(data);
  }
};

bool readProperty(Display* display, Window window, Atom property, Atom type, RawProperty& out) {
  ErrorTrap trap(display);
  unsigned long remaining = 0;
  const int status = XGetWindowProperty(display, window, property, 0, 1 << 20, False, type,
                                        &out.type, &out.format, &out.count, &remaining, &out.data);
  return status == Success && out.data != nullptr && !trap.failed() &&
         (type == AnyPropertyType || out.type == type);
}

}  // namespace

std::vector<long> cardinalProperty(Display* display, Window window, Atom property, Atom type) {
  RawProperty raw;
  if (!readProperty(display, window, property, type, raw) || raw.format != 32) return {};
  const auto* values = reinterpret_cast<const long*>(raw.data);
  return std::vector<long>(values, values + raw.count);
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
  RawProperty raw;
  if (!readProperty(display, window, property, AnyPropertyType, raw) || raw.format != 8) {
    return std::nullopt;
  }
  std::string text(reinterpret_cast<const char*>(raw.data), raw.count);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::optional<WindowClass> windowClass(Display* display, Window window) {
  auto text = textProperty(display, window, XA_WM_CLASS);
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
  RawProperty raw;
  return readProperty(display, window, property, AnyPropertyType, raw);
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

bool isInside(Display* display, Window window, Window ancestor) {
  const Window root = DefaultRootWindow(display);
  for (int depth = 0; depth < 16 && window != None && window != PointerRoot; ++depth) {
    if (window == ancestor) return true;
    if (window == root) return false;
    window = parentWindow(display, window);
  }
  return false;
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
