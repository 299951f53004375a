#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace corvane::platform {

// Where an image differs from an earlier image of the same source: that image's serial and the
// rectangles (in pixels) outside which the two hold the same pixels.
struct PixelChanges {
  struct Area {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Area&) const = default;
  };
  std::uint64_t sinceSerial = 0;
  std::vector<Area> areas;
};

// What shows of each window in an image, bottom to top: per window, the rectangles (in pixels,
// not overlapping one another) where its own pixels are.
using WindowAreas = std::vector<std::vector<PixelChanges::Area>>;

// The windows an image drew and those it left out, by id (top-level windows and windows embedded
// in them; sorted), so that what is drawn over the image can tell whose window lies beneath.
struct ImageWindows {
  std::vector<std::uint32_t> shown;
  std::vector<std::uint32_t> leftOut;
  bool operator==(const ImageWindows&) const = default;
};

// A SysV shared-memory segment, by the id shmget gave it.
struct SharedMemorySegment {
  int id = -1;
  bool operator==(const SharedMemorySegment&) const = default;
};

// A 32-bit BGRA image (byte order B, G, R, A in memory; premultiplied, opaque on screen).
// Capture writes it once; afterwards it is shared read-only between the hand-off records, the
// output surface and the canvas, so a frame crosses the pipeline without another copy.
//
// Each buffer has a serial of its own (a copy, or the same buffer written again, gets a new one)
// and may say where it differs from an earlier buffer (changes()), so a consumer that shows that
// earlier buffer can redraw only what changed. A buffer says nothing of the kind unless its
// writer set it, and forgets it when its pixels are written again or copied: unknown changes
// mean the whole image.
class PixelBuffer {
 public:
  PixelBuffer(int width, int height)
      : width_(width),
        height_(height),
        bytesPerRow_(width * 4),
        bytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4),
        pixels_(bytes_.data()) {}
  // Pixels in memory the caller provides (width * height * 4 bytes, shared with another process
  // say), kept for as long as the buffer lives; `segment` names that memory when it is a SysV
  // shared-memory segment, so another process (the X server) can read it in place. A copy has
  // memory of its own.
  PixelBuffer(int width, int height, std::shared_ptr<std::uint8_t> memory,
              std::optional<SharedMemorySegment> segment = std::nullopt)
      : width_(width),
        height_(height),
        bytesPerRow_(width * 4),
        memory_(std::move(memory)),
        pixels_(memory_.get()),
        segment_(segment) {}
  PixelBuffer(const PixelBuffer& other)
      : width_(other.width_),
        height_(other.height_),
        bytesPerRow_(other.bytesPerRow_),
        bytes_(other.pixels_, other.pixels_ + other.byteCount()),
        pixels_(bytes_.data()),
        windowAreas_(other.windowAreas_),
        windows_(other.windows_) {}
  PixelBuffer& operator=(const PixelBuffer& other) {
    if (this == &other) return *this;
    width_ = other.width_;
    height_ = other.height_;
    bytesPerRow_ = other.bytesPerRow_;
    bytes_.assign(other.pixels_, other.pixels_ + other.byteCount());
    memory_.reset();
    pixels_ = bytes_.data();
    segment_.reset();
    rewritten();
    return *this;
  }
  // A moved vector keeps its storage, so the pixels stay where they are.
  PixelBuffer(PixelBuffer&&) noexcept = default;
  PixelBuffer& operator=(PixelBuffer&&) noexcept = default;

  int width() const { return width_; }
  int height() const { return height_; }
  int bytesPerRow() const { return bytesPerRow_; }
  std::size_t byteCount() const {
    return static_cast<std::size_t>(bytesPerRow_) * static_cast<std::size_t>(height_);
  }
  const std::uint8_t* data() const { return pixels_; }
  // The shared-memory segment the pixels live in (at its start); nothing for private memory.
  const std::optional<SharedMemorySegment>& sharedMemory() const { return segment_; }
  // For writing the pixels: forgets what changes() said.
  std::uint8_t* mutableData() {
    rewritten();
    return pixels_;
  }

  std::uint64_t serial() const { return serial_; }
  // Where this image differs from the buffer with serial changes()->sinceSerial; nothing when
  // unknown. Set by the writer once the pixels are final, before the buffer is shared.
  const std::optional<PixelChanges>& changes() const { return changes_; }
  void setChanges(PixelChanges changes) { changes_ = std::move(changes); }
  // What shows of each window, when the writer knew the windows it drew; nothing when unknown.
  // Set by the writer with changes(), and forgotten the same way.
  const std::optional<WindowAreas>& windowAreas() const { return windowAreas_; }
  void setWindowAreas(WindowAreas areas) { windowAreas_ = std::move(areas); }
  // Which windows it drew and left out, when the writer knew; set and forgotten likewise.
  const std::optional<ImageWindows>& windows() const { return windows_; }
  void setWindows(ImageWindows windows) { windows_ = std::move(windows); }

  // The pixel at (x, y) as 0xAARRGGBB.
  std::uint32_t pixel(int x, int y) const {
    std::uint32_t value;
    std::memcpy(&value, pixels_ + static_cast<std::size_t>(y) * bytesPerRow_ + x * 4, 4);
    return value;
  }
  void setPixel(int x, int y, std::uint32_t argb) {
    rewritten();
    std::memcpy(pixels_ + static_cast<std::size_t>(y) * bytesPerRow_ + x * 4, &argb, 4);
  }
  void fill(std::uint32_t argb) {
    rewritten();
    auto* p = reinterpret_cast<std::uint32_t*>(pixels_);
    std::fill(p, p + static_cast<std::size_t>(width_) * height_, argb);
  }

 private:
  int width_;
  int height_;
  int bytesPerRow_;
  std::vector<std::uint8_t> bytes_;
  std::shared_ptr<std::uint8_t> memory_;
  std::uint8_t* pixels_ = nullptr;  // into bytes_ or memory_
  std::optional<SharedMemorySegment> segment_;
  std::uint64_t serial_ = nextSerial();
  std::optional<PixelChanges> changes_;
  std::optional<WindowAreas> windowAreas_;
  std::optional<ImageWindows> windows_;

  // Pixels written again make another image.
  void rewritten() {
    serial_ = nextSerial();
    changes_.reset();
    windowAreas_.reset();
    windows_.reset();
  }
  static std::uint64_t nextSerial() {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
  }
};

using SharedPixelBuffer = std::shared_ptr<const PixelBuffer>;

}  // namespace corvane::platform
