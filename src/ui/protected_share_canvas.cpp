#include "ui/protected_share_canvas.h"

#include <QImage>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "capture/protected_output_surface.h"
#include "share_window/canvas_layout.h"
#include "share_window/changed_output_area.h"
#include "ui/native_image_area.h"
#include "ui/native_image_presenter.h"

namespace corvane::ui {

using platform::Rect;
using platform::Size;

namespace {

const QColor kBackground(18, 19, 22);

QRectF toQRectF(const Rect& r) {
  return QRectF(r.minX(), r.minY(), r.width(), r.height());
}

// A QImage over the buffer's own bytes: no copy. Captured frames are opaque, and Format_RGB32
// is B, G, R, X in memory on little-endian machines, exactly the buffer's layout; the alpha byte
// (0 in some captures) is ignored.
Rect toRect(const QRect& r) {
  return Rect{{static_cast<double>(r.x()), static_cast<double>(r.y())},
              {static_cast<double>(r.width()), static_cast<double>(r.height())}};
}

// Every pixel the cursor drawn in `rect` may touch (it is drawn filtered).
QRect cursorArea(const Rect& rect) {
  return toQRectF(rect).toAlignedRect().adjusted(-1, -1, 1, 1);
}

QImage wrapFrame(const platform::PixelBuffer& buffer) {
  return QImage(buffer.data(), buffer.width(), buffer.height(), buffer.bytesPerRow(),
                QImage::Format_RGB32);
}

QImage wrapCursor(const platform::PixelBuffer& buffer) {
  return QImage(buffer.data(), buffer.width(), buffer.height(), buffer.bytesPerRow(),
                QImage::Format_ARGB32_Premultiplied);
}

// The image a raster painter draws into, when the canvas may write its 32-bit pixels itself: the
// painter only moves (and scales for the device pixel ratio), so rectangles map to rectangles.
QImage* directlyWritableImage(QPainter& painter) {
  QPaintEngine* engine = painter.paintEngine();
  if (!engine || engine->type() != QPaintEngine::Raster) return nullptr;
  QPaintDevice* device = engine->paintDevice();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  const auto format = image->format();
  if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
      format != QImage::Format_ARGB32_Premultiplied)
    return nullptr;
  if (painter.deviceTransform().type() > QTransform::TxScale) return nullptr;
  return image;
}

}  // namespace

ProtectedShareCanvas::ProtectedShareCanvas(std::shared_ptr<capture::ProtectedOutputSurface> surface,
                                           std::shared_ptr<NativeImagePresenter> presenter,
                                           QWidget* parent)
    : QWidget(parent), surface_(std::move(surface)), presenter_(std::move(presenter)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(160, 90);
  if (surface_) {
    QPointer<ProtectedShareCanvas> self(this);
    redrawSubscription_ = surface_->setRedrawHandler([self](capture::ProtectedRedrawRequest) {
      if (self) self->updateChangedPart();
    });
  }
}

ProtectedShareCanvas::~ProtectedShareCanvas() = default;

void ProtectedShareCanvas::setDrawsOutput(bool drawsOutput) {
  if (drawsOutput_ == drawsOutput) return;
  drawsOutput_ = drawsOutput;
  repaintWhole();
}

Rect ProtectedShareCanvas::targetFor(const platform::PixelBuffer& buffer) const {
  const Size pixels{static_cast<double>(buffer.width()), static_cast<double>(buffer.height())};
  return share_window::outputImageRect(
      Size{static_cast<double>(width()), static_cast<double>(height())}, pixels, viewport_,
      devicePixelRatioF());
}

void ProtectedShareCanvas::repaintWhole() {
  shownSerial_ = 0;
  if (presentNatively(true)) return;
  leaveNativePath();
  update();
}

void ProtectedShareCanvas::leaveNativePath() {
  nativeSerial_ = 0;
  if (nativeArea_ == nullptr || nativeArea_->isHidden()) return;
  nativeArea_->hide();
  // What Qt painted under the child is stale: the next frame repaints whole.
  shownSerial_ = 0;
  paintedImageRect_ = QRect();
  update();
}

void ProtectedShareCanvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (nativeArea_ != nullptr) nativeArea_->setGeometry(rect());
}

void ProtectedShareCanvas::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Hidden windows may get a new native window of their own (never asked to be mapped), which Qt
  // cannot make with a native child inside: the child is made again for the next frame shown.
  if (nativeArea_ == nullptr) return;
  delete nativeArea_;
  nativeArea_ = nullptr;
  nativeSerial_ = 0;
  shownSerial_ = 0;
  paintedImageRect_ = QRect();
}

