#include "capture/protected_frame_relay.h"

#include <utility>

#include "runtime/runtime.h"

namespace corvane::capture {

std::shared_ptr<ProtectedFrameRelay> ProtectedFrameRelay::make(
    std::shared_ptr<ProtectedOutputSurface> surface,
    std::shared_ptr<ProtectedFrameDeliveryState> deliveryState,
    std::shared_ptr<runtime::SerialQueue> queue) {
  if (!queue) queue = runtime::makeSerialQueue(kProtectedShareRelayQueueLabel);
  return std::make_shared<ProtectedFrameRelay>(std::move(surface), std::move(deliveryState),
                                               std::move(queue));
}

ProtectedFrameRelay::ProtectedFrameRelay(std::shared_ptr<ProtectedOutputSurface> surface,
                                         std::shared_ptr<ProtectedFrameDeliveryState> deliveryState,
                                         std::shared_ptr<runtime::SerialQueue> queue)
    : surface_(std::move(surface)),
      deliveryState_(std::move(deliveryState)),
      queue_(std::move(queue)) {}

void ProtectedFrameRelay::setPublishedHandler(PublishedHandler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void ProtectedFrameRelay::publish(ProtectedCapturedFrame frame, std::uint64_t generation,
                                  std::uint64_t sourceContextGeneration) {
  std::weak_ptr<ProtectedFrameRelay> weakSelf = weak_from_this();
  queue_->post([weakSelf, frame = std::move(frame), generation, sourceContextGeneration] {
    if (auto self = weakSelf.lock()) self->write(frame, generation, sourceContextGeneration);
  });
}

std::uint64_t ProtectedFrameRelay::droppedFrameCount() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void ProtectedFrameRelay::write(const ProtectedCapturedFrame& frame, std::uint64_t generation,
                                std::uint64_t sourceContextGeneration) {
  const auto configuration = deliveryState_->configuration();
  const bool admitted =
      configuration.admitsPublication(generation, sourceContextGeneration, frame.timestamp) &&
      surface_->update(frame.pixelBuffer, frame.sequence, generation);
  PublishedHandler handler;
  {
    std::lock_guard lock(mutex_);
    if (!admitted) {
      ++dropped_;
      return;
    }
    handler = handler_;
  }
  if (!handler) return;
  ProtectedRelayedFrame relayed;
  relayed.sequence = frame.sequence;
  relayed.pixelSize = platform::Size{static_cast<double>(frame.pixelBuffer->width()),
                                     static_cast<double>(frame.pixelBuffer->height())};
  relayed.generation = generation;
  relayed.sourceContextGeneration = sourceContextGeneration;
  relayed.timestamp = frame.timestamp;
  handler(relayed);
}

}  // namespace corvane::capture
