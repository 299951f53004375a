#include "platform/x11/shared_frames.h"

#include "platform/shared_memory_pixels.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

SharedFrames::~SharedFrames() {
  if (pooled_.empty()) return;
  ErrorTrap trap(display_);
  for (auto& pooled : pooled_) release(pooled);
  XSync(display_, False);
}

void SharedFrames::abandon() {
  // The memory stays with the buffers; the server's side went with the connection.
  for (auto& pooled : pooled_) pooled.segment = XShmSegmentInfo{};
  pooled_.clear();
}

SharedFrames::Pooled SharedFrames::make(int width, int height) {
  Pooled pooled;
  auto shared = makeSharedMemoryPixels(width, height);
  if (!shared) {
    pooled.buffer = std::make_shared<PixelBuffer>(width, height);
    return pooled;
  }
  XShmSegmentInfo segment{};
  segment.shmid = shared->sharedMemory()->id;
  segment.shmaddr = reinterpret_cast<char*>(shared->mutableData());
  segment.readOnly = False;
  ErrorTrap trap(display_);
  XShmAttach(display_, &segment);
  if (!trap.sync()) {
    pooled.buffer = std::make_shared<PixelBuffer>(width, height);
    return pooled;
  }
  // The buffer keeps the memory mapped while anyone holds it, after the server let go too.
  pooled.buffer = std::move(shared);
  pooled.segment = segment;
  return pooled;
}

void SharedFrames::release(Pooled& pooled) {
  if (pooled.segment.shmaddr != nullptr) XShmDetach(display_, &pooled.segment);
  pooled = Pooled{};
}

SharedFrames::Frame SharedFrames::acquire(int width, int height) {
  auto frameOf = [](const Pooled& pooled) {
    return Frame{pooled.buffer, pooled.segment.shmaddr != nullptr ? &pooled.segment : nullptr};
  };
  for (auto& pooled : pooled_) {
    if (pooled.buffer.use_count() == 1 && pooled.buffer->width() == width &&
        pooled.buffer->height() == height) {
      return frameOf(pooled);
    }
  }
  if (pooled_.size() < kPooled) {
    pooled_.push_back(make(width, height));
    return frameOf(pooled_.back());
  }
  // The pool is full of frames still in use or of another size: replace one of the latter.
  for (auto& pooled : pooled_) {
    if (pooled.buffer.use_count() == 1) {
      ErrorTrap trap(display_);
      release(pooled);
      pooled = make(width, height);
      return frameOf(pooled);
    }
  }
  return Frame{std::make_shared<PixelBuffer>(width, height), nullptr};
}

}  // namespace corvane::platform::x11