bool ProtectedShareCanvas::presentNatively(bool whole) {
  if (!presenter_ || nativeFailed_ || !drawsOutput_ || !surface_) return false;
  const auto snapshot = surface_->snapshot();
  if (!snapshot || !snapshot->image || !snapshot->image->sharedMemory()) return false;
  const auto& image = snapshot->image;
  if (image->width() <= 0 || image->height() <= 0 || devicePixelRatioF() != 1.0) return false;
  const Rect target = targetFor(*image);
  const QRect imageRect = toQRectF(target).toRect();
  const QRect visible = imageRect & rect();
  if (target.isEmpty() || visible.isEmpty()) return false;
  if (nativeArea_ == nullptr) {
    nativeArea_ = new NativeImageArea(this, [this] {
      if (!presentNatively(true)) leaveNativePath();
    });
    nativeArea_->setGeometry(rect());
  }
  if (nativeArea_->isHidden()) {
    nativeArea_->show();
    whole = true;
  }
  // Shown once the child is exposed: it then presents the snapshot of that moment, whole.
  const QWindow* window = nativeArea_->windowHandle();
  if (!isVisible() || window == nullptr || !window->isExposed()) return true;

  const auto changed =
      whole || imageRect != nativeImageRect_
          ? std::nullopt
          : share_window::changedOutputRects(*image, nativeSerial_, toRect(imageRect));
  QRegion region = visible;
  if (changed) {
    region = nativeCursorRect_;
    for (const Rect& rect : *changed) region += toQRectF(rect).toAlignedRect();
    region &= visible;
  } else {
    presenter_->fill(nativeArea_->winId(), QRegion(rect()).subtracted(imageRect),
                     kBackground.rgb());
  }
  nativeSerial_ = 0;
  QRect cursorArea;
  bool put = putImage(image, imageRect, visible, region);
  if (auto cursorRect = share_window::outputCursorRect(target, snapshot->cursor);
      put && cursorRect) {
    cursorArea = corvane::ui::cursorArea(*cursorRect) & visible;
    put = cursorArea.isEmpty() ||
          putCursor(*image, snapshot->cursor, imageRect, *cursorRect, cursorArea);
  }
  if (!put || !presenter_->flush()) {
    nativeFailed_ = true;
    return false;
  }
  nativeSerial_ = image->serial();
  nativeImageRect_ = imageRect;
  nativeCursorRect_ = cursorArea;
  ++presentedFrames_;
  lastPresentedRevision_ = snapshot->revision;
  surface_->reportPresentationCompleted(snapshot->revision);
  return true;
}

bool ProtectedShareCanvas::putImage(const platform::SharedPixelBuffer& image,
                                    const QRect& imageRect, const QRect& visible,
                                    const QRegion& region) {
  const WId window = nativeArea_->winId();
  if (imageRect.size() == QSize(image->width(), image->height())) {
    for (const QRect& part : region)
      if (!presenter_->put(window, image, part.translated(-imageRect.topLeft()), part.topLeft()))
        return false;
    return true;
  }
  // Scaled into shared memory of the canvas's own, holding what the child shows of the image.
  bool made = false;
  const auto scaled = scaled_.next(*presenter_, visible.size(),
                                   AlternatingPutBuffers::Sizing::exact, visible.size(), made);
  if (!scaled) return false;
  const QRegion scaledRegion = made ? QRegion(visible) : region;
  const SourcePixels source{image->data(), image->width(), image->height(), image->bytesPerRow()};
  std::uint8_t* pixels = scaled->mutableData();
  // Rows are put as soon as they are scaled: the server copies them while the rest is scaled. The
  // first ones go at once, so that the server starts early, then a few at a time.
  for (const QRect& part : scaledRegion) {
    const ScaledArea area{part.x() - imageRect.x(), part.y() - imageRect.y(), part.width(),
                          part.height()};
    int rowsPut = 0;
    bool put = true;
    const auto putRows = [&](int rows) {
      if (!put || (rowsPut > 0 && rows < part.height() &&
                   std::int64_t{rows - rowsPut} * part.width() < kPutPixels))
        return;
      const QRect written(part.x(), part.y() + rowsPut, part.width(), rows - rowsPut);
      put = presenter_->put(window, scaled, written.translated(-visible.topLeft()),
                            written.topLeft());
      if (rows < part.height()) presenter_->send();
      rowsPut = rows;
    };
    scaler_.scale(source, imageRect.width(), imageRect.height(), area,
                  TargetPixels{pixels + (part.y() - visible.y()) * scaled->bytesPerRow() +
                                   (part.x() - visible.x()) * 4,
                               scaled->bytesPerRow()},
                  putRows);
    if (!put) return false;
  }
  return true;
}

