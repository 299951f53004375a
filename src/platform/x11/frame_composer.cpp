#include "platform/x11/frame_composer.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include "platform/x11/xlib.h"

#include "platform/pixel_changes.h"
#include "platform/x11/visible_window_areas.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

// Copies the image into a frame with every pixel made opaque (a 24-bit visual leaves the top
// byte undefined).
void copyOpaque(const XImage& image, PixelBuffer& frame) {
  for (int y = 0; y < frame.height(); ++y) {
    const auto* source = reinterpret_cast<const std::uint32_t*>(
        image.data + static_cast<std::size_t>(y) * image.bytes_per_line);
    auto* target = reinterpret_cast<std::uint32_t*>(
        frame.mutableData() + static_cast<std::size_t>(y) * frame.bytesPerRow());
    for (int x = 0; x < frame.width(); ++x) target[x] = source[x] | 0xFF000000u;
  }
}

}  // namespace

runtime::Result<std::unique_ptr<FrameComposer>> FrameComposer::create(Display* display,
                                                                      Atom rootPixmap) {
  if (!XShmQueryExtension(display)) {
    return runtime::Error{"The X server lacks the MIT-SHM extension needed for capture."};
  }
  int eventBase = 0, errorBase = 0;
  if (!XRenderQueryExtension(display, &eventBase, &errorBase)) {
    return runtime::Error{"The X server lacks the RENDER extension needed for capture."};
  }
  std::unique_ptr<FrameComposer> composer(new FrameComposer(display, rootPixmap));
  if (composer->format_ == nullptr) {
    return runtime::Error{"The X server offers no RENDER format for the screen's visual."};
  }
  return composer;
}

FrameComposer::FrameComposer(Display* display, Atom rootPixmap)
    : display_(display),
      rootPixmap_(rootPixmap),
      root_(DefaultRootWindow(display)),
      visual_(DefaultVisual(display, DefaultScreen(display))),
      depth_(DefaultDepth(display, DefaultScreen(display))),
      format_(XRenderFindVisualFormat(display, visual_)) {}

FrameComposer::~FrameComposer() {
  ErrorTrap trap(display_);
  releaseSurface(composed_);
  releaseSurface(scaled_);
  releaseSharedImage();
  for (XserverRegion region : {hidden_, shown_, covered_}) {
    if (region != None) XFixesDestroyRegion(display_, region);
  }
  for (XserverRegion region : visible_) XFixesDestroyRegion(display_, region);
  XSync(display_, False);
}

void FrameComposer::abandon() {
  hidden_ = shown_ = covered_ = None;
  visible_.clear();
  composed_ = Surface{};
  scaled_ = Surface{};
  if (image_ != nullptr) {
    if (segment_.shmaddr != nullptr) shmdt(segment_.shmaddr);
    image_->data = nullptr;
    XDestroyImage(image_);
    image_ = nullptr;
    segment_ = XShmSegmentInfo{};
  }
}

runtime::Status FrameComposer::ensureSurface(Surface& surface, int width, int height) {
  if (surface.pixmap != None && surface.width == width && surface.height == height) {
    return runtime::Status::success();
  }
  releaseSurface(surface);
  surface.pixmap = XCreatePixmap(display_, root_, width, height, depth_);
  surface.picture = XRenderCreatePicture(display_, surface.pixmap, format_, 0, nullptr);
  surface.width = width;
  surface.height = height;
  return runtime::Status::success();
}

void FrameComposer::releaseSurface(Surface& surface) {
  if (surface.picture != None) XRenderFreePicture(display_, surface.picture);
  if (surface.pixmap != None) XFreePixmap(display_, surface.pixmap);
  surface = Surface{};
}

runtime::Status FrameComposer::ensureSharedImage(int width, int height) {
  if (image_ != nullptr && image_->width == width && image_->height == height) {
    return runtime::Status::success();
  }
  releaseSharedImage();
  image_ = XShmCreateImage(display_, visual_, depth_, ZPixmap, nullptr, &segment_, width, height);
  if (image_ == nullptr || image_->bits_per_pixel != 32) {
    releaseSharedImage();
    return runtime::Status::failure("The screen's pixel format (depth " + std::to_string(depth_) +
                                    ") cannot be captured; a 24- or 32-bit display is needed.");
  }
  segment_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * height,
                          IPC_CREAT | 0600);
  if (segment_.shmid < 0) {
    releaseSharedImage();
    return runtime::Status::failure("Shared memory for capture could not be allocated.");
  }
  segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
  segment_.readOnly = False;
  ErrorTrap trap(display_);
  XShmAttach(display_, &segment_);
  const bool attached = trap.sync();
  // Marked for removal now, so the segment goes away with the last detach even on a crash.
  shmctl(segment_.shmid, IPC_RMID, nullptr);
  if (!attached) {
    segment_.shmid = -1;
    releaseSharedImage();
    return runtime::Status::failure("The X server could not attach the capture's shared memory.");
  }
  return runtime::Status::success();
}

