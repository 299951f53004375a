#include "platform/x11/x_connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/x11/request_buffer.h"

namespace corvane::platform::x11 {
namespace {

thread_local ErrorTrap* currentTrap = nullptr;

// Xlib calls the display's exit handler next: a connection of ours marks itself lost there and
// its thread winds down; nothing here may end the process, whatever thread this is.
int quietIOError(Display*) {
  return 0;
}

// libXext keeps one process-wide record of the displays that use the Generic Event extension.
// Every display that first uses SHAPE, MIT-SHM, RANDR, X-Resource, XTEST or MIT-SCREEN-SAVER
// joins it; the record is made when the first display joins and freed when the last one closes,
// and neither step takes a lock. A display closing on one thread while another thread's display
// joins (one capture ending as the next starts) adds that display to freed memory and corrupts
// the heap. So every connection joins once, when it opens, and closes, both under this lock;
// later uses of those extensions find the display already registered and leave the record alone.
std::mutex& sharedExtensionRecordLock() {
  static std::mutex lock;
  return lock;
}

void registerSharedRecordExtensions(Display* display) {
  int event = 0, error = 0, major = 0, minor = 0;
  XShapeQueryExtension(display, &event, &error);
  XShmQueryExtension(display);
  XRRQueryExtension(display, &event, &error);
  XResQueryExtension(display, &event, &error);
  XTestQueryExtension(display, &event, &error, &major, &minor);
  XScreenSaverQueryExtension(display, &event, &error);
}

}  // namespace

int trapXError(Display* display, XErrorEvent* event) {
  // An error arrives whenever Xlib next reads from the server, which may be long after the
  // request that failed (one sent without waiting for the answer): it belongs to the trap that
  // was open when that request was made, never to one opened since.
  for (ErrorTrap* trap = currentTrap; trap != nullptr; trap = trap->outer_) {
    if (trap->display_ != display || event->serial < trap->firstSerial_) continue;
    if (trap->errorCode_ == 0) {
      trap->errorCode_ = event->error_code;
      trap->requestCode_ = event->request_code;
    }
    break;
  }
  // Untrapped errors come from windows that went away between an event and a request: the
  // next event about them brings the model up to date, so they are dropped here.
  return 0;
}

void installProcessHandlers() {
  static std::once_flag once;
  std::call_once(once, [] { XInitThreads(); });
  // Every call: a library that opens its own display (Qt's xcb plugin) installs handlers of its
  // own that ignore the traps and end the process from whichever thread sees the server go.
  XSetErrorHandler(&trapXError);
  XSetIOErrorHandler(&quietIOError);
}

runtime::Result<std::unique_ptr<XConnection>> XConnection::open(const std::string& displayName) {
  installProcessHandlers();
  std::string name = displayName;
  if (name.empty()) {
    const char* env = std::getenv("DISPLAY");
    if (env == nullptr || *env == '\0') {
      return runtime::Error{"No X display is set (DISPLAY is empty); log in to an X11 session."};
    }
    name = env;
  }
  Display* display = XOpenDisplay(name.c_str());
  if (display == nullptr) {
    return runtime::Error{"Could not connect to the X display " + name + "."};
  }
  std::unique_ptr<XConnection> connection(new XConnection(display, name));
  XSetIOErrorExitHandler(display, &XConnection::onConnectionLost, connection.get());
  {
    std::lock_guard lock(sharedExtensionRecordLock());
    registerSharedRecordExtensions(display);
  }
  // Xlib holds the socket after the round trips above: its buffer has its full size now.
  connection->requestBufferCapacity_ = requestBufferCapacity(display);
  if (connection->isLost()) {
    return runtime::Error{"The connection to the X display " + name + " was lost."};
  }
  return connection;
}

XConnection::XConnection(Display* display, std::string name)
    : display_(display), name_(std::move(name)) {}

XConnection::~XConnection() {
  std::lock_guard lock(sharedExtensionRecordLock());
  if (lost_.load()) {
    // What closing asks of a lost server fails the way every request on a lost connection does
    // (the I/O error handlers return); the display and its socket are freed all the same.
    XSetIOErrorExitHandler(
        display_, [](Display* display, void*) { discardRequestsFromNowOn(display, 0); }, nullptr);
  }
  XCloseDisplay(display_);
}

void XConnection::onConnectionLost(Display* display, void* self) {
  auto* connection = static_cast<XConnection*>(self);
  connection->lost_.store(true);
  discardRequestsFromNowOn(display, connection->requestBufferCapacity_);
}

bool XConnection::probeLost() {
  if (lost_.load()) return true;
  pollfd descriptor{fileDescriptor(), POLLIN, 0};
  if (poll(&descriptor, 1, 0) > 0 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL))) {
    lost_.store(true);
  } else if (descriptor.revents & POLLIN) {
    char byte;
    if (recv(fileDescriptor(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) lost_.store(true);
  }
  return lost_.load();
}

ErrorTrap::ErrorTrap(Display* display)
    : display_(display), outer_(currentTrap), firstSerial_(NextRequest(display)) {
  currentTrap = this;
}

ErrorTrap::~ErrorTrap() {
  currentTrap = outer_;
}

bool ErrorTrap::sync() {
  XSync(display_, False);
  return errorCode_ == 0;
}

bool hasExtension(Display* display, const char* name) {
  int opcode = 0, event = 0, error = 0;
  return XQueryExtension(display, name, &opcode, &event, &error) != 0;
}

#if defined(CORVANE_CHECK_MAIN_ACTOR)
void assertEventPumpThread(const XConnection& connection, const char* function, const char* file,
                           int line) {
  if (connection.isUsableOnThisThread()) return;
  std::fprintf(stderr, "corvane: %s (%s:%d) must run on its event pump's thread\n", function, file,
               line);
  std::abort();
}
#endif

}  // namespace corvane::platform::x11
