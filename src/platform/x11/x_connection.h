#pragma once

#include "platform/x11/xlib.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>

#include "runtime/result.h"

namespace corvane::platform::x11 {

// One connection to the X server, used by one thread. X protocol errors never end the process:
// they are recorded by the innermost ErrorTrap of the calling thread and otherwise ignored. A
// lost connection marks the connection as lost instead of exiting. Connections may open and
// close on several threads at once: opening registers the display with the X extension libraries
// that share process-wide state, so a display of this process that uses SHAPE, MIT-SHM, RANDR,
// X-Resource, XTEST or MIT-SCREEN-SAVER must be opened through here.
class XConnection {
 public:
  // Opens the display named by `displayName`, or $DISPLAY when empty.
  static runtime::Result<std::unique_ptr<XConnection>> open(const std::string& displayName = {});
  ~XConnection();
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;

  Display* display() const { return display_; }
  Window root() const { return DefaultRootWindow(display_); }
  int screen() const { return DefaultScreen(display_); }
  int fileDescriptor() const { return ConnectionNumber(display_); }
  const std::string& name() const { return name_; }

  // True once the server went away; nothing may be asked of the display afterwards.
  bool isLost() const { return lost_.load(); }
  // Checks the socket without blocking and marks the connection lost when it hung up.
  bool probeLost();

  // Makes the connection the calling thread's for good: an event pump's, which opened it for
  // itself. Everything built on it then belongs to that thread too.
  void bindToThisThread() { owner_.store(std::this_thread::get_id()); }
  // True unless the connection is bound to a thread other than the caller's.
  bool isUsableOnThisThread() const {
    const auto owner = owner_.load();
    return owner == std::thread::id() || owner == std::this_thread::get_id();
  }

 private:
  XConnection(Display* display, std::string name);
  static void onConnectionLost(Display* display, void* self);

  Display* display_;
  std::string name_;
  std::atomic<bool> lost_{false};
  std::atomic<std::thread::id> owner_{};
  std::size_t requestBufferCapacity_ = 0;
};

// Records the X errors raised by requests made on this thread while it lives, and only those: an
// earlier request's error read meanwhile goes to an outer trap open when it was made, or to none.
// Sync() makes the server answer every request sent so far, so the errors they caused are in.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // Waits for the server to process the requests so far; true when none of them failed.
  bool sync();
  bool failed() const { return errorCode_ != 0; }
  int errorCode() const { return errorCode_; }
  int requestCode() const { return requestCode_; }
  void clear() { errorCode_ = 0; }

 private:
  friend int trapXError(Display*, XErrorEvent*);
  Display* display_;
  ErrorTrap* outer_;
  unsigned long firstSerial_;  // of the first request made while it lives
  int errorCode_ = 0;
  int requestCode_ = 0;
};

// Stops the process with the caller's location when code that belongs to the thread owning
// `connection` (its event pump's) runs on another. Checked in debug and sanitizer builds, as the
// main actor is (CORVANE_CHECK_MAIN_ACTOR); free otherwise. A connection no pump owns passes.
#if defined(CORVANE_CHECK_MAIN_ACTOR)
void assertEventPumpThread(const XConnection& connection,
                           const char* function = __builtin_FUNCTION(),
                           const char* file = __builtin_FILE(), int line = __builtin_LINE());
#else
inline void assertEventPumpThread(const XConnection&) {}
#endif

// Xlib's thread support (once per process) and the process's X error handlers. Opening the
// first connection does it too; the application calls it first, before any other library opens
// a display, and again after a library that installs handlers of its own has started.
void installProcessHandlers();

// Whether the server offers the extension named `name` (as XQueryExtension knows it).
bool hasExtension(Display* display, const char* name);

}  // namespace corvane::platform::x11
