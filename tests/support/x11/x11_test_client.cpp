// A small X client for the backend's tests: one window of a known colour and class that the
// test drives through commands on standard input. It prints the id of every window it makes.
//
//   x11_test_client --class NAME --colour RRGGBB --geometry WxH+X+Y
//                   [--lazy] [--desktop] [--override-redirect] [--no-pid] [--shaped]
//                   [--stubborn] [--no-class] [--text PX] [--undumpable] [--instance NAME]
//                   [--unmapped]
//
// --lazy never draws (background None, no reaction to Expose); --shaped keeps only the left half
// of the window in its bounding shape; --stubborn ignores WM_DELETE_WINDOW; --no-class maps the
// window without WM_CLASS; --text makes the main window a page of black monospace text on white,
// PX pixels high, drawn with Cairo (a line every 1.5 × PX, starting PX from the top-left corner);
// --undumpable makes the process not dumpable (prctl PR_SET_DUMPABLE 0), as hardened programs do;
// --instance gives the main window's WM_CLASS that instance (else the class in lower case).
// --unmapped leaves the main window unmapped until "remap".
// Commands, one per line:
//   popup WxH+X+Y RRGGBB      an override-redirect window (no class, like a menu)
//   dialog WxH+X+Y RRGGBB     a transient window for the main window (no class of its own)
//   animate N [ID]            repaints the main window (or its window ID) N times, alternating
//                             shades
//   class NAME [ID]           sets the WM_CLASS of the main window (or its window ID; instance:
//                             NAME in lower case)
//   rootpixmap RRGGBB         names a pixmap of its own, of that colour, as the desktop
//                             background (_XROOTPMAP_ID)
//   cursor RRGGBB             gives the main window a 32x32 pointer of that colour
//   grab RRGGBB               grabs the pointer, showing a 32x32 pointer of that colour
//   ungrab                    lets the pointer go
//   paint WxH+X+Y RRGGBB      paints one rectangle of the main window once
//   sparse                    two 10x10 squares in opposite corners of the main window, in one
//                             request (its extent is the whole window)
//   line                      one diagonal line across the main window
//   noop                      fills the whole main window with the function GXnoop (draws nothing)
//   scroll N                  copies the main window's contents N pixels down within itself
//   blend AARRGGBB            paints a translucent colour over the main window's contents
//   hole WxH+X+Y              from now on the main window paints everything but that rectangle,
//                             in one request, and does so at once
//   child WxH+X+Y RRGGBB [lazy]  a child of the main window (background None), painting on
//                             exposure unless lazy
//   embed ID WxH+X+Y RRGGBB   a window inside window ID of another client, painting on exposure
//   remap                     unmaps and maps the main window again
//   unmap ID                  unmaps window ID
//   unmap ID scroll N         unmaps window ID (of any client) and copies the main window's
//                             contents N pixels down within itself, in one go
//   flicker N MS              unmaps and maps the main window N times, MS milliseconds apart,
//                             repainting whenever it is exposed
//   hop ID STEP...            moves its window ID through every STEP, PARENT+X+Y (a window of
//                             any client), painting it at each, then unmaps it, without pause
//   roam ID                   from now on moves its window ID about inside its parent without
//                             pause (a millisecond apart), painting it at each place
//   churn N MS                from now on makes N small mapped windows every MS milliseconds and
//                             destroys the ones made before
//   line N TEXT               (text page) sets line N (from 0) to TEXT
//   append TEXT               (text page) types TEXT at the end of the last line
//   scroll N                  (text page) scrolls up by N lines: the first N lines go
//   clear                     (text page) removes every line
//   window INSTANCE CLASS WxH+X+Y RRGGBB  another top-level window of this process, with that
//                             WM_CLASS (as one process draws a browser and its web apps)
//   spawn NAME WxH+X+Y RRGGBB [PROGRAM]  a child process of this one (running PROGRAM, a copy of
//                             this program, else this program) with a window of its own, of class
//                             NAME; it announces its window itself and ends with this process
//   daemon NAME WxH+X+Y RRGGBB the same started by a child that ends at once: its parent becomes
//                             the system's (it double-forks, as daemons and some helpers do)
//   exit
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Geometry {
  int x = 0, y = 0;
  unsigned width = 100, height = 100;
};

Geometry parseGeometry(const char* text) {
  Geometry g;
  std::sscanf(text, "%ux%u+%d+%d", &g.width, &g.height, &g.x, &g.y);
  return g;
}

