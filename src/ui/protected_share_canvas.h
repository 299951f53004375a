#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "runtime/subscription.h"
#include "share_window/viewport_state.h"
#include "ui/alternating_put_buffers.h"
#include "ui/bilinear_frame_scaler.h"

namespace corvane::capture {
class ProtectedOutputSurface;
struct ProtectedCursorState;
}  // namespace corvane::capture

namespace corvane::ui {

class NativeImagePresenter;
class NativeImageArea;

// Draws the output surface's latest snapshot, scaled per the viewport state, with the engine's
// own cursor on top, and reports every presentation back to the surface. It redraws on the
// surface's coalesced requests. While drawsOutput is off it draws only the placeholder and never
// touches the surface, so nothing of a frame shows outside a live session.
class ProtectedShareCanvas final : public QWidget {
  Q_OBJECT
 public:
  // With a presenter, frames in shared memory go straight to a native child window through it.
  explicit ProtectedShareCanvas(std::shared_ptr<capture::ProtectedOutputSurface> surface,
                                std::shared_ptr<NativeImagePresenter> presenter = nullptr,
                                QWidget* parent = nullptr);
  ~ProtectedShareCanvas() override;

  void setDrawsOutput(bool drawsOutput);
  bool drawsOutput() const { return drawsOutput_; }
  void setViewport(const share_window::ProtectedShareViewportState& viewport);
  void setPlaceholder(const QString& title, const QString& detail);

  // How many snapshots were drawn and which revision was drawn last.
  int presentedFrames() const { return presentedFrames_; }
  std::uint64_t lastPresentedRevision() const { return lastPresentedRevision_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // Shows the surface's latest snapshot in the native child through the presenter (its changed
  // areas, or everything when `whole`), and reports it; false when Qt must paint it instead.
  bool presentNatively(bool whole);
  // Puts `region` of the image drawn at imageRect, of which `visible` shows.
  bool putImage(const platform::SharedPixelBuffer& image, const QRect& imageRect,
                const QRect& visible, const QRegion& region);
  // Puts the image's pixels under the cursor in `area` with the cursor drawn over them.
  bool putCursor(const platform::PixelBuffer& image, const capture::ProtectedCursorState& cursor,
                 const QRect& imageRect, const platform::Rect& cursorRect, const QRect& area);
  // Hides the native child so Qt paints the canvas again, whole.
  void leaveNativePath();
  // The whole canvas again: natively when it can, through Qt otherwise.
  void repaintWhole();
  void drawPlaceholder(class QPainter& painter);
  // Asks for a repaint of what the surface's latest snapshot changed on screen: its changed
  // areas when the image says what changed since the image on screen, otherwise everything.
  void updateChangedPart();
  // A large region in a few horizontal bands, top to bottom; a small one as it is.
  static std::vector<QRegion> bandsOf(const QRegion& region);
  // Repaints `region` of the canvas; a large area on screen is painted at once, in bands.
  void present(const QRegion& region);
  // Where the image goes in the canvas; empty when it cannot be drawn.
  platform::Rect targetFor(const platform::PixelBuffer& buffer) const;
  // Draws the frame into imageRect (whole logical pixels), touching only the exposed region.
  void drawFrame(QPainter& painter, const platform::PixelBuffer& buffer, const QRect& imageRect,
                 const QRegion& exposed);

  std::shared_ptr<capture::ProtectedOutputSurface> surface_;
  runtime::Subscription redrawSubscription_;
  bool drawsOutput_ = false;
  share_window::ProtectedShareViewportState viewport_;
  QString placeholderTitle_;
  QString placeholderDetail_;
  BilinearFrameScaler scaler_{
      BilinearFrameScaler::Instructions::best,
      std::make_shared<runtime::WorkerThreads>(runtime::WorkerThreads::defaultThreadCount())};
  // The few pixels under the cursor, scaled apart so that the frame's scaling keeps its tables.
  BilinearFrameScaler cursorScaler_;
  int presentedFrames_ = 0;
  std::uint64_t lastPresentedRevision_ = 0;
  // Off while painting the first bands of an area: only the last one counts as presented.
  bool reportsPresentation_ = true;
  static constexpr std::int64_t kBandedPixels = 768 * 1024;
  static constexpr std::int64_t kBandPixels = 256 * 1024;
  static constexpr std::int64_t kMostBands = 8;
  // The native path puts scaled rows once at least this many pixels of them are ready.
  static constexpr std::int64_t kPutPixels = 128 * 1024;
  // Outside the repaint Qt has pending, the canvas shows the image with this serial (0: unknown)
  // in paintedImageRect_, and the cursor in paintedCursorRect_ (empty: none).
  std::uint64_t shownSerial_ = 0;
  QRect paintedImageRect_;
  QRect paintedCursorRect_;
  // The native path: the child it draws into while it is in use, the shared memory it puts scaled
  // images and the cursor from, and what the child shows (as above).
  std::shared_ptr<NativeImagePresenter> presenter_;
  NativeImageArea* nativeArea_ = nullptr;
  bool nativeFailed_ = false;
  AlternatingPutBuffers scaled_;
  AlternatingPutBuffers cursorPatches_;
  std::uint64_t nativeSerial_ = 0;
  QRect nativeImageRect_;
  QRect nativeCursorRect_;
};

}  // namespace corvane::ui