void FrameComposer::releaseSharedImage() {
  if (image_ == nullptr) return;
  if (segment_.shmaddr != nullptr) {
    if (segment_.shmid >= 0) XShmDetach(display_, &segment_);
    XSync(display_, False);
    shmdt(segment_.shmaddr);
  }
  image_->data = nullptr;
  XDestroyImage(image_);
  image_ = nullptr;
  segment_ = XShmSegmentInfo{};
}

void FrameComposer::drawBackground(const CaptureArea& area) {
  const auto pixmap = cardinalValue(display_, root_, rootPixmap_, XA_PIXMAP);
  if (pixmap && *pixmap != None) {
    ErrorTrap trap(display_);
    Window geometryRoot;
    int x, y;
    unsigned width, height, border, depth;
    const Pixmap background = static_cast<Pixmap>(*pixmap);
    if (XGetGeometry(display_, background, &geometryRoot, &x, &y, &width, &height, &border,
                     &depth) &&
        !trap.failed() && static_cast<int>(depth) == depth_) {
      Picture picture = XRenderCreatePicture(display_, background, format_, 0, nullptr);
      XRenderPictureAttributes repeat{};
      repeat.repeat = RepeatNormal;
      XRenderChangePicture(display_, picture, CPRepeat, &repeat);
      XRenderComposite(display_, PictOpSrc, picture, None, composed_.picture, area.x, area.y, 0, 0,
                       0, 0, area.width, area.height);
      XRenderFreePicture(display_, picture);
      return;
    }
  }
  const XRenderColor colour = renderColour(kDesktopFallbackColour);
  XRenderFillRectangle(display_, PictOpSrc, composed_.picture, &colour, 0, 0, area.width,
                       area.height);
}

std::shared_ptr<PixelBuffer> FrameComposer::frameBuffer(int width, int height) {
  // A buffer nobody else holds any more is written again; the consumer keeps any it holds.
  for (auto& buffer : frames_) {
    if (buffer.use_count() == 1 && buffer->width() == width && buffer->height() == height) {
      return buffer;
    }
  }
  auto fresh = std::make_shared<PixelBuffer>(width, height);
  if (frames_.size() < kPooledFrames) {
    frames_.push_back(fresh);
  } else {
    // The pool is full of frames still in use or of another size: replace one of the latter.
    for (auto& buffer : frames_) {
      if (buffer.use_count() == 1) {
        buffer = fresh;
        break;
      }
    }
  }
  return fresh;
}

void FrameComposer::ensureScratchRegions() {
  for (XserverRegion* region : {&hidden_, &shown_, &covered_}) {
    if (*region == None) *region = XFixesCreateRegion(display_, nullptr, 0);
  }
}

void FrameComposer::placeWindows(const std::vector<Placed>& placed) {
  while (visible_.size() < placed.size()) {
    visible_.push_back(XFixesCreateRegion(display_, nullptr, 0));
  }
  // Top to bottom: each window keeps what no opaque window above it covers. A window with alpha
  // covers nothing (what lies beneath shows through it); excluded windows are not placed, so
  // they cover nothing either.
  XFixesSetRegion(display_, covered_, nullptr, 0);
  for (std::size_t i = placed.size(); i-- > 0;) {
    const Placed& place = placed[i];
    const TrackedWindow& window = *place.window;
    const XserverRegion visible = visible_[i];
    XRectangle box{static_cast<short>(place.x), static_cast<short>(place.y),
                   static_cast<unsigned short>(window.width),
                   static_cast<unsigned short>(window.height)};
    XFixesSetRegion(display_, visible, &box, 1);
    if (window.boundingShape != None) {
      XFixesCopyRegion(display_, shown_, window.boundingShape);
      XFixesTranslateRegion(display_, shown_, place.x, place.y);
      XFixesIntersectRegion(display_, visible, visible, shown_);
    }
    if (!window.hasAlpha) XFixesUnionRegion(display_, shown_, covered_, visible);
    XFixesSubtractRegion(display_, visible, visible, covered_);
    if (!window.hasAlpha) XFixesCopyRegion(display_, covered_, shown_);
  }
}

void FrameComposer::drawWindow(const Placed& place, XserverRegion visible,
                               const std::set<Window>& excluded) {
  const TrackedWindow& window = *place.window;
  const XRenderColor neutral = renderColour(kNeutralFillColour);
  // What must not show of it: the excluded windows of other applications inside it.
  std::vector<XRectangle> foreign;
  for (const auto& embedded : window.embedded) {
    if (excluded.count(embedded.id) == 0) continue;
    foreign.push_back(XRectangle{
        static_cast<short>(place.x + embedded.x), static_cast<short>(place.y + embedded.y),
        static_cast<unsigned short>(embedded.width), static_cast<unsigned short>(embedded.height)});
  }
  const bool anyHidden = window.picture == None || !foreign.empty();
  if (anyHidden) {
    // No pixmap of its own could be named: nothing of it can be shown.
    if (window.picture == None) {
      XFixesCopyRegion(display_, hidden_, visible);
    } else {
      XFixesSetRegion(display_, hidden_, foreign.data(), static_cast<int>(foreign.size()));
      XFixesIntersectRegion(display_, hidden_, hidden_, visible);
    }
  }
  if (window.picture != None) {
    XserverRegion shown = visible;
    if (anyHidden) {
      XFixesSubtractRegion(display_, shown_, visible, hidden_);
      shown = shown_;
    }
    XFixesSetPictureClipRegion(display_, composed_.picture, 0, 0, shown);
    // The named pixmap includes the border; the inside starts at its width.
    XRenderComposite(display_, window.hasAlpha ? PictOpOver : PictOpSrc, window.picture, None,
                     composed_.picture, window.borderWidth, window.borderWidth, 0, 0, place.x,
                     place.y, window.width, window.height);
  }
  if (anyHidden) {
    XFixesSetPictureClipRegion(display_, composed_.picture, 0, 0, hidden_);
    XRenderFillRectangle(display_, PictOpSrc, composed_.picture, &neutral, place.x, place.y,
                         window.width, window.height);
  }
}

