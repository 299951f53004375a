#pragma once

// The X11 benchmarks' reference: one XShmGetImage of the whole root into a segment of its own.
#include <sys/ipc.h>
#include <sys/shm.h>

#include "platform/x11/xlib.h"

namespace corvane::bench {

class RootGrab {
 public:
  explicit RootGrab(Display* display) : display_(display) {
    const int width = DisplayWidth(display, 0), height = DisplayHeight(display, 0);
    image_ = XShmCreateImage(display, DefaultVisual(display, 0), DefaultDepth(display, 0), ZPixmap,
                             nullptr, &segment_, width, height);
    segment_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * height,
                            IPC_CREAT | 0600);
    segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    XShmAttach(display, &segment_);
    XSync(display, False);
    shmctl(segment_.shmid, IPC_RMID, nullptr);
  }
  ~RootGrab() {
    XShmDetach(display_, &segment_);
    XSync(display_, False);
    shmdt(segment_.shmaddr);
    image_->data = nullptr;
    XDestroyImage(image_);
  }
  RootGrab(const RootGrab&) = delete;
  RootGrab& operator=(const RootGrab&) = delete;

  void once() { XShmGetImage(display_, DefaultRootWindow(display_), image_, 0, 0, AllPlanes); }

 private:
  Display* display_;
  XShmSegmentInfo segment_{};
  XImage* image_ = nullptr;
};

}  // namespace corvane::bench
