#include "platform/x11/server_hold.h"

#include <map>

namespace corvane::platform::x11 {
namespace {

// How deeply each connection is held on this thread (a connection is used by one thread at a
// time, its event pump's).
thread_local std::map<Display*, int> holdDepths;

}  // namespace

ServerHold::ServerHold(Display* display) : display_(display) {
  if (holdDepths[display_]++ > 0) return;
  XGrabServer(display_);
  XSync(display_, False);  // every event sent before the hold is in the queue now
}

ServerHold::~ServerHold() {
  auto depth = holdDepths.find(display_);
  if (--depth->second > 0) return;
  holdDepths.erase(depth);
  XUngrabServer(display_);
  XFlush(display_);
}

}  // namespace corvane::platform::x11
