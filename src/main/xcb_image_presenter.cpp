#include "main/xcb_image_presenter.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace corvane::wiring {
namespace {

class XcbImagePresenter final : public ui::NativeImagePresenter {
 public:
  explicit XcbImagePresenter(xcb_connection_t* connection) : connection_(connection) {}
  ~XcbImagePresenter() override {
    // Qt's connection may be gone already (the application object went first).
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() != connection_ || xcb_connection_has_error(connection_))
      return;
    for (const auto& fence : fences_) xcb_discard_reply(connection_, fence.cookie.sequence);
    for (const auto& [id, attached] : segments_) xcb_shm_detach(connection_, attached.segment);
    for (const auto& [depth, gc] : contexts_) xcb_free_gc(connection_, gc);
    xcb_flush(connection_);
  }
  XcbImagePresenter(const XcbImagePresenter&) = delete;
  XcbImagePresenter& operator=(const XcbImagePresenter&) = delete;

  bool available() const override {
    const auto* extension = xcb_get_extension_data(connection_, &xcb_shm_id);
    return extension != nullptr && extension->present && !xcb_connection_has_error(connection_);
  }

  bool put(WId window, const platform::SharedPixelBuffer& image, const QRect& source,
           const QPoint& at) override {
    if (!image || !image->sharedMemory() || image->bytesPerRow() != image->width() * 4)
      return false;
    // The pixels are 32 bits each: what the server takes for depths 24 and 32.
    const auto depth = depthOf(window);
    if (!depth || (*depth != 24 && *depth != 32)) return false;
    const auto segment = segmentOf(image);
    if (!segment) return false;
    releaseRead();
    if (unread_.empty() || unread_.back() != image) unread_.push_back(image);
    xcb_shm_put_image(
        connection_, static_cast<xcb_window_t>(window), contextFor(window, *depth),
        static_cast<std::uint16_t>(image->width()), static_cast<std::uint16_t>(image->height()),
        static_cast<std::uint16_t>(source.x()), static_cast<std::uint16_t>(source.y()),
        static_cast<std::uint16_t>(source.width()), static_cast<std::uint16_t>(source.height()),
        static_cast<std::int16_t>(at.x()), static_cast<std::int16_t>(at.y()), *depth,
        XCB_IMAGE_FORMAT_Z_PIXMAP, 0, *segment, 0);
    return true;
  }

