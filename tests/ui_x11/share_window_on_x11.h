#pragma once

// The share window on a real X server as the application makes it, and the ways other programs
// read it. Include after every Qt header: Xlib's macros clash with Qt's names.
#include <QImage>

#include <cstdlib>
#include <memory>
#include <string>

#include "capture/protected_output_surface.h"
#include "main/qt_x11_display.h"
#include "main/xcb_image_presenter.h"
#include "share_window/share_window_test_support.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_window_system.h"

#include "platform/x11/x11_screens.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace corvane::ui::testing {

// The output window's manager on the real X server, on the server's screens and Qt's own
// connection, as the application makes it.
struct OutputWindowOnX11 {
  std::shared_ptr<capture::ProtectedOutputSurface> surface =
      std::make_shared<capture::ProtectedOutputSurface>();
  std::shared_ptr<share_window::testing::RecordingController> controller =
      std::make_shared<share_window::testing::RecordingController>();
  std::shared_ptr<QtWindowSystem> windows;
  std::shared_ptr<share_window::ProtectedShareWindowManager> manager;

  // Opens the manager and begins a session; empty when it worked, else what went wrong.
  std::string beginSession() {
    controller->surface = surface;
    auto screens = platform::x11::X11Screens::open(std::getenv("DISPLAY"));
    if (!screens.ok()) return screens.message();
    windows = std::make_shared<QtWindowSystem>(screens.value(), wiring::makeQtWindowStateHints());
    manager = std::make_shared<share_window::ProtectedShareWindowManager>(
        windows, makeProtectedShareContentFactory(wiring::makeXcbImagePresenter()));
    return manager->beginSession(controller, std::nullopt) ? "" : "the session did not begin";
  }
  QtWindow& window() const { return static_cast<QtWindow&>(*manager->window()); }
};

// A connection of the test's own on which X errors are counted, not fatal.
class RecorderConnection {
 public:
  RecorderConnection() : display_(XOpenDisplay(std::getenv("DISPLAY"))) {}
  ~RecorderConnection() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  RecorderConnection(const RecorderConnection&) = delete;
  RecorderConnection& operator=(const RecorderConnection&) = delete;
  Display* display() const { return display_; }
  // The last error a read met.
  static const std::string& lastError() { return lastError_; }

  // The pixels `readImage` gets, or a null image when the server refused (an X error). The
  // image is destroyed after unless `keep`.
  template <class Read>
  QImage read(Read readImage, bool keep = false) const {
    XSync(display_, False);
    errors_ = 0;
    XErrorHandler previous = XSetErrorHandler([](Display* display, XErrorEvent* error) {
      ++errors_;
      char text[80] = {};
      XGetErrorText(display, error->error_code, text, sizeof text);
      lastError_ = std::string(text) + " (request " + std::to_string(error->request_code) + "." +
                   std::to_string(error->minor_code) + ")";
      return 0;
    });
    XImage* image = readImage();
    XSync(display_, False);
    XSetErrorHandler(previous);
    QImage copy;
    if (image != nullptr && errors_ == 0) {
      copy = QImage(image->width, image->height, QImage::Format_RGB32);
      for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
          copy.setPixel(x, y, 0xFF000000u | (XGetPixel(image, x, y) & 0xFFFFFF));
    }
    if (image != nullptr && !keep) XDestroyImage(image);
    return copy;
  }

 private:
  Display* display_;
  static inline int errors_ = 0;
  static inline std::string lastError_;
};

// The two ways recorders read one window: its own pixels through shared memory (XShmGetImage,
// as ffmpeg by window id and GStreamer's ximagesrc do), and its composite pixmap after redirecting
// it (a browser's or meeting application's window picker).
class WindowRecorders {
 public:
  explicit WindowRecorders(WId window) : window_(static_cast<Window>(window)) {
    if (composite_.display() == nullptr) return;
    XCompositeRedirectWindow(composite_.display(), window_, CompositeRedirectAutomatic);
    XSync(composite_.display(), False);
  }

  QImage readWindow() const {
    Display* display = direct_.display();
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window_, &attributes);
    XShmSegmentInfo segment{};
    XImage* image = XShmCreateImage(display, attributes.visual, attributes.depth, ZPixmap, nullptr,
                                    &segment, attributes.width, attributes.height);
    if (image == nullptr) return {};
    segment.shmid =
        shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * image->height,
               IPC_CREAT | 0600);
    segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    XShmAttach(display, &segment);
    const QImage copy = direct_.read(
        [&] { return XShmGetImage(display, window_, image, 0, 0, AllPlanes) ? image : nullptr; },
        /*keep=*/true);
    XShmDetach(display, &segment);
    XSync(display, False);
    shmdt(segment.shmaddr);
    shmctl(segment.shmid, IPC_RMID, nullptr);
    image->data = nullptr;
    XDestroyImage(image);
    return copy;
  }
  QImage readCompositePixmap() const {
    Pixmap pixmap = None;
    const QImage image = composite_.read([&] {
      XWindowAttributes attributes{};
      XGetWindowAttributes(composite_.display(), window_, &attributes);
      pixmap = XCompositeNameWindowPixmap(composite_.display(), window_);
      return XGetImage(composite_.display(), pixmap, 0, 0, attributes.width, attributes.height,
                       AllPlanes, ZPixmap);
    });
    if (pixmap != None) XFreePixmap(composite_.display(), pixmap);
    return image;
  }

 private:
  Window window_;
  RecorderConnection direct_;
  RecorderConnection composite_;
};

// A file manager's desktop window over the whole screen, bottom of the window manager's stack.
inline Window mapDesktopWindow(Display* display, QRgb colour) {
  const Window root = DefaultRootWindow(display);
  const int screen = DefaultScreen(display);
  const Window desktop =
      XCreateSimpleWindow(display, root, 0, 0, static_cast<unsigned>(DisplayWidth(display, screen)),
                          static_cast<unsigned>(DisplayHeight(display, screen)), 0, 0, colour);
  const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  XChangeProperty(display, desktop, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
  XMapWindow(display, desktop);
  XSync(display, False);
  return desktop;
}

// Where `window` is among the root's children, bottom first; -1 when it is not one.
inline int stackingPosition(Display* display, Window window) {
  Window root = None, parent = None;
  Window* children = nullptr;
  unsigned count = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  int position = -1;
  for (unsigned i = 0; i < count; ++i)
    if (children[i] == window) position = static_cast<int>(i);
  if (children != nullptr) XFree(children);
  return position;
}

inline int inputShapeRectangles(Display* display, Window window) {
  int count = 0, ordering = 0;
  XRectangle* rectangles = XShapeGetRectangles(display, window, ShapeInput, &count, &ordering);
  if (rectangles != nullptr) XFree(rectangles);
  return count;
}

}  // namespace corvane::ui::testing