bool ProtectedShareCanvas::putCursor(const platform::PixelBuffer& image,
                                     const capture::ProtectedCursorState& cursor,
                                     const QRect& imageRect, const Rect& cursorRect,
                                     const QRect& area) {
  bool made = false;
  const auto patch =
      cursorPatches_.next(*presenter_, area.size(), AlternatingPutBuffers::Sizing::atLeast,
                          area.size().expandedTo(QSize(64, 64)), made);
  if (!patch) return false;
  // The image under the cursor as on screen, then the cursor over it as the painter draws it.
  const SourcePixels source{image.data(), image.width(), image.height(), image.bytesPerRow()};
  const int stride = patch->bytesPerRow();
  cursorScaler_.scale(
      source, imageRect.width(), imageRect.height(),
      ScaledArea{area.x() - imageRect.x(), area.y() - imageRect.y(), area.width(), area.height()},
      TargetPixels{patch->mutableData(), stride});
  QImage drawn(patch->mutableData(), area.width(), area.height(), stride, QImage::Format_RGB32);
  {
    QPainter painter(&drawn);
    painter.translate(-area.topLeft());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setClipRect(imageRect);
    painter.drawImage(toQRectF(cursorRect), wrapCursor(*cursor.image));
  }
  return presenter_->put(nativeArea_->winId(), patch, QRect(QPoint(), area.size()), area.topLeft());
}

void ProtectedShareCanvas::updateChangedPart() {
  if (presentNatively(false)) return;
  leaveNativePath();
  const auto snapshot = drawsOutput_ && surface_ ? surface_->snapshot() : std::nullopt;
  if (!snapshot || !snapshot->image) {
    shownSerial_ = 0;
    update();
    return;
  }
  const Rect target = targetFor(*snapshot->image);
  // Whole points, as paintEvent draws the image.
  const QRect imageRect = toQRectF(target).toRect();
  const auto changed =
      target.isEmpty() || imageRect != paintedImageRect_
          ? std::nullopt
          : share_window::changedOutputRects(*snapshot->image, shownSerial_, toRect(imageRect));
  // From here on, what lies outside the pending repaint shows this image.
  shownSerial_ = snapshot->image->serial();
  if (!changed) {
    present(rect());
    return;
  }
  QRegion region = paintedCursorRect_;
  for (const Rect& rect : *changed) region += toQRectF(rect).toAlignedRect();
  if (auto cursor = share_window::outputCursorRect(target, snapshot->cursor))
    region += cursorArea(*cursor);
  // A new revision is presented even when no pixel changed: one pixel of the image is repainted.
  if (region.isEmpty()) region = QRect(imageRect.topLeft(), QSize(1, 1));
  present(region);
}

std::vector<QRegion> ProtectedShareCanvas::bandsOf(const QRegion& region) {
  std::int64_t pixels = 0;
  for (const QRect& rect : region) pixels += std::int64_t{rect.width()} * rect.height();
  if (pixels < kBandedPixels) return {region};
  const QRect bounds = region.boundingRect();
  const int count = static_cast<int>(std::clamp<std::int64_t>(pixels / kBandPixels, 1, kMostBands));
  const int step = (bounds.height() + count - 1) / count;
  std::vector<QRegion> bands;
  for (int y = bounds.top(); y <= bounds.bottom(); y += step) {
    QRegion band = region.intersected(QRect(bounds.left(), y, bounds.width(), step));
    if (!band.isEmpty()) bands.push_back(std::move(band));
  }
  return bands;
}

void ProtectedShareCanvas::present(const QRegion& region) {
  QWindow* window = windowHandle();
  const auto bands = bandsOf(region);
  if (bands.size() < 2 || !isVisible() || window == nullptr || !window->isExposed()) {
    update(region);
    return;
  }
  // Painted and handed over band by band: the X server copies one band into the window while the
  // next is drawn, instead of starting only once the whole area is drawn.
  for (std::size_t i = 0; i < bands.size(); ++i) {
    reportsPresentation_ = i + 1 == bands.size();
    repaint(bands[i]);
  }
  reportsPresentation_ = true;
}

void ProtectedShareCanvas::setViewport(const share_window::ProtectedShareViewportState& viewport) {
  if (viewport_ == viewport) return;
  viewport_ = viewport;
  repaintWhole();
}

void ProtectedShareCanvas::setPlaceholder(const QString& title, const QString& detail) {
  placeholderTitle_ = title;
  placeholderDetail_ = detail;
  if (!drawsOutput_) update();
}