unsigned long parseColour(const char* text) {
  return std::strtoul(text, nullptr, 16);
}

// The text page: lines drawn with Cairo into an image, then put into the window in one request.
struct TextPage {
  int pixelSize = 0;  // 0: not a text page
  std::vector<std::string> lines;

  void draw(Display* display, Window window) const {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.depth != 24) return;
    const int width = attributes.width, height = attributes.height;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_select_font_face(cr, "monospace", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, pixelSize);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      cairo_move_to(cr, pixelSize, pixelSize * (1.5 * static_cast<double>(i) + 1.75));
      cairo_show_text(cr, lines[i].c_str());
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    XImage* image = XCreateImage(display, attributes.visual, 24, ZPixmap, 0,
                                 reinterpret_cast<char*>(cairo_image_surface_get_data(surface)),
                                 width, height, 32, cairo_image_surface_get_stride(surface));
    GC gc = XCreateGC(display, window, 0, nullptr);
    XPutImage(display, window, gc, image, 0, 0, 0, 0, width, height);
    XFreeGC(display, gc);
    image->data = nullptr;  // Cairo's
    XDestroyImage(image);
    cairo_surface_destroy(surface);
    XSync(display, False);
  }

  // Runs a text command; false when `line` is none.
  bool handle(const std::string& line) {
    int number = 0, consumed = 0;
    if (std::sscanf(line.c_str(), "line %d %n", &number, &consumed) == 1 && consumed > 0 &&
        number >= 0) {
      if (lines.size() <= static_cast<std::size_t>(number)) lines.resize(number + 1);
      lines[number] = line.substr(consumed);
    } else if (line.rfind("append ", 0) == 0) {
      if (lines.empty()) lines.emplace_back();
      lines.back() += line.substr(7);
    } else if (std::sscanf(line.c_str(), "scroll %d", &number) == 1 && number >= 0) {
      lines.erase(lines.begin(), lines.begin() + std::min<std::size_t>(number, lines.size()));
    } else if (line == "clear") {
      lines.clear();
    } else {
      return false;
    }
    return true;
  }
};

struct Client {
  Display* display = nullptr;
  std::map<Window, unsigned long> colours;
  std::map<Window, bool> lazy;
  Atom wmProtocols, wmDelete;
  Window main = None;
  TextPage page;
  bool hasHole = false;
  Geometry hole;

  Window make(const Geometry& g, unsigned long colour, bool overrideRedirect, bool isLazy,
              Window parent = None) {
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;
    attributes.override_redirect = overrideRedirect;
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    if (parent == None) parent = DefaultRootWindow(display);
    Window window =
        XCreateWindow(display, parent, g.x, g.y, g.width, g.height, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixmap | CWOverrideRedirect | CWEventMask, &attributes);
    colours[window] = colour;
    lazy[window] = isLazy;
    if (parent != DefaultRootWindow(display)) return window;
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = g.x;
    hints.y = g.y;
    hints.width = static_cast<int>(g.width);
    hints.height = static_cast<int>(g.height);
    XSetWMNormalHints(display, window, &hints);
    return window;
  }

  void paint(Window window, unsigned long colour) {
    if (window == main && page.pixelSize > 0) {
      page.draw(display, window);
      return;
    }
    GC gc = XCreateGC(display, window, 0, nullptr);
    XSetForeground(display, gc, colour);
    if (window == main && hasHole) {
      // Above, left of, right of and below the hole.
      const int right = hole.x + static_cast<int>(hole.width);
      const int bottom = hole.y + static_cast<int>(hole.height);
      XRectangle around[4] = {
          {0, 0, 4000, static_cast<unsigned short>(std::max(0, hole.y))},
          {0, static_cast<short>(hole.y), static_cast<unsigned short>(std::max(0, hole.x)),
           static_cast<unsigned short>(hole.height)},
          {static_cast<short>(right), static_cast<short>(hole.y), 4000,
           static_cast<unsigned short>(hole.height)},
          {0, static_cast<short>(bottom), 4000, 4000}};
      XFillRectangles(display, window, gc, around, 4);
    } else {
      XFillRectangle(display, window, gc, 0, 0, 4000, 4000);
    }
    XFreeGC(display, gc);
    XFlush(display);
  }

