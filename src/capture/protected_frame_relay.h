#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "capture/protected_captured_frame.h"
#include "capture/protected_frame_delivery_state.h"
#include "capture/protected_output_surface.h"
#include "platform/geometry.h"
#include "runtime/serial_queue.h"

namespace corvane::capture {

inline constexpr const char* kProtectedShareRelayQueueLabel =
    "com.pemberquist.corvane.protected-share.relay";

// What the relay tells its owner about each frame it wrote to the surface.
struct ProtectedRelayedFrame {
  std::uint64_t sequence = 0;
  platform::Size pixelSize;
  std::uint64_t generation = 0;
  std::uint64_t sourceContextGeneration = 0;
  runtime::Uptime timestamp = 0;
};

// Writes drained frames to the output surface on its own serial queue. Just before writing it
// checks the frame again against the delivery configuration in force at that moment, so a pause,
// a desktop switch, a filter change or a new capture generation that happened while the frame was
// queued still keeps it off the output; a change made between that check and the write is caught
// by the surface, which refuses retired generations under its own lock. The pixels are handed over
// as they are: the surface holds the very buffer the capture produced.
class ProtectedFrameRelay : public std::enable_shared_from_this<ProtectedFrameRelay> {
 public:
  using PublishedHandler = std::function<void(const ProtectedRelayedFrame&)>;

  static std::shared_ptr<ProtectedFrameRelay> make(
      std::shared_ptr<ProtectedOutputSurface> surface,
      std::shared_ptr<ProtectedFrameDeliveryState> deliveryState,
      std::shared_ptr<runtime::SerialQueue> queue = nullptr);

  // Runs on the relay queue after each frame written to the surface.
  void setPublishedHandler(PublishedHandler handler);

  // Queues `frame`, drained under the two generations, for publication.
  void publish(ProtectedCapturedFrame frame, std::uint64_t generation,
               std::uint64_t sourceContextGeneration);

  const std::shared_ptr<runtime::SerialQueue>& queue() const { return queue_; }
  // Frames refused at the last check (counted on the relay queue).
  std::uint64_t droppedFrameCount() const;

  ProtectedFrameRelay(std::shared_ptr<ProtectedOutputSurface> surface,
                      std::shared_ptr<ProtectedFrameDeliveryState> deliveryState,
                      std::shared_ptr<runtime::SerialQueue> queue);

 private:
  void write(const ProtectedCapturedFrame& frame, std::uint64_t generation,
             std::uint64_t sourceContextGeneration);

  std::shared_ptr<ProtectedOutputSurface> surface_;
  std::shared_ptr<ProtectedFrameDeliveryState> deliveryState_;
  std::shared_ptr<runtime::SerialQueue> queue_;
  mutable std::mutex mutex_;
  PublishedHandler handler_;
  std::uint64_t dropped_ = 0;
};

}  // namespace corvane::capture
