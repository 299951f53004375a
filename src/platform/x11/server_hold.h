#pragma once

#include "platform/x11/xlib.h"

namespace corvane::platform::x11 {

// Holds the server (no other client's request is carried out) while it lives. Holds nest on the
// thread that talks to a connection: only the outermost one lets the server go, so a check that
// holds the server inside a held frame does not end the frame's hold early.
class ServerHold {
 public:
  explicit ServerHold(Display* display);
  ~ServerHold();
  ServerHold(const ServerHold&) = delete;
  ServerHold& operator=(const ServerHold&) = delete;

 private:
  Display* display_;
};

}  // namespace corvane::platform::x11
