#include "ui/protected_share_canvas.h"

#include <QImage>
#include <QPainter>
#include <QPointer>

#include "capture/protected_output_surface.h"
#include "share_window/canvas_layout.h"

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
QImage wrapFrame(const platform::PixelBuffer& buffer) {
  return QImage(buffer.data(), buffer.width(), buffer.height(), buffer.bytesPerRow(),
                QImage::Format_RGB32);
}

QImage wrapCursor(const platform::PixelBuffer& buffer) {
  return QImage(buffer.data(), buffer.width(), buffer.height(), buffer.bytesPerRow(),
                QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

ProtectedShareCanvas::ProtectedShareCanvas(std::shared_ptr<capture::ProtectedOutputSurface> surface,
                                           QWidget* parent)
    : QWidget(parent), surface_(std::move(surface)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(160, 90);
  if (surface_) {
    QPointer<ProtectedShareCanvas> self(this);
    redrawSubscription_ = surface_->setRedrawHandler([self](capture::ProtectedRedrawRequest) {
      if (self) self->update();
    });
  }
}

ProtectedShareCanvas::~ProtectedShareCanvas() = default;

void ProtectedShareCanvas::setDrawsOutput(bool drawsOutput) {
  if (drawsOutput_ == drawsOutput) return;
  drawsOutput_ = drawsOutput;
  update();
}

void ProtectedShareCanvas::setViewport(const share_window::ProtectedShareViewportState& viewport) {
  if (viewport_ == viewport) return;
  viewport_ = viewport;
  update();
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

void ProtectedShareCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  if (!drawsOutput_ || !surface_) {
    drawPlaceholder(painter);
    return;
  }
  const auto snapshot = surface_->snapshot();
  if (!snapshot) return;  // cleared: nothing to show, nothing to report
  const auto& buffer = snapshot->image;
  if (!buffer || buffer->width() <= 0 || buffer->height() <= 0 ||
      buffer->byteCount() < static_cast<std::size_t>(buffer->bytesPerRow()) * buffer->height()) {
    surface_->reportPresentationFailed(snapshot->revision);
    return;
  }
  const QImage frame = wrapFrame(*buffer);
  const Size pixels{static_cast<double>(buffer->width()), static_cast<double>(buffer->height())};
  const qreal ratio = devicePixelRatioF();
  const Rect target = share_window::outputImageRect(
      Size{static_cast<double>(width()), static_cast<double>(height())}, pixels, viewport_, ratio);
  if (target.isEmpty()) {
    surface_->reportPresentationFailed(snapshot->revision);
    return;
  }
  // One image pixel per device pixel needs no filtering; any other scale is smoothed.
  const bool unscaled = std::abs(target.width() * ratio - pixels.width) < 0.5 &&
                        std::abs(target.height() * ratio - pixels.height) < 0.5;
  painter.setRenderHint(QPainter::SmoothPixmapTransform, !unscaled);
  painter.drawImage(toQRectF(target), frame);

  if (auto cursorRect = share_window::outputCursorRect(target, snapshot->cursor)) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setClipRect(toQRectF(target));
    painter.drawImage(toQRectF(*cursorRect), wrapCursor(*snapshot->cursor.image));
  }
  painter.end();
  ++presentedFrames_;
  lastPresentedRevision_ = snapshot->revision;
  surface_->reportPresentationCompleted(snapshot->revision);
}

}  // namespace corvane::ui
