// Xlib's internal header, needed for the display's request buffer, is kept to this one file: it
// uses the `Status` macro that the backend's other files take back.
#include <X11/Xlibint.h>

#include "platform/x11/request_buffer.h"

namespace corvane::platform::x11 {
namespace {

// Called by Xlib at the end of every request function.
int emptyRequestBuffer(_XDisplay* display) {
  display->bufptr = display->buffer;
  return 0;
}

}  // namespace

std::size_t requestBufferCapacity(_XDisplay* display) {
  return static_cast<std::size_t>(display->bufmax - display->buffer);
}

void discardRequestsFromNowOn(_XDisplay* display, std::size_t capacity) {
  if (capacity > 0) display->bufmax = display->buffer + capacity;
  display->bufptr = display->buffer;
  display->synchandler = &emptyRequestBuffer;
  display->savedsynchandler = &emptyRequestBuffer;
}

}  // namespace corvane::platform::x11
