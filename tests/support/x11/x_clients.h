#pragma once

// The clients of an X server as another client sees them, for tests and benchmarks: the
// connections a process holds (through X-Resource), ending one of them as any client may
// (XKillClient), and a client that measures how long the server leaves it without an answer.
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace corvane::testing {

// The resource bases of the connections process `pid` holds, oldest first.
inline std::vector<XID> connectionsOf(Display* display, pid_t pid) {
  XResClientIdSpec everyClient{0, XRES_CLIENT_ID_PID_MASK};
  long count = 0;
  XResClientIdValue* values = nullptr;
  std::vector<XID> bases;
  if (XResQueryClientIds(display, 1, &everyClient, &count, &values) != Success) return bases;
  for (long i = 0; i < count; ++i) {
    if (XResGetClientPid(&values[i]) == pid) bases.push_back(values[i].spec.client);
  }
  XResClientIdsDestroy(count, values);
  std::sort(bases.begin(), bases.end());
  return bases;
}

// The connection of another client that made `resource`.
inline XID connectionOwning(Display* display, XID resource) {
  XResClientIdSpec spec{resource, XRES_CLIENT_ID_XID_MASK};
  long count = 0;
  XResClientIdValue* values = nullptr;
  XID base = 0;
  if (XResQueryClientIds(display, 1, &spec, &count, &values) != Success) return 0;
  if (count > 0) base = values[0].spec.client;
  XResClientIdsDestroy(count, values);
  return base;
}

// Ends the connection whose resource base is `base` as XKillClient does, through one of the
// resources it made (the server takes no other id); false when it made none.
inline bool killConnection(Display* display, XID base) {
  int clientCount = 0;
  XResClient* clients = nullptr;
  XID mask = 0;
  if (XResQueryClients(display, &clientCount, &clients) != 0) {
    for (int i = 0; i < clientCount; ++i) {
      if (clients[i].resource_base == base) mask = clients[i].resource_mask;
    }
    XFree(clients);
  }
  XResResourceIdSpec everyResource{0, 0};
  long count = 0;
  XResResourceSizeValue* sizes = nullptr;
  if (mask == 0 ||
      XResQueryResourceBytes(display, base, 1, &everyResource, &count, &sizes) != Success) {
    return false;
  }
  XID made = 0;
  for (long i = 0; i < count && made == 0; ++i) {
    const XID resource = sizes[i].size.spec.resource;
    // Ids the server makes for a client itself lie outside its range and are refused.
    if ((resource & ~mask) == base) made = resource;
  }
  XResResourceSizeValuesDestroy(count, sizes);
  if (made == 0) return false;
  XKillClient(display, made);
  XSync(display, False);
  return true;
}

// Asks the server something every 20 ms on a connection of its own and keeps the longest time
// between two answers.
class PingClient {
 public:
  explicit PingClient(const std::string& displayName)
      : display_(XOpenDisplay(displayName.c_str())) {
    if (display_ == nullptr) return;
    thread_ = std::thread([this] {
      auto last = std::chrono::steady_clock::now();
      while (!stopping_.load()) {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display_, &focus, &revert);
        const auto now = std::chrono::steady_clock::now();
        const double gap = std::chrono::duration<double>(now - last).count();
        if (gap > longestGap_.load()) longestGap_.store(gap);
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  }
  ~PingClient() {
    stopping_.store(true);
    if (thread_.joinable()) thread_.join();
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  PingClient(const PingClient&) = delete;
  PingClient& operator=(const PingClient&) = delete;

  bool ok() const { return display_ != nullptr; }
  double longestGapSeconds() const { return longestGap_.load(); }
  void forgetGaps() { longestGap_.store(0); }

 private:
  Display* display_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<double> longestGap_{0};
};

}  // namespace corvane::testing