  // Drawing that spans more than it paints, or that reuses what the window holds.
  bool draw(const std::string& line) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, main, &attributes)) return false;
    const int width = attributes.width, height = attributes.height;
    GC gc = XCreateGC(display, main, 0, nullptr);
    XSetForeground(display, gc, colours[main]);
    char colourText[16] = {}, geometryText[64] = {};
    int pixels = 0;
    bool known = true;
    if (line == "sparse") {
      XRectangle squares[2] = {
          {0, 0, 10, 10},
          {static_cast<short>(width - 10), static_cast<short>(height - 10), 10, 10}};
      XFillRectangles(display, main, gc, squares, 2);
    } else if (line == "line") {
      XDrawLine(display, main, gc, 0, 0, width - 1, height - 1);
    } else if (line == "noop") {
      XSetFunction(display, gc, GXnoop);
      XFillRectangle(display, main, gc, 0, 0, width, height);
    } else if (std::sscanf(line.c_str(), "scroll %d", &pixels) == 1) {
      XCopyArea(display, main, main, gc, 0, 0, width, height - pixels, 0, pixels);
    } else if (std::sscanf(line.c_str(), "blend %15s", colourText) == 1) {
      const unsigned long argb = std::strtoul(colourText, nullptr, 16);
      cairo_surface_t* surface =
          cairo_xlib_surface_create(display, main, attributes.visual, width, height);
      cairo_t* cr = cairo_create(surface);
      cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                            (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0);
      cairo_paint(cr);
      cairo_destroy(cr);
      cairo_surface_flush(surface);
      cairo_surface_destroy(surface);
    } else if (std::sscanf(line.c_str(), "hole %63s", geometryText) == 1) {
      hasHole = true;
      hole = parseGeometry(geometryText);
      XFreeGC(display, gc);
      paint(main, colours[main]);
      XSync(display, False);
      return true;
    } else {
      known = false;
    }
    XFreeGC(display, gc);
    XSync(display, False);
    return known;
  }

  // Answers what is queued: exposures repaint.
  void serve() {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == Expose && event.xexpose.count == 0 && !lazy[event.xexpose.window]) {
        paint(event.xexpose.window, colours[event.xexpose.window]);
      }
    }
  }

  // Moves `window` into `parent` at x,y (reparenting it when it is elsewhere), mapped and
  // painted there.
  void place(Window window, Window parent, int x, int y) {
    Window root, current, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &current, &children, &count) && children) {
      XFree(children);
    }
    if (current != parent) {
      XReparentWindow(display, window, parent, x, y);
    } else {
      XMoveWindow(display, window, x, y);
    }
    XMapWindow(display, window);
    paint(window, colours[window]);
  }

  // Moves `window` to the next place of a walk around its parent.
  void roamStep(Window window, int step) {
    const int x = 5 + (step * 7) % 120, y = 5 + (step * 3) % 90;
    XMoveWindow(display, window, x, y);
    paint(window, colours[window]);
    XSync(display, False);
  }

  void churn(int count, int pause) {
    std::vector<Window> made;
    for (unsigned round = 0;; ++round) {
      std::vector<Window> next;
      for (int i = 0; i < count; ++i) {
        const Geometry g{static_cast<int>((round * 37 + i * 53) % 700),
                         static_cast<int>((round * 29 + i * 41) % 500), 16, 16};
        next.push_back(make(g, 0x406080, true, true));
        XMapWindow(display, next.back());
      }
      for (Window window : made) XDestroyWindow(display, window);
      made = std::move(next);
      XSync(display, False);
      usleep(static_cast<useconds_t>(pause) * 1000);
    }
  }

  void announce(Window window) {
    std::printf("%lu\n", window);
    std::fflush(stdout);
  }
};

