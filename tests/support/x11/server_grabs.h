#pragma once

// The server grabs an X server carries out, as the server itself records them (the RECORD
// extension): every GrabServer request of every client, however the client sent it (Xlib, xcb),
// counted by the process that made the connection (X-Resource), from the moment the counter is
// ready until it ends. For tests and benchmarks.
#include <X11/Xproto.h>

#include <sys/types.h>

#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/x11/xlib.h"

namespace corvane::testing {

class ServerGrabCounter {
 public:
  explicit ServerGrabCounter(const std::string& displayName)
      : control_((XInitThreads(), XOpenDisplay(displayName.c_str()))),
        data_(XOpenDisplay(displayName.c_str())) {
    int major = 0, minor = 0;
    if (control_ == nullptr || data_ == nullptr || !XRecordQueryVersion(control_, &major, &minor)) {
      return;
    }
    XRecordRange* range = XRecordAllocRange();
    if (range == nullptr) return;
    range->core_requests.first = X_GrabServer;
    range->core_requests.last = X_GrabServer;
    XRecordClientSpec everyClient = XRecordAllClients;
    context_ = XRecordCreateContext(control_, 0, &everyClient, 1, &range, 1);
    XFree(range);
    XSync(control_, False);
    if (context_ == 0) return;
    std::promise<bool> started;
    auto recording = started.get_future();
    reader_ = std::thread([this, &started] {
      started_ = &started;
      if (!XRecordEnableContext(data_, context_, &ServerGrabCounter::take,
                                reinterpret_cast<XPointer>(this)) &&
          started_ != nullptr) {
        started_->set_value(false);
      }
    });
    ok_ = recording.get();
  }

  ~ServerGrabCounter() {
    if (context_ != 0) {
      XRecordDisableContext(control_, context_);
      XSync(control_, False);
    }
    if (reader_.joinable()) reader_.join();
    if (context_ != 0) {
      XRecordFreeContext(control_, context_);
      XSync(control_, False);
    }
    if (data_ != nullptr) XCloseDisplay(data_);
    if (control_ != nullptr) XCloseDisplay(control_);
  }
  ServerGrabCounter(const ServerGrabCounter&) = delete;
  ServerGrabCounter& operator=(const ServerGrabCounter&) = delete;

  // Whether the server records for it (false: no RECORD extension, or no connection).
  bool ok() const { return ok_; }
  // The grabs by connections of process `pid` since the counter was ready or last forgot them.
  std::uint64_t grabsBy(pid_t pid) const {
    std::lock_guard lock(mutex_);
    const auto found = grabs_.find(pid);
    return found == grabs_.end() ? 0 : found->second;
  }
  void forget() {
    std::lock_guard lock(mutex_);
    grabs_.clear();
  }

 private:
  static void take(XPointer self, XRecordInterceptData* data) {
    auto* counter = reinterpret_cast<ServerGrabCounter*>(self);
    if (data->category == XRecordStartOfData && counter->started_ != nullptr) {
      counter->started_->set_value(true);
      counter->started_ = nullptr;
    } else if (data->category == XRecordFromClient && data->data != nullptr &&
               reinterpret_cast<const xReq*>(data->data)->reqType == X_GrabServer) {
      counter->noteGrab(data->id_base);
    }
    XRecordFreeData(data);
  }

  // Asked once the grab is over (the server answers nobody else meanwhile); a connection gone
  // by then counts for process 0.
  void noteGrab(XID client) {
    XResClientIdSpec spec{client, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    pid_t pid = 0;
    if (XResQueryClientIds(control_, 1, &spec, &count, &values) == Success) {
      for (long i = 0; i < count && pid == 0; ++i) pid = XResGetClientPid(&values[i]);
      XResClientIdsDestroy(count, values);
    }
    std::lock_guard lock(mutex_);
    ++grabs_[pid > 0 ? pid : 0];
  }

  Display* control_;
  Display* data_;  // RECORD's own: blocked reading what the server records
  XRecordContext context_ = 0;
  std::thread reader_;
  std::promise<bool>* started_ = nullptr;  // until recording starts, on the reader's thread
  mutable std::mutex mutex_;
  std::map<pid_t, std::uint64_t> grabs_;
  bool ok_ = false;
};

}  // namespace corvane::testing
