// Saves a screenshot of the X display or of one window and counts the pixels near given
// colours, for `make run`'s demo.
//
//   corvane_demo_shot OUT.png [--window TITLE] [--count NAME=RRGGBB]...
//
// Without --window the whole screen (the root window) is saved. A window is found by its exact
// title among the viewable windows; its own contents are read (during a capture session every
// window has a backing store of its own, so what covers it on screen does not matter). Prints
// one line per colour: "NAME RRGGBB COUNT". Exits 2 when the window is not there.
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

struct Colour {
  std::string name;
  unsigned long rgb = 0;
};

constexpr int kTolerance = 8;

bool near(QRgb pixel, unsigned long rgb) {
  return std::abs(qRed(pixel) - static_cast<int>((rgb >> 16) & 0xFF)) <= kTolerance &&
         std::abs(qGreen(pixel) - static_cast<int>((rgb >> 8) & 0xFF)) <= kTolerance &&
         std::abs(qBlue(pixel) - static_cast<int>(rgb & 0xFF)) <= kTolerance;
}

Window findViewable(Display* display, Window parent, const std::string& title) {
  Window root = 0, parentOut = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, parent, &root, &parentOut, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = count; i-- > 0 && found == 0;) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes) ||
        attributes.map_state != IsViewable) {
      continue;
    }
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name != nullptr) {
      if (title == name) found = children[i];
      XFree(name);
    }
    if (found == 0) found = findViewable(display, children[i], title);
  }
  if (children != nullptr) XFree(children);
  return found;
}

QImage grab(Display* display, Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return {};
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  QImage result(attributes.width, attributes.height, QImage::Format_RGB32);
  for (int y = 0; y < attributes.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < attributes.width; ++x) line[x] = 0xFF000000u | XGetPixel(image, x, y);
  }
  XDestroyImage(image);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: corvane_demo_shot OUT.png [--window TITLE] [--count NAME=RRGGBB]...\n",
               stderr);
    return 1;
  }
  const std::string out = argv[1];
  std::string title;
  std::vector<Colour> colours;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--window") == 0) {
      title = argv[i + 1];
    } else if (std::strcmp(argv[i], "--count") == 0) {
      const std::string spec = argv[i + 1];
      const auto equals = spec.find('=');
      if (equals == std::string::npos) return 1;
      colours.push_back(
          {spec.substr(0, equals), std::strtoul(spec.c_str() + equals + 1, nullptr, 16)});
    }
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fputs("corvane_demo_shot: cannot open the display\n", stderr);
    return 1;
  }
  Window window = DefaultRootWindow(display);
  if (!title.empty()) window = findViewable(display, window, title);
  if (window == 0) {
    std::fprintf(stderr, "corvane_demo_shot: no viewable window \"%s\"\n", title.c_str());
    XCloseDisplay(display);
    return 2;
  }
  const QImage image = grab(display, window);
  XCloseDisplay(display);
  if (image.isNull() || !image.save(QString::fromStdString(out), "PNG")) {
    std::fprintf(stderr, "corvane_demo_shot: could not save %s\n", out.c_str());
    return 1;
  }
  for (const auto& colour : colours) {
    long count = 0;
    for (int y = 0; y < image.height(); ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x) count += near(line[x], colour.rgb) ? 1 : 0;
    }
    std::printf("%s %06lX %ld\n", colour.name.c_str(), colour.rgb, count);
  }
  return 0;
}
