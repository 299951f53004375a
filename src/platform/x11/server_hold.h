#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>

namespace corvane::platform::x11 {

// Holds the server (no other client's request is carried out) while it lives, for at most its
// bound: a hold still in place then is let go from another thread, whatever its owner waits on,
// and cutShort() tells the owner that the server was not held throughout what it read.
//
// A hold is never taken while a connection of this process is being opened (held() is false
// then): Xlib keeps its process-wide lock while a new connection waits for the server's first
// answer, which a held server never gives, and the extension libraries take that lock on many
// calls a held frame makes (XShmGetImage, XShapeSelectInput, XResQueryClientIds...). Such a call
// under the hold would wait for the connection, the connection for the hold.
//
// Holds nest on the thread that talks to a connection: only the outermost one takes and lets go
// of the server, and the inner ones share its bound, so a check that holds the server inside a
// held frame does not end the frame's hold early.
class ServerHold {
 public:
  // How long the server may be held: longer than any frame's work, far shorter than what people
  // notice as a frozen desktop.
  static constexpr double kLongestHold = 0.25;

  explicit ServerHold(Display* display, double bound = kLongestHold);
  ~ServerHold();
  ServerHold(const ServerHold&) = delete;
  ServerHold& operator=(const ServerHold&) = delete;

  // Whether the server was held (false: refused because a connection was being opened).
  bool held() const { return entry_ != 0; }
  // Whether the hold was let go before its end because it outlasted its bound.
  bool cutShort() const;

  // The holds of this process so far: how many were taken, how many were cut short, and the
  // longest time one kept the server.
  struct Record {
    std::uint64_t taken = 0;
    std::uint64_t cutShort = 0;
    double longestSeconds = 0;
  };
  static Record record();
  static void forgetRecord();

 private:
  Display* display_;
  bool outermost_ = false;
  // The outermost hold's, with the thread that lets it go; 0 when the server is not held.
  std::uint64_t entry_ = 0;
};

// While one lives, no hold of this process is taken; it waits for those in place to let the
// server go first. Kept around the opening of every connection of this process.
class ConnectionOpening {
 public:
  ConnectionOpening();
  ~ConnectionOpening();
  ConnectionOpening(const ConnectionOpening&) = delete;
  ConnectionOpening& operator=(const ConnectionOpening&) = delete;
};

}  // namespace corvane::platform::x11