runtime::Result<SharedPixelBuffer> FrameComposer::compose(WindowModel& model,
                                                          const std::set<Window>& excluded,
                                                          CaptureArea area, int outputWidth,
                                                          int outputHeight) {
  if (area.width <= 0 || area.height <= 0) {
    return runtime::Error{"The captured display has no area."};
  }
  if (outputWidth <= 0 || outputHeight <= 0) {
    outputWidth = area.width;
    outputHeight = area.height;
  }
  const bool scales = outputWidth != area.width || outputHeight != area.height;
  ErrorTrap trap(display_);
  if (auto status = ensureSurface(composed_, area.width, area.height); !status)
    return status.error();
  if (scales) {
    if (auto status = ensureSurface(scaled_, outputWidth, outputHeight); !status) {
      return status.error();
    }
  }
  if (auto status = ensureSharedImage(outputWidth, outputHeight); !status) return status.error();
  ensureScratchRegions();

  // Only what shows is drawn: each window where no opaque window above it covers it, the
  // background where no window does.
  std::vector<Placed> placed;
  for (const TrackedWindow* window : model.stacking()) {
    if (!window->isVisible() || excluded.count(window->id) != 0) continue;
    const int x = window->x + window->borderWidth - area.x;
    const int y = window->y + window->borderWidth - area.y;
    if (x >= area.width || y >= area.height || x + window->width <= 0 || y + window->height <= 0) {
      continue;
    }
    placed.push_back(Placed{window, x, y});
  }
  placeWindows(placed);
  XRectangle whole{0, 0, static_cast<unsigned short>(area.width),
                   static_cast<unsigned short>(area.height)};
  XFixesSetRegion(display_, shown_, &whole, 1);
  XFixesSubtractRegion(display_, shown_, shown_, covered_);
  XFixesSetPictureClipRegion(display_, composed_.picture, 0, 0, shown_);
  drawBackground(area);
  for (std::size_t i = 0; i < placed.size(); ++i) drawWindow(placed[i], visible_[i], excluded);
  XFixesSetPictureClipRegion(display_, composed_.picture, 0, 0, None);

  Drawable result = composed_.pixmap;
  if (scales) {
    XTransform transform{};
    transform.matrix[0][0] = XDoubleToFixed(static_cast<double>(area.width) / outputWidth);
    transform.matrix[1][1] = XDoubleToFixed(static_cast<double>(area.height) / outputHeight);
    transform.matrix[2][2] = XDoubleToFixed(1.0);
    XRenderSetPictureTransform(display_, composed_.picture, &transform);
    XRenderSetPictureFilter(display_, composed_.picture, FilterBilinear, nullptr, 0);
    XRenderComposite(display_, PictOpSrc, composed_.picture, None, scaled_.picture, 0, 0, 0, 0, 0,
                     0, outputWidth, outputHeight);
    XTransform identity{};
    identity.matrix[0][0] = identity.matrix[1][1] = identity.matrix[2][2] = XDoubleToFixed(1.0);
    XRenderSetPictureTransform(display_, composed_.picture, &identity);
    result = scaled_.pixmap;
  }
  // The reply comes after every request above, so their errors are in when it returns, and so
  // is every event the server sent before it composed.
  if (!XShmGetImage(display_, result, image_, 0, 0, AllPlanes) || trap.failed()) {
    return runtime::Error{"A window changed while the frame was being composed."};
  }
  if (model.structureChangeQueued()) {
    return runtime::Error{"The windows changed while the frame was being composed."};
  }
  auto frame = frameBuffer(outputWidth, outputHeight);
  copyOpaque(*image_, *frame);
  frame->setWindowAreas(visibleWindowAreas(model, excluded, area, outputWidth, outputHeight));
  if (auto previous = previous_.lock(); previous && previous->serial() == previousSerial_) {
    if (auto changes = changedTiles(*previous, *frame)) frame->setChanges(std::move(*changes));
  }
  previous_ = frame;
  previousSerial_ = frame->serial();
  return SharedPixelBuffer(std::move(frame));
}

}  // namespace corvane::platform::x11
