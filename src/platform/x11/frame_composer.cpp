#include "platform/x11/frame_composer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <sys/ipc.h>
#include <sys/shm.h>
#include "platform/x11/xlib.h"

#include "platform/x11/visible_window_areas.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

XRectangle toRectangle(const FrameArea& area) {
  return XRectangle{static_cast<short>(area.x), static_cast<short>(area.y),
                    static_cast<unsigned short>(area.width),
                    static_cast<unsigned short>(area.height)};
}

void setRegion(Display* display, XserverRegion region, const std::vector<FrameArea>& areas) {
  std::vector<XRectangle> rectangles;
  for (const auto& area : areas) rectangles.push_back(toRectangle(area));
  XFixesSetRegion(display, region, rectangles.data(), static_cast<int>(rectangles.size()));
}

// Copies `area` of the frame from rows read `readBytesPerRow` apart (packed when omitted).
void copyArea(const char* read, const FrameArea& area, std::uint8_t* frame, int bytesPerRow,
              std::size_t readBytesPerRow = 0) {
  const std::size_t rowBytes = static_cast<std::size_t>(area.width) * 4;
  if (readBytesPerRow == 0) readBytesPerRow = rowBytes;
  if (area.x == 0 && static_cast<std::size_t>(bytesPerRow) == rowBytes &&
      readBytesPerRow == rowBytes) {
    std::memcpy(frame + static_cast<std::size_t>(area.y) * bytesPerRow, read,
                rowBytes * area.height);
    return;
  }
  for (int row = 0; row < area.height; ++row) {
    std::memcpy(frame + static_cast<std::size_t>(area.y + row) * bytesPerRow + area.x * 4,
                read + row * readBytesPerRow, rowBytes);
  }
}