void ProtectedShareCanvas::drawPlaceholder(QPainter& painter) {
  if (placeholderTitle_.isEmpty()) return;
  painter.setPen(QColor(235, 235, 240));
  QFont font = this->font();
  font.setPixelSize(15);
  font.setWeight(QFont::DemiBold);
  painter.setFont(font);
  const QRectF area = QRectF(rect()).adjusted(24, 0, -24, 0);
  painter.drawText(area.adjusted(0, 0, 0, -height() / 2.0 + 4), Qt::AlignHCenter | Qt::AlignBottom,
                   placeholderTitle_);
  font.setPixelSize(12);
  font.setWeight(QFont::Normal);
  painter.setFont(font);
  painter.setPen(QColor(170, 172, 180));
  painter.drawText(area.adjusted(0, height() / 2.0 + 6, 0, 0),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, placeholderDetail_);
}

void ProtectedShareCanvas::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (nativeArea_ != nullptr && !nativeArea_->isHidden()) {  // the child shows the output
    painter.fillRect(event->rect(), kBackground);
    return;
  }
  // Set again below once an image is drawn; otherwise the next frame repaints whole.
  paintedImageRect_ = QRect();
  paintedCursorRect_ = QRect();
  if (!drawsOutput_ || !surface_) {
    painter.fillRect(rect(), kBackground);
    drawPlaceholder(painter);
    return;
  }
  const auto snapshot = surface_->snapshot();
  if (!snapshot) {  // cleared: nothing to show, nothing to report
    painter.fillRect(rect(), kBackground);
    return;
  }
  const auto& buffer = snapshot->image;
  if (!buffer || buffer->width() <= 0 || buffer->height() <= 0 ||
      buffer->byteCount() < static_cast<std::size_t>(buffer->bytesPerRow()) * buffer->height()) {
    painter.fillRect(rect(), kBackground);
    if (reportsPresentation_) surface_->reportPresentationFailed(snapshot->revision);
    return;
  }
  const Rect target = targetFor(*buffer);
  if (target.isEmpty()) {
    painter.fillRect(rect(), kBackground);
    if (reportsPresentation_) surface_->reportPresentationFailed(snapshot->revision);
    return;
  }
  // Whole pixels, so the image and the background around it meet without a seam or overlap.
  const QRect imageRect = toQRectF(target).toRect();
  // Each pixel is written once: the background only where the image does not go.
  for (const QRect& band : QRegion(event->rect()).subtracted(imageRect))
    painter.fillRect(band, kBackground);
  drawFrame(painter, *buffer, imageRect, event->region());

  paintedImageRect_ = imageRect;
  paintedCursorRect_ = QRect();
  if (auto cursorRect = share_window::outputCursorRect(target, snapshot->cursor)) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setClipRect(imageRect);
    painter.drawImage(toQRectF(*cursorRect), wrapCursor(*snapshot->cursor.image));
    paintedCursorRect_ = cursorArea(*cursorRect);
  }
  painter.end();
  if (!reportsPresentation_) return;  // a band of a larger area: its last band reports
  ++presentedFrames_;
  lastPresentedRevision_ = snapshot->revision;
  surface_->reportPresentationCompleted(snapshot->revision);
}

void ProtectedShareCanvas::drawFrame(QPainter& painter, const platform::PixelBuffer& buffer,
                                     const QRect& imageRect, const QRegion& exposed) {
  const QRect deviceRect = painter.deviceTransform().mapRect(QRectF(imageRect)).toRect();
  // Write the (filtered) pixels straight into the painter's image, opaque, once each and only
  // where this paint may draw, instead of letting the painter resample through its span pipeline.
  if (QImage* device = directlyWritableImage(painter)) {
    QRegion writable = painter.deviceTransform().map(
        painter.hasClipping() ? exposed.intersected(painter.clipRegion()) : exposed);
    if (const QRegion systemClip = painter.paintEngine()->systemClip(); !systemClip.isEmpty())
      writable &= systemClip;
    const SourcePixels source{buffer.data(), buffer.width(), buffer.height(), buffer.bytesPerRow()};
    for (const QRect& part : writable.intersected(deviceRect.intersected(device->rect()))) {
      const ScaledArea area{part.x() - deviceRect.x(), part.y() - deviceRect.y(), part.width(),
                            part.height()};
      scaler_.scale(source, deviceRect.width(), deviceRect.height(), area,
                    TargetPixels{device->scanLine(part.y()) + part.x() * 4,
                                 static_cast<int>(device->bytesPerLine())});
    }
    return;
  }
  // Any other device: one image pixel per device pixel needs no filtering.
  const QImage frame = wrapFrame(buffer);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, deviceRect.size() != frame.size());
  painter.drawImage(imageRect, frame);
}

}  // namespace corvane::ui
