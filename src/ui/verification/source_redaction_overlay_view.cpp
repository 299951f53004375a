#include "ui/verification/source_redaction_overlay_view.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <cmath>

#include "ui/qt_window_system.h"
#include "ui/symbol_images.h"
#include "ui/widget_style.h"
#include "verification/source_mask_visual_style.h"

namespace corvane::ui {

namespace {

namespace style = verification::SourceMaskVisualStyle;
using verification::SourceMaskContentLayout;
using verification::SourceMaskLayout;

constexpr const char* kLockSymbol = "lock.fill";

QColor qColor(const style::Rgba& c) {
  return QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green),
                          static_cast<float>(c.blue), static_cast<float>(c.alpha));
}

QRectF qRect(const platform::Rect& r) {
  return QRectF(r.minX(), r.minY(), r.width(), r.height());
}

class QtSourceMaskContent final : public verification::SourceRedactionOverlayContent {
 public:
  QtSourceMaskContent()
      : view_(new SourceRedactionOverlayView()),
        content_(std::make_shared<QtContentView>(view_.data())) {}

  std::shared_ptr<platform::ContentView> contentView() const override { return content_; }
  void setLayout(SourceMaskLayout layout) override {
    if (view_) view_->setLayout(std::move(layout));
  }
  platform::Size measureLabel(const std::string& text, double fontSize) const override {
    if (!view_) return {};
    const QSizeF size = view_->labelSize(QString::fromStdString(text), fontSize);
    return {size.width(), size.height()};
  }

 private:
  QPointer<SourceRedactionOverlayView> view_;
  std::shared_ptr<QtContentView> content_;
};

}  // namespace

SourceRedactionOverlayView::SourceRedactionOverlayView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
}

void SourceRedactionOverlayView::setLayout(SourceMaskLayout layout) {
  layout_ = std::move(layout);
  update();
}

QSizeF SourceRedactionOverlayView::labelSize(const QString& text, qreal fontSize) const {
  return QFontMetricsF(fontOf(this, fontSize, QFont::DemiBold)).size(Qt::TextSingleLine, text);
}

void SourceRedactionOverlayView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(event->rect(), Qt::transparent);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setRenderHint(QPainter::Antialiasing);

  for (const auto& mask : layout_.masks) {
    QPainterPath path;
    path.addRoundedRect(qRect(mask.rect), mask.cornerRadius, mask.cornerRadius);
    painter.fillPath(path, qColor(style::maskFillColor));
    if (mask.content) drawMaskContent(painter, *mask.content);
    painter.strokePath(path, QPen(qColor(style::borderColor), mask.borderWidth));
  }
}

void SourceRedactionOverlayView::drawMaskContent(QPainter& painter,
                                                 const SourceMaskContentLayout& content) {
  const QRectF symbolRect = qRect(content.symbolRect);
  const auto& symbols = SymbolImages::shared();
  if (symbols.hasSymbol(kLockSymbol) && symbolRect.width() >= 1) {
    const int side = static_cast<int>(std::lround(symbolRect.width()));
    const QImage lock =
        symbols.image(kLockSymbol, side, qColor(style::accentColor), devicePixelRatioF());
    painter.drawImage(symbolRect, lock);
  }
  if (content.text) {
    painter.setFont(fontOf(this, content.fontSize, QFont::DemiBold));
    painter.setPen(qColor(style::labelColor));
    painter.drawText(qRect(content.textRect), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QString::fromStdString(*content.text));
  }
}

verification::SourceRedactionOverlayContentFactory makeSourceRedactionOverlayContentFactory() {
  return [] { return std::make_shared<QtSourceMaskContent>(); };
}

}  // namespace corvane::ui