void setClass(Display* display, Window window, std::string name, std::string instance = "") {
  if (instance.empty()) {
    instance = name;
    for (auto& c : instance) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  XClassHint classHint{instance.data(), name.data()};
  XSetClassHint(display, window, &classHint);
}

// Names the process as the window's owner on this host (_NET_WM_PID, WM_CLIENT_MACHINE).
void setProcess(Display* display, Window window) {
  long pid = getpid();
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
  char host[HOST_NAME_MAX + 1] = {};
  gethostname(host, sizeof host - 1);
  XChangeProperty(display, window, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<unsigned char*>(host), static_cast<int>(std::strlen(host)));
}

// A 32x32 pixmap of `colour`, of the screen's depth, or of depth 1 (all set) when `bitmap`.
Pixmap squarePixmap(Display* display, unsigned long colour, bool bitmap) {
  const Window root = DefaultRootWindow(display);
  Pixmap pixmap = XCreatePixmap(display, root, 32, 32,
                                bitmap ? 1 : DefaultDepth(display, DefaultScreen(display)));
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XSetForeground(display, gc, bitmap ? 1 : colour);
  XFillRectangle(display, pixmap, gc, 0, 0, 32, 32);
  XFreeGC(display, gc);
  return pixmap;
}

// A 32x32 pointer of one colour.
Cursor squareCursor(Display* display, unsigned long colour) {
  XColor shade{};
  shade.red = static_cast<unsigned short>(((colour >> 16) & 0xFF) * 0x101);
  shade.green = static_cast<unsigned short>(((colour >> 8) & 0xFF) * 0x101);
  shade.blue = static_cast<unsigned short>((colour & 0xFF) * 0x101);
  const Pixmap bits = squarePixmap(display, 1, true);
  Cursor cursor = XCreatePixmapCursor(display, bits, bits, &shade, &shade, 16, 16);
  XFreePixmap(display, bits);
  return cursor;
}

// The pointer and background commands; false when `line` is none of them.
bool pointerOrBackground(Display* display, Window main, const std::string& line) {
  char command[32] = {}, colourText[16] = {};
  std::sscanf(line.c_str(), "%31s %15s", command, colourText);
  const unsigned long colour = parseColour(colourText);
  if (std::strcmp(command, "rootpixmap") == 0) {
    Pixmap pixmap = squarePixmap(display, colour, false);
    XChangeProperty(display, DefaultRootWindow(display),
                    XInternAtom(display, "_XROOTPMAP_ID", False), XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pixmap), 1);
  } else if (std::strcmp(command, "cursor") == 0) {
    XDefineCursor(display, main, squareCursor(display, colour));
  } else if (std::strcmp(command, "grab") == 0) {
    XGrabPointer(display, main, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                 squareCursor(display, colour), CurrentTime);
  } else if (std::strcmp(command, "ungrab") == 0) {
    XUngrabPointer(display, CurrentTime);
  } else {
    return false;
  }
  XSync(display, False);
  return true;
}

