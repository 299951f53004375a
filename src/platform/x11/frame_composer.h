#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/pixel_buffer.h"
#include "platform/x11/desktop_background.h"
#include "platform/x11/frame_areas.h"
#include "platform/x11/root_background_window.h"
#include "platform/x11/shared_frames.h"
#include "platform/x11/window_model.h"
#include "runtime/result.h"

namespace corvane::platform::x11 {

// The desktop where the root names no background pixmap (_XROOTPMAP_ID) and has no background
// of its own.
inline constexpr std::uint32_t kDesktopFallbackColour = 0xFF303030;

struct CaptureArea {
  int x = 0, y = 0, width = 0, height = 0;  // root pixels
  bool operator==(const CaptureArea&) const = default;
};

// Composes the windows the filter keeps, bottom to top, on the server with XRender into an
// offscreen pixmap, and reads the result once through shared memory. Excluded windows are never
// drawn, so their pixels never reach this process; what lay beneath them (other windows, the
// desktop background) shows instead.
//
// The composition persists from frame to frame: only where the window model reports changes is
// it composed and read again (the whole of it when the filter, the area or the output size
// changed, or the last frame failed), and each frame says where it differs from the one before.
class FrameComposer {
 public:
  // What to compose again: where the model's changes say, or everything.
  enum class Extent { changes, whole };

  // Fails, naming the extension, when MIT-SHM or RENDER is missing.
  static runtime::Result<std::unique_ptr<FrameComposer>> create(Display* display, Atom rootPixmap);
  ~FrameComposer();
  FrameComposer(const FrameComposer&) = delete;
  FrameComposer& operator=(const FrameComposer&) = delete;

  // One frame of `area`, scaled to outputWidth x outputHeight when those differ. Each window is
  // drawn from its own named pixmap (which holds only its own drawing and the neutral fill);
  // where excluded windows of other applications sit inside it, the neutral fill shows. Fails (and
  // no frame is produced) when any request of the composition failed. Frame buffers the caller has
  // let go of are written again, brought up to date where they differ. With Extent::whole the
  // model's changes are left for the next frame composed by changes.
  runtime::Result<SharedPixelBuffer> compose(WindowModel& model, const std::set<Window>& excluded,
                                             CaptureArea area, int outputWidth, int outputHeight,
                                             Extent extent = Extent::changes);

  // The last frame may hold what it must not (the windows changed while it was read): the next
  // one is composed whole, and read whole into whichever buffer it is written.
  void distrustLastFrame();
  // Forgets the server resources without asking the server (after the connection was lost).
  void abandon();

 private:
  FrameComposer(Display* display, Atom rootPixmap);
  struct Surface {
    Pixmap pixmap = None;
    Picture picture = None;
    int width = 0, height = 0;
  };
  runtime::Status ensureSurface(Surface& surface, int width, int height);
  void releaseSurface(Surface& surface);
  // The image areas are read into; fails only for a pixel format that cannot be captured.
  runtime::Status ensureSharedImage(int width, int height);
  // Gives the image a shared-memory segment of `bytes`; without one (the error says why), areas
  // are read through the connection.
  runtime::Status attachSegment(std::size_t bytes);
  void releaseSharedImage();
  // Names the desktop background again when the root names another drawable or other clients
  // are left out: its picture, or nothing for the fallback colour. False when it could not be
  // checked now (its id came to name something else meanwhile).
  bool readBackground(const LeftOutClients& leftOut);
  // The background within `areas` (frame pixels) of `area`: the picture the desktop names, else
  // the root's own background, else the fallback colour.
  void drawBackground(const CaptureArea& area, const std::vector<FrameArea>& areas);
  void ensureScratchRegions();
  // A window to draw, at its inside corner in frame pixels.
  struct Placed {
    const TrackedWindow* window;
    int x, y;
  };
  // Sets visible_[i] to what shows of placed[i] (bottom to top) and covered_ to what the opaque
  // ones cover.
  void placeWindows(const std::vector<Placed>& placed);
  void drawWindow(const Placed& place, XserverRegion visible, const std::set<Window>& excluded);
  // The parts of `areas` (frame pixels) where the background may show: each is left out where
  // an opaque, unshaped window of `placed` is drawn over all of it.
  static std::vector<FrameArea> backgroundAreas(const std::vector<FrameArea>& areas,
                                                const std::vector<Placed>& placed);
  // The rectangles of the model's changes inside `area` (frame pixels); nothing when unbounded.
  std::optional<std::vector<FrameArea>> changedAreas(WindowModel& model,
                                                     const std::set<Window>& excluded,
                                                     const CaptureArea& area);
  void composeAreas(WindowModel& model, const std::set<Window>& excluded, const CaptureArea& area,
                    const std::vector<FrameArea>& areas);
  void scaleAreas(const CaptureArea& area, const std::vector<FrameArea>& areas);
  // What `frame` (about to be written again) lacks of the composition: everything unless it holds
  // one of the recent frames, else what changed since that one.
  std::vector<FrameArea> staleAreas(const PixelBuffer& frame, std::vector<FrameArea> changed,
                                    bool whole) const;
  bool readBack(Drawable source, const std::vector<FrameArea>& areas,
                const SharedFrames::Frame& frame);

  // Rectangles composed, read and reported per frame, at most.
  static constexpr std::size_t kMostAreas = 4;
  // Frames whose changes are remembered: a pooled buffer holding an older one is read whole.
  static constexpr std::size_t kRememberedFrames = 2 * SharedFrames::kPooled;

  Display* display_;
  Atom rootPixmap_;
  Window root_;
  Visual* visual_;
  int depth_;
  XRenderPictFormat* format_;        // the screen's, for the desktop background
  XRenderPictFormat* opaqueFormat_;  // 32-bit ARGB, for the composition
  Surface composed_;
  Surface scaled_;
  XShmSegmentInfo segment_{};
  XImage* image_ = nullptr;
  Picture background_ = None;
  // What the root named and who was left out when the background was last checked.
  struct BackgroundCheck {
    Pixmap named = None;
    LeftOutClients leftOut;
  };
  std::optional<BackgroundCheck> backgroundChecked_;
  // Where the root names no background picture: made when first needed.
  std::unique_ptr<RootBackgroundWindow> rootBackground_;
  XserverRegion hidden_ = None;
  XserverRegion shown_ = None;
  XserverRegion covered_ = None;
  XserverRegion changed_ = None;        // the part of the frame composed this time
  std::vector<XserverRegion> visible_;  // one per window drawn, reused from frame to frame
  SharedFrames frames_;
  // What the persistent composition was last made for; nothing composed (or a failed frame)
  // means it holds nothing to keep.
  struct Composed {
    CaptureArea area;
    int outputWidth = 0, outputHeight = 0;
    std::set<Window> excluded;
  };
  std::optional<Composed> composedFor_;
  // The frames made lately, oldest first: each one's serial and where it differs from the one
  // before (everywhere when `whole`).
  struct Made {
    std::uint64_t serial = 0;
    std::vector<FrameArea> changed;
    bool whole = true;
  };
  std::deque<Made> made_;
};

}  // namespace corvane::platform::x11
