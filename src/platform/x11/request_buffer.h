#pragma once

#include <cstddef>

struct _XDisplay;

namespace corvane::platform::x11 {

// Xlib's buffer of requests not yet sent, while Xlib holds the connection's socket.
std::size_t requestBufferCapacity(_XDisplay* display);

// After the connection was lost, Xlib neither sends nor drops what it is asked for: its request
// buffer fills, and the request that no longer fits comes back null to the Xlib function making it
// (a crash). Once XCB has held the socket (a batch of XCB requests on the same display) the buffer
// even has no room at all. From this call on, the buffer has `capacity` bytes and is emptied after
// every request, so each later request fails the way requests on a lost connection do.
void discardRequestsFromNowOn(_XDisplay* display, std::size_t capacity);

}  // namespace corvane::platform::x11