// Starts this program again as a child, with a window of class `name`. Its standard input is a
// pipe only this process holds: it ends when this process does. Its announcements go where ours do.
// With `detached`, the child is started by a child of ours that ends at once.
void spawnChild(const std::string& name, const std::string& geometry, const std::string& colour,
                std::string program, bool detached) {
  int input[2];
  if (pipe2(input, O_CLOEXEC) != 0) return;
  if (program.empty()) program = "/proc/self/exe";
  std::vector<std::string> words = {program, "--class",    name,    "--colour",
                                    colour,  "--geometry", geometry};
  std::vector<char*> arguments;
  for (auto& word : words) arguments.push_back(word.data());
  arguments.push_back(nullptr);
  if (detached) {
    const pid_t middle = fork();
    if (middle == 0) {
      if (fork() == 0) {
        dup2(input[0], 0);
        execv(program.c_str(), arguments.data());
      }
      _exit(0);
    }
    if (middle > 0) waitpid(middle, nullptr, 0);
  } else {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    pid_t child = -1;
    posix_spawn(&child, program.c_str(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
  }
  close(input[0]);  // the write end stays open, unused, for as long as this process runs
}

}  // namespace

int main(int argc, char** argv) {
  std::string windowClass = "TestClient", instance;
  unsigned long colour = 0xFF0000;
  Geometry geometry;
  bool isLazy = false, desktop = false, overrideRedirect = false, withPid = true;
  bool shaped = false, stubborn = false, withClass = true, unmapped = false;
  int textPixelSize = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--class" && i + 1 < argc)
      windowClass = argv[++i];
    else if (arg == "--colour" && i + 1 < argc)
      colour = parseColour(argv[++i]);
    else if (arg == "--geometry" && i + 1 < argc)
      geometry = parseGeometry(argv[++i]);
    else if (arg == "--lazy")
      isLazy = true;
    else if (arg == "--desktop")
      desktop = true;
    else if (arg == "--override-redirect")
      overrideRedirect = true;
    else if (arg == "--no-pid")
      withPid = false;
    else if (arg == "--shaped")
      shaped = true;
    else if (arg == "--stubborn")
      stubborn = true;
    else if (arg == "--no-class")
      withClass = false;
    else if (arg == "--text" && i + 1 < argc)
      textPixelSize = std::atoi(argv[++i]);
    else if (arg == "--instance" && i + 1 < argc)
      instance = argv[++i];
    else if (arg == "--undumpable")
      prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    else if (arg == "--unmapped")
      unmapped = true;
  }
  Client client;
  client.display = XOpenDisplay(nullptr);
  if (client.display == nullptr) return 2;
  Display* display = client.display;
  client.wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
  client.wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);

  Window main = client.make(geometry, colour, overrideRedirect, isLazy);
  client.main = main;
  client.page.pixelSize = textPixelSize;
  if (withClass) setClass(display, main, windowClass, instance);
  XStoreName(display, main, windowClass.c_str());
  XSetWMProtocols(display, main, &client.wmDelete, 1);
  if (withPid) setProcess(display, main);
  if (desktop) {
    Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
    XChangeProperty(display, main, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&type), 1);
  }
  if (shaped) {
    XRectangle half{0, 0, static_cast<unsigned short>(geometry.width / 2),
                    static_cast<unsigned short>(geometry.height)};
    XShapeCombineRectangles(display, main, ShapeBounding, 0, 0, &half, 1, ShapeSet, Unsorted);
  }
  if (!unmapped) XMapWindow(display, main);
  XFlush(display);
  client.announce(main);

  std::string pending;
  bool running = true;
  while (running) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == Expose && event.xexpose.count == 0 && !client.lazy[event.xexpose.window]) {
        client.paint(event.xexpose.window, client.colours[event.xexpose.window]);
      } else if (event.type == ClientMessage && event.xclient.message_type == client.wmProtocols &&
                 static_cast<Atom>(event.xclient.data.l[0]) == client.wmDelete) {
        running = stubborn;
      }
    }
    if (!running) break;
    pollfd descriptors[2] = {{ConnectionNumber(display), POLLIN, 0}, {0, POLLIN, 0}};
    if (poll(descriptors, 2, 1000) <= 0) continue;
    if (descriptors[1].revents & (POLLIN | POLLHUP)) {
      char buffer[512];
      const ssize_t count = read(0, buffer, sizeof buffer);
      if (count <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(count));
      std::size_t newline;
      while ((newline = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, newline);
        pending.erase(0, newline + 1);
        char command[32] = {}, geometryText[64] = {}, colourText[16] = {};
        int count2 = 0;
        std::sscanf(line.c_str(), "%31s", command);
        if (std::strcmp(command, "exit") == 0) {
          running = false;
        } else if (client.page.pixelSize > 0 && client.page.handle(line)) {
          client.page.draw(display, main);
          client.announce(main);
        } else if (std::strcmp(command, "popup") == 0 || std::strcmp(command, "dialog") == 0) {
          std::sscanf(line.c_str(), "%*s %63s %15s", geometryText, colourText);
          const bool popup = std::strcmp(command, "popup") == 0;
          Window window =
              client.make(parseGeometry(geometryText), parseColour(colourText), popup, false);
          if (!popup) XSetTransientForHint(display, window, main);
          XMapRaised(display, window);
          XFlush(display);
          client.announce(window);
        } else if (std::strcmp(command, "spawn") == 0 || std::strcmp(command, "daemon") == 0) {
          char name[64] = {}, program[512] = {};
          std::sscanf(line.c_str(), "%*s %63s %63s %15s %511s", name, geometryText, colourText,
                      program);
          spawnChild(name, geometryText, colourText, program, std::strcmp(command, "daemon") == 0);
        } else if (std::strcmp(command, "window") == 0) {
          char instanceName[64] = {}, className[64] = {};
          std::sscanf(line.c_str(), "%*s %63s %63s %63s %15s", instanceName, className,
                      geometryText, colourText);
          Window window =
              client.make(parseGeometry(geometryText), parseColour(colourText), false, false);
          setClass(display, window, className, instanceName);
          setProcess(display, window);
          XMapWindow(display, window);
          XFlush(display);
          client.announce(window);
        } else if (std::strcmp(command, "class") == 0) {
          char name[64] = {};
          unsigned long target = main;
          std::sscanf(line.c_str(), "%*s %63s %lu", name, &target);
          setClass(display, target, name);
          XFlush(display);
          client.announce(target);
        } else if (pointerOrBackground(display, main, line)) {
          client.announce(main);
        } else if (std::sscanf(line.c_str(), "animate %d", &count2) == 1) {
          unsigned long target = main;
          std::sscanf(line.c_str(), "animate %*d %lu", &target);
          const unsigned long shade =
              client.colours.count(target) ? client.colours[target] : colour;
          for (int i = 0; i < count2; ++i) {
            client.paint(target, (i % 2) ? shade : (shade ^ 0x000010));
            usleep(2000);
          }
          client.paint(target, shade);
          client.announce(target);
        } else if (client.draw(line)) {
          client.announce(main);
        } else if (std::strcmp(command, "paint") == 0) {
          std::sscanf(line.c_str(), "%*s %63s %15s", geometryText, colourText);
          const Geometry g = parseGeometry(geometryText);
          GC gc = XCreateGC(display, main, 0, nullptr);
          XSetForeground(display, gc, parseColour(colourText));
          XFillRectangle(display, main, gc, g.x, g.y, g.width, g.height);
          XFreeGC(display, gc);
          XSync(display, False);
          client.announce(main);
        } else if (std::strcmp(command, "child") == 0 || std::strcmp(command, "embed") == 0) {
          const bool embed = std::strcmp(command, "embed") == 0;
          unsigned long parent = main;
          char lazyWord[16] = {};
          if (embed) {
            std::sscanf(line.c_str(), "%*s %lu %63s %15s", &parent, geometryText, colourText);
          } else {
            std::sscanf(line.c_str(), "%*s %63s %15s %15s", geometryText, colourText, lazyWord);
          }
          Window window = client.make(parseGeometry(geometryText), parseColour(colourText), false,
                                      std::strcmp(lazyWord, "lazy") == 0, parent);
          XMapWindow(display, window);
          XSync(display, False);
          client.announce(window);
        } else if (std::strcmp(command, "unmap") == 0) {
          unsigned long target = None;
          int pixels = 0;
          const bool scroll = std::sscanf(line.c_str(), "%*s %lu scroll %d", &target, &pixels) == 2;
          XWindowAttributes attributes;
          XGetWindowAttributes(display, main, &attributes);
          GC gc = XCreateGC(display, main, 0, nullptr);
          // Sent together: the server carries out the copy before anyone else hears of the unmap.
          XUnmapWindow(display, target);
          if (scroll) {
            XCopyArea(display, main, main, gc, 0, 0, attributes.width, attributes.height - pixels,
                      0, pixels);
          }
          XFreeGC(display, gc);
          XSync(display, False);
          client.announce(target);
        } else if (std::strcmp(command, "remap") == 0) {
          XUnmapWindow(display, main);
          XMapWindow(display, main);
          XSync(display, False);
          client.announce(main);
        } else if (std::strcmp(command, "hop") == 0) {
          // hop ID PARENT+X+Y ...
          unsigned long target = None;
          int consumed = 0;
          std::sscanf(line.c_str(), "%*s %lu%n", &target, &consumed);
          const char* rest = line.c_str() + consumed;
          unsigned long parent = None;
          int x = 0, y = 0, used = 0;
          while (std::sscanf(rest, " %lu+%d+%d%n", &parent, &x, &y, &used) == 3) {
            client.place(target, parent, x, y);
            rest += used;
          }
          XUnmapWindow(display, target);
          XSync(display, False);
          client.announce(target);
        } else if (std::strcmp(command, "roam") == 0) {
          unsigned long target = None;
          std::sscanf(line.c_str(), "%*s %lu", &target);
          for (int step = 0;; ++step) {
            client.roamStep(target, step);
            usleep(1000);
          }
        } else if (std::sscanf(line.c_str(), "churn %d", &count2) == 1) {
          int pause = 2;
          std::sscanf(line.c_str(), "churn %*d %d", &pause);
          client.churn(count2, pause);
        } else if (std::sscanf(line.c_str(), "flicker %d", &count2) == 1) {
          int pause = 12;
          std::sscanf(line.c_str(), "flicker %*d %d", &pause);
          for (int i = 0; i < count2; ++i) {
            XUnmapWindow(display, main);
            XMapWindow(display, main);
            XSync(display, False);
            client.serve();
            usleep(static_cast<useconds_t>(pause) * 1000);
            client.serve();
          }
          client.announce(main);
        }
      }
    }
  }
  XCloseDisplay(display);
  return 0;
}