  void fill(WId window, const QRegion& region, QRgb colour) override {
    const auto depth = depthOf(window);
    if (!depth || region.isEmpty()) return;
    const xcb_gcontext_t gc = contextFor(window, *depth);
    const std::uint32_t pixel = colour & 0xFFFFFFu;
    xcb_change_gc(connection_, gc, XCB_GC_FOREGROUND, &pixel);
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect& r : region)
      rectangles.push_back({static_cast<std::int16_t>(r.x()), static_cast<std::int16_t>(r.y()),
                            static_cast<std::uint16_t>(r.width()),
                            static_cast<std::uint16_t>(r.height())});
    xcb_poly_fill_rectangle(connection_, static_cast<xcb_window_t>(window), gc,
                            static_cast<std::uint32_t>(rectangles.size()), rectangles.data());
  }

  void send() override { xcb_flush(connection_); }

  bool flush() override {
    if (!unread_.empty()) {
      // Answered only once the server has read every put before it.
      fences_.push_back(Fence{xcb_get_input_focus(connection_), std::move(unread_)});
      unread_.clear();
    }
    const bool flushed = xcb_flush(connection_) > 0;
    releaseRead();
    return flushed;
  }

  void awaitRead(const platform::PixelBuffer& image) override {
    const auto holds = [&image](const std::vector<platform::SharedPixelBuffer>& images) {
      return std::any_of(images.begin(), images.end(),
                         [&image](const auto& held) { return held.get() == &image; });
    };
    if (holds(unread_)) flush();
    releaseRead();
    while (std::any_of(fences_.begin(), fences_.end(),
                       [&holds](const Fence& fence) { return holds(fence.images); }))
      awaitOldestFence();
  }

 private:
  // The images of puts the server may not have read yet, held so that their memory is not
  // written again (a pooled capture buffer holding a frame not yet cleared for showing, say)
  // before the server read it: each set until the round trip sent after it is answered.
  struct Fence {
    xcb_get_input_focus_cookie_t cookie;
    std::vector<platform::SharedPixelBuffer> images;
  };
  static constexpr std::size_t kMostFences = 4;

  void releaseRead() {
    while (!fences_.empty()) {
      if (fences_.size() > kMostFences) {
        awaitOldestFence();
        continue;
      }
      void* reply = nullptr;
      xcb_generic_error_t* error = nullptr;
      if (xcb_poll_for_reply(connection_, fences_.front().cookie.sequence, &reply, &error) == 0)
        return;
      std::free(reply);
      std::free(error);
      fences_.pop_front();
    }
  }

  // Waits for the answer to the oldest fence, then lets go of its images.
  void awaitOldestFence() {
    xcb_generic_error_t* error = nullptr;
    std::free(xcb_get_input_focus_reply(connection_, fences_.front().cookie, &error));
    std::free(error);
    fences_.pop_front();
  }

  struct Attached {
    std::weak_ptr<const platform::PixelBuffer> image;
    xcb_shm_seg_t segment = 0;
  };

  // The server's name for the image's segment, attached once per segment (read-only) and
  // detached once nobody holds the image any more.
  std::optional<xcb_shm_seg_t> segmentOf(const platform::SharedPixelBuffer& image) {
    for (auto it = segments_.begin(); it != segments_.end();) {
      if (it->second.image.expired()) {
        xcb_shm_detach(connection_, it->second.segment);
        it = segments_.erase(it);
      } else {
        ++it;
      }
    }
    const int id = image->sharedMemory()->id;
    if (auto found = segments_.find(id); found != segments_.end()) return found->second.segment;
    const xcb_shm_seg_t segment = xcb_generate_id(connection_);
    const auto cookie =
        xcb_shm_attach_checked(connection_, segment, static_cast<std::uint32_t>(id), 1);
    if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
      std::free(error);
      return std::nullopt;
    }
    segments_[id] = Attached{image, segment};
    return segment;
  }

  std::optional<std::uint8_t> depthOf(WId window) {
    if (auto found = depths_.find(window); found != depths_.end()) return found->second;
    auto* reply = xcb_get_geometry_reply(
        connection_, xcb_get_geometry(connection_, static_cast<xcb_window_t>(window)), nullptr);
    if (reply == nullptr) return std::nullopt;
    const std::uint8_t depth = reply->depth;
    std::free(reply);
    depths_[window] = depth;
    return depth;
  }

  // One graphics context per depth, made on the first window of that depth.
  xcb_gcontext_t contextFor(WId window, std::uint8_t depth) {
    if (auto found = contexts_.find(depth); found != contexts_.end()) return found->second;
    const xcb_gcontext_t gc = xcb_generate_id(connection_);
    const std::uint32_t noExposures = 0;
    xcb_create_gc(connection_, gc, static_cast<xcb_window_t>(window), XCB_GC_GRAPHICS_EXPOSURES,
                  &noExposures);
    contexts_[depth] = gc;
    return gc;
  }

  xcb_connection_t* connection_;
  std::vector<platform::SharedPixelBuffer> unread_;
  std::deque<Fence> fences_;
  std::map<int, Attached> segments_;
  std::map<WId, std::uint8_t> depths_;
  std::map<std::uint8_t, xcb_gcontext_t> contexts_;
};

}  // namespace

std::shared_ptr<ui::NativeImagePresenter> makeXcbImagePresenter() {
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) return nullptr;
  auto presenter = std::make_shared<XcbImagePresenter>(x11->connection());
  if (!presenter->available()) return nullptr;
  return presenter;
}

}  // namespace corvane::wiring