// Reads `area` of `source` through the connection itself, for when no shared memory could be
// had: slower, the same pixels.
bool readAreaWithoutSharedMemory(Display* display, Drawable source, const FrameArea& area,
                                 std::uint8_t* frame, int bytesPerRow) {
  XImage* image = XGetImage(display, source, area.x, area.y, static_cast<unsigned>(area.width),
                            static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  const bool fits =
      image->bits_per_pixel == 32 && image->width == area.width && image->height == area.height;
  if (fits) {
    copyArea(image->data, area, frame, bytesPerRow,
             static_cast<std::size_t>(image->bytes_per_line));
  }
  XDestroyImage(image);
  return fits;
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
  if (composer->format_ == nullptr || composer->opaqueFormat_ == nullptr) {
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
      format_(XRenderFindVisualFormat(display, visual_)),
      opaqueFormat_(XRenderFindStandardFormat(display, PictStandardARGB32)),
      frames_(display) {}

FrameComposer::~FrameComposer() {
  ErrorTrap trap(display_);
  releaseSurface(composed_);
  releaseSurface(scaled_);
  releaseSharedImage();
  if (background_ != None) XRenderFreePicture(display_, background_);
  for (XserverRegion region : {hidden_, shown_, covered_, changed_}) {
    if (region != None) XFixesDestroyRegion(display_, region);
  }
  for (XserverRegion region : visible_) XFixesDestroyRegion(display_, region);
  XSync(display_, False);
}

void FrameComposer::abandon() {
  hidden_ = shown_ = covered_ = changed_ = None;
  background_ = None;
  backgroundChecked_.reset();
  if (rootBackground_) rootBackground_->abandon();
  rootBackground_.reset();
  composedFor_.reset();
  frames_.abandon();
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
  // With an alpha channel, every pixel composed is read back opaque, ready to copy: sources
  // without alpha count as opaque, and scaling never samples outside (its edges are repeated).
  surface.pixmap = XCreatePixmap(display_, root_, width, height, 32);
  XRenderPictureAttributes attributes{};
  attributes.repeat = RepeatPad;
  surface.picture =
      XRenderCreatePicture(display_, surface.pixmap, opaqueFormat_, CPRepeat, &attributes);
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
  // Without a segment the image stays a description only, and areas are read through the
  // connection instead.
  [[maybe_unused]] const auto attached =
      attachSegment(static_cast<std::size_t>(image_->bytes_per_line) * height);
  return runtime::Status::success();
}

runtime::Status FrameComposer::attachSegment(std::size_t bytes) {
  segment_ = XShmSegmentInfo{};
  segment_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (segment_.shmid < 0) {
    segment_ = XShmSegmentInfo{};
    return runtime::Status::failure("Shared memory for capture could not be allocated.");
  }
  void* mapped = shmat(segment_.shmid, nullptr, 0);
  if (mapped == reinterpret_cast<void*>(-1)) {
    shmctl(segment_.shmid, IPC_RMID, nullptr);
    segment_ = XShmSegmentInfo{};
    return runtime::Status::failure("Shared memory for capture could not be mapped.");
  }
  segment_.shmaddr = image_->data = static_cast<char*>(mapped);
  segment_.readOnly = False;
  ErrorTrap trap(display_);
  XShmAttach(display_, &segment_);
  const bool attached = trap.sync();
  // Marked for removal now, so the segment goes away with the last detach even on a crash.
  shmctl(segment_.shmid, IPC_RMID, nullptr);
  if (!attached) {
    shmdt(segment_.shmaddr);
    image_->data = nullptr;
    segment_ = XShmSegmentInfo{};
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

bool FrameComposer::readBackground(const LeftOutClients& leftOut) {
  const auto pixmap = cardinalValue(display_, root_, rootPixmap_, XA_PIXMAP);
  const Pixmap named = pixmap ? static_cast<Pixmap>(*pixmap) : None;
  // The picture keeps the pixmap's pixels even when its owner frees it (or its id comes to name
  // something else); desktops name a new pixmap for a new background (and a new name makes the
  // window model report a whole change). An id refused is checked again each time.
  if (background_ != None && backgroundChecked_ && backgroundChecked_->named == named &&
      backgroundChecked_->leftOut == leftOut) {
    return true;
  }
  const auto checked = desktopBackgroundPicture(display_, named, format_, depth_, leftOut);
  if (!checked) return false;
  if (background_ != None) XRenderFreePicture(display_, background_);
  background_ = *checked;
  backgroundChecked_ = BackgroundCheck{named, leftOut};
  return true;
}

void FrameComposer::distrustLastFrame() {
  composedFor_.reset();
  made_.clear();
}

void FrameComposer::drawBackground(const CaptureArea& area, const std::vector<FrameArea>& areas) {
  if (background_ != None) {
    XRenderComposite(display_, PictOpSrc, background_, None, composed_.picture, area.x, area.y, 0,
                     0, 0, 0, area.width, area.height);
    return;
  }
  if (backgroundChecked_ && backgroundChecked_->named == None) {
    if (!rootBackground_) {
      rootBackground_ = std::make_unique<RootBackgroundWindow>(display_, visual_, depth_, format_,
                                                               kDesktopFallbackColour);
    }
    Picture root = None;
    for (const auto& changed : areas) {
      root = rootBackground_->paint(area.x + changed.x, area.y + changed.y, changed.width,
                                    changed.height);
    }
    if (root != None) {
      XRenderComposite(display_, PictOpSrc, root, None, composed_.picture, area.x, area.y, 0, 0, 0,
                       0, area.width, area.height);
      return;
    }
  }
  const XRenderColor colour = renderColour(kDesktopFallbackColour);
  XRenderFillRectangle(display_, PictOpSrc, composed_.picture, &colour, 0, 0, area.width,
                       area.height);
}

void FrameComposer::ensureScratchRegions() {
  for (XserverRegion* region : {&hidden_, &shown_, &covered_, &changed_}) {
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
    // A frame's invisible borders are not drawn (they are opaque, but show nothing on screen).
    const InnerBox shown = window.shownBox();
    XRectangle box{static_cast<short>(place.x + shown.x), static_cast<short>(place.y + shown.y),
                   static_cast<unsigned short>(shown.width),
                   static_cast<unsigned short>(shown.height)};
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

std::vector<FrameArea> FrameComposer::backgroundAreas(const std::vector<FrameArea>& areas,
                                                      const std::vector<Placed>& placed) {
  // Only rectangles are taken away: what a shaped window or one with alpha leaves of the
  // background stays in, and the clip (the changed areas less what the opaque windows cover)
  // still bounds every pixel drawn. Past a few dozen pieces the rest is left in too.
  constexpr std::size_t kMostPieces = 64;
  std::vector<FrameArea> background = areas;
  for (const Placed& place : placed) {
    const TrackedWindow& window = *place.window;
    if (window.hasAlpha || window.boundingShape != None) continue;
    const InnerBox shown = window.shownBox();
    auto outside = areasOutside(
        background, FrameArea{place.x + shown.x, place.y + shown.y, shown.width, shown.height});
    if (outside.size() > kMostPieces) break;
    background = std::move(outside);
    if (background.empty()) break;
  }
  return background;
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

std::optional<std::vector<FrameArea>> FrameComposer::changedAreas(WindowModel& model,
                                                                  const std::set<Window>& excluded,
                                                                  const CaptureArea& area) {
  if (!model.takeChanges(changed_, excluded)) return std::nullopt;
  XFixesTranslateRegion(display_, changed_, -area.x, -area.y);
  XRectangle whole{0, 0, static_cast<unsigned short>(area.width),
                   static_cast<unsigned short>(area.height)};
  XFixesSetRegion(display_, shown_, &whole, 1);
  XFixesIntersectRegion(display_, changed_, changed_, shown_);
  int count = 0;
  XRectangle* rectangles = XFixesFetchRegion(display_, changed_, &count);
  std::vector<FrameArea> areas;
  for (int i = 0; i < count; ++i) {
    areas.push_back(
        FrameArea{rectangles[i].x, rectangles[i].y, rectangles[i].width, rectangles[i].height});
  }
  if (rectangles != nullptr) XFree(rectangles);
  return coveringAreas(std::move(areas), kMostAreas);
}

void FrameComposer::composeAreas(WindowModel& model, const std::set<Window>& excluded,
                                 const CaptureArea& area, const std::vector<FrameArea>& areas) {
  // Only what shows is drawn: each window where no opaque window above it covers it, the
  // background where no window does, and all of it only inside the areas that changed.
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
  setRegion(display_, changed_, areas);
  // Where an opaque window is drawn over it, the background need not be drawn first (nor, for
  // the root's own background, cleared again): a window changing on its own costs no background.
  const auto background = backgroundAreas(areas, placed);
  if (!background.empty()) {
    XFixesSubtractRegion(display_, shown_, changed_, covered_);
    XFixesSetPictureClipRegion(display_, composed_.picture, 0, 0, shown_);
    drawBackground(area, background);
  }
  for (std::size_t i = 0; i < placed.size(); ++i) {
    XFixesIntersectRegion(display_, visible_[i], visible_[i], changed_);
    drawWindow(placed[i], visible_[i], excluded);
  }
  XFixesSetPictureClipRegion(display_, composed_.picture, 0, 0, None);
}

void FrameComposer::scaleAreas(const CaptureArea& area, const std::vector<FrameArea>& areas) {
  XTransform transform{};
  transform.matrix[0][0] = XDoubleToFixed(static_cast<double>(area.width) / scaled_.width);
  transform.matrix[1][1] = XDoubleToFixed(static_cast<double>(area.height) / scaled_.height);
  transform.matrix[2][2] = XDoubleToFixed(1.0);
  XRenderSetPictureTransform(display_, composed_.picture, &transform);
  XRenderSetPictureFilter(display_, composed_.picture, FilterBilinear, nullptr, 0);
  setRegion(display_, changed_, areas);
  XFixesSetPictureClipRegion(display_, scaled_.picture, 0, 0, changed_);
  XRenderComposite(display_, PictOpSrc, composed_.picture, None, scaled_.picture, 0, 0, 0, 0, 0, 0,
                   scaled_.width, scaled_.height);
  XFixesSetPictureClipRegion(display_, scaled_.picture, 0, 0, None);
  XTransform identity{};
  identity.matrix[0][0] = identity.matrix[1][1] = identity.matrix[2][2] = XDoubleToFixed(1.0);
  XRenderSetPictureTransform(display_, composed_.picture, &identity);
}

std::vector<FrameArea> FrameComposer::staleAreas(const PixelBuffer& frame,
                                                 std::vector<FrameArea> changed, bool whole) const {
  const std::vector<FrameArea> everything{FrameArea{0, 0, frame.width(), frame.height()}};
  if (whole) return everything;
  auto held = std::find_if(made_.begin(), made_.end(),
                           [&](const Made& made) { return made.serial == frame.serial(); });
  if (held == made_.end()) return everything;
  for (auto later = held + 1; later != made_.end(); ++later) {
    if (later->whole) return everything;
    changed.insert(changed.end(), later->changed.begin(), later->changed.end());
  }
  auto stale = coveringAreas(std::move(changed), kMostAreas);
  return pixelCount(stale) >= pixelCount(everything) ? everything : stale;
}

bool FrameComposer::readBack(Drawable source, const std::vector<FrameArea>& areas,
                             const SharedFrames::Frame& frame) {
  PixelBuffer& buffer = *frame.buffer;
  std::uint8_t* pixels = buffer.mutableData();
  // A wide area of a buffer in shared memory is read as whole rows straight into it; any other
  // area is read packed into the composer's own segment (the areas one after the other: their
  // pixels are at most the frame's), then copied.
  std::size_t offset = 0;
  for (const FrameArea& area : areas) {
    XImage part = *image_;
    part.height = area.height;
    if (frame.segment != nullptr && area.width * 2 >= buffer.width()) {
      part.width = buffer.width();
      part.bytes_per_line = buffer.bytesPerRow();
      part.data = frame.segment->shmaddr + static_cast<std::size_t>(area.y) * buffer.bytesPerRow();
      part.obdata = reinterpret_cast<char*>(const_cast<XShmSegmentInfo*>(frame.segment));
      if (!XShmGetImage(display_, source, &part, 0, area.y, AllPlanes)) return false;
      continue;
    }
    if (segment_.shmaddr == nullptr) {
      if (!readAreaWithoutSharedMemory(display_, source, area, pixels, buffer.bytesPerRow())) {
        return false;
      }
      continue;
    }
    part.width = area.width;
    part.bytes_per_line = area.width * 4;
    part.data = image_->data + offset;
    if (!XShmGetImage(display_, source, &part, area.x, area.y, AllPlanes)) return false;
    copyArea(part.data, area, pixels, buffer.bytesPerRow());
    offset += static_cast<std::size_t>(area.width) * area.height * 4;
  }
  return true;
}

runtime::Result<SharedPixelBuffer> FrameComposer::compose(WindowModel& model,
                                                          const std::set<Window>& excluded,
                                                          CaptureArea area, int outputWidth,
                                                          int outputHeight, Extent extent) {
  if (area.width <= 0 || area.height <= 0) {
    return runtime::Error{"The captured display has no area."};
  }
  if (outputWidth <= 0 || outputHeight <= 0) {
    outputWidth = area.width;
    outputHeight = area.height;
  }
  const bool scales = outputWidth != area.width || outputHeight != area.height;
  ErrorTrap trap(display_);
  // Until this frame is made, the composition holds nothing to keep.
  const auto composedFor = std::exchange(composedFor_, std::nullopt);
  if (auto status = ensureSurface(composed_, area.width, area.height); !status)
    return status.error();
  if (scales) {
    if (auto status = ensureSurface(scaled_, outputWidth, outputHeight); !status) {
      return status.error();
    }
  }
  if (auto status = ensureSharedImage(outputWidth, outputHeight); !status) return status.error();
  ensureScratchRegions();

  const Composed now{area, outputWidth, outputHeight, excluded};
  auto changed = extent == Extent::changes ? changedAreas(model, excluded, area) : std::nullopt;
  const bool whole = !changed || !composedFor || composedFor->area != now.area ||
                     composedFor->outputWidth != outputWidth ||
                     composedFor->outputHeight != outputHeight || composedFor->excluded != excluded;
  if (whole) {
    changed = std::vector<FrameArea>{FrameArea{0, 0, area.width, area.height}};
    if (!readBackground(leftOutClients(model, excluded))) {
      return runtime::Error{"The desktop background could not be checked for this frame."};
    }
  }
  if (!changed->empty()) composeAreas(model, excluded, area, *changed);
  Drawable result = composed_.pixmap;
  if (scales) {
    std::vector<FrameArea> footprints;
    for (const auto& part : *changed) {
      footprints.push_back(
          scaledFootprint(part, area.width, area.height, outputWidth, outputHeight));
    }
    changed = coveringAreas(std::move(footprints), kMostAreas);
    if (!changed->empty()) scaleAreas(area, *changed);
    result = scaled_.pixmap;
  }
  const auto acquired = frames_.acquire(outputWidth, outputHeight);
  const auto& frame = acquired.buffer;
  const auto stale = staleAreas(*frame, *changed, whole);
  // The last reply comes after every request above, so their errors are in when it returns, and
  // so is every event the server sent before it composed.
  if (!stale.empty() && !readBack(result, stale, acquired)) {
    return runtime::Error{"A window changed while the frame was being composed."};
  }
  if (trap.failed() || (stale.empty() && !trap.sync())) {
    return runtime::Error{"A window changed while the frame was being composed."};
  }
  if (stale.empty()) (void)frame->mutableData();  // the same pixels, as a frame of its own
  frame->setWindowAreas(visibleWindowAreas(model, excluded, area, outputWidth, outputHeight));
  frame->setWindows(imageWindows(model, excluded));
  if (!whole && !made_.empty()) frame->setChanges(PixelChanges{made_.back().serial, *changed});
  made_.push_back(Made{frame->serial(), *changed, whole});
  if (made_.size() > kRememberedFrames) made_.pop_front();
  composedFor_ = now;
  return SharedPixelBuffer(frame);
}

}  // namespace corvane::platform::x11
