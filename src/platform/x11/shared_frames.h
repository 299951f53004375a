#pragma once

#include "platform/x11/xlib.h"

#include <memory>
#include <vector>

#include "platform/pixel_buffer.h"

namespace corvane::platform::x11 {

// The frame buffers a composer writes, a few of them in shared memory the X server writes into
// directly. A buffer its holders have let go of is written again; the consumer keeps any it holds.
class SharedFrames {
 public:
  static constexpr std::size_t kPooled = 4;

  explicit SharedFrames(Display* display) : display_(display) { pooled_.reserve(kPooled); }
  ~SharedFrames();
  SharedFrames(const SharedFrames&) = delete;
  SharedFrames& operator=(const SharedFrames&) = delete;

  struct Frame {
    std::shared_ptr<PixelBuffer> buffer;
    // The buffer's segment as the server knows it; nothing when its pixels must be copied in.
    const XShmSegmentInfo* segment = nullptr;
  };
  // A buffer of that size nobody else holds: one written before when there is one.
  Frame acquire(int width, int height);
  // Forgets the segments without asking the server (after the connection was lost).
  void abandon();

 private:
  struct Pooled {
    std::shared_ptr<PixelBuffer> buffer;
    XShmSegmentInfo segment{};  // shmaddr unset: the buffer has memory of its own
  };
  Pooled make(int width, int height);
  void release(Pooled& pooled);

  Display* display_;
  std::vector<Pooled> pooled_;
};

}  // namespace corvane::platform::x11
