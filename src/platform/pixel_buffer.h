#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace corvane::platform {

// A 32-bit BGRA image (byte order B, G, R, A in memory; premultiplied, opaque on screen).
// Capture writes it once; afterwards it is shared read-only between the hand-off records, the
// output surface and the canvas, so a frame crosses the pipeline without another copy.
class PixelBuffer {
 public:
  PixelBuffer(int width, int height)
      : width_(width),
        height_(height),
        bytesPerRow_(width * 4),
        bytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {}

  int width() const { return width_; }
  int height() const { return height_; }
  int bytesPerRow() const { return bytesPerRow_; }
  std::size_t byteCount() const { return bytes_.size(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  std::uint8_t* mutableData() { return bytes_.data(); }

  // The pixel at (x, y) as 0xAARRGGBB.
  std::uint32_t pixel(int x, int y) const {
    std::uint32_t value;
    std::memcpy(&value, bytes_.data() + static_cast<std::size_t>(y) * bytesPerRow_ + x * 4, 4);
    return value;
  }
  void setPixel(int x, int y, std::uint32_t argb) {
    std::memcpy(bytes_.data() + static_cast<std::size_t>(y) * bytesPerRow_ + x * 4, &argb, 4);
  }
  void fill(std::uint32_t argb) {
    auto* p = reinterpret_cast<std::uint32_t*>(bytes_.data());
    std::fill(p, p + static_cast<std::size_t>(width_) * height_, argb);
  }

 private:
  int width_;
  int height_;
  int bytesPerRow_;
  std::vector<std::uint8_t> bytes_;
};

using SharedPixelBuffer = std::shared_ptr<const PixelBuffer>;

}  // namespace corvane::platform
