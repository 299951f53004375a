#include "ui/design_components.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "ui/symbol_images.h"
#include "ui/widget_style.h"

namespace corvane::ui {

ActionTile::ActionTile(std::string title, std::string systemImage, bool isEnabled,
                       std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent),
      title_(std::move(title)),
      systemImage_(std::move(systemImage)),
      action_(std::move(action)) {
  setText(QString::fromStdString(title_));
  setEnabled(isEnabled);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (action_) action_();
  });
}

QSize ActionTile::sizeHint() const {
  return QSize(96, 58);
}

void ActionTile::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(isEnabled() ? 1.0 : 0.4);
  const QColor text = palette().color(QPalette::WindowText);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
  painter.fillPath(shape, withAlpha(text, isDown() ? 0.12 : 0.05));
  const int symbol = 18;
  const QImage image =
      SymbolImages::shared().image(systemImage_, symbol, text, devicePixelRatioF());
  painter.drawImage(QPointF((width() - symbol) / 2.0, 9), image);
  painter.setPen(text);
  painter.setFont(fontOf(this, 11, QFont::Medium));
  painter.drawText(QRectF(4, 9 + symbol + 4, width() - 8, height() - symbol - 15),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                   QString::fromStdString(title_));
}

SidebarItem::SidebarItem(std::string title, std::string systemImage, bool isSelected,
                         std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent),
      title_(std::move(title)),
      systemImage_(std::move(systemImage)),
      isSelected_(isSelected),
      action_(std::move(action)) {
  setText(QString::fromStdString(title_));
  setFixedHeight(kHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (action_) action_();
  });
}

void SidebarItem::setSelected(bool selected) {
  if (isSelected_ == selected) return;
  isSelected_ = selected;
  update();
}

QSize SidebarItem::sizeHint() const {
  return QSize(180, kHeight);
}

void SidebarItem::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (isSelected_) {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(shape, QColor::fromRgbF(0, 0, 0, static_cast<float>(kSelectedOpacity)));
  }
  const QColor text = palette().color(QPalette::WindowText);
  const int symbol = 16;
  painter.drawImage(QPointF(10, (height() - symbol) / 2.0),
                    SymbolImages::shared().image(systemImage_, symbol, text, devicePixelRatioF()));
  painter.setPen(text);
  painter.setFont(fontOf(this, 13, isSelected_ ? QFont::DemiBold : QFont::Normal));
  painter.drawText(QRectF(10 + symbol + 8, 0, width() - symbol - 26, height()),
                   Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(title_));
}

SectionTitle::SectionTitle(std::string title, std::optional<std::string> subtitle, QWidget* parent)
    : QWidget(parent), title_(new QLabel(QString::fromStdString(title), this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  title_->setFont(fontOf(this, kTitlePixelSize, QFont::DemiBold));
  layout->addWidget(title_);
  if (subtitle) {
    subtitle_ = new QLabel(QString::fromStdString(*subtitle), this);
    subtitle_->setFont(fontOf(this, 11, QFont::Normal));
    subtitle_->setWordWrap(true);
    QPalette secondary = subtitle_->palette();
    secondary.setColor(QPalette::WindowText, palette().color(QPalette::PlaceholderText));
    subtitle_->setPalette(secondary);
    layout->addWidget(subtitle_);
  }
}

StatusPill::StatusPill(std::string title, std::string systemImage, QColor color, QWidget* parent)
    : QWidget(parent),
      title_(std::move(title)),
      systemImage_(std::move(systemImage)),
      color_(color) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StatusPill::set(std::string title, std::string systemImage, QColor color) {
  title_ = std::move(title);
  systemImage_ = std::move(systemImage);
  color_ = color;
  updateGeometry();
  update();
}

QSize StatusPill::sizeHint() const {
  const QFontMetrics metrics(fontOf(this, 11, QFont::DemiBold));
  return QSize(8 + 12 + 5 + metrics.horizontalAdvance(QString::fromStdString(title_)) + 10, 22);
}

void StatusPill::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = bounds.height() / 2;
  QPainterPath shape;
  shape.addRoundedRect(bounds, radius, radius);
  painter.fillPath(shape, withAlpha(color_, kFillOpacity));
  painter.setPen(QPen(withAlpha(color_, kStrokeOpacity), 1));
  painter.drawPath(shape);
  const int symbol = 12;
  painter.drawImage(
      QPointF(8, (height() - symbol) / 2.0),
      SymbolImages::shared().image(systemImage_, symbol, color_, devicePixelRatioF()));
  painter.setPen(color_);
  painter.setFont(fontOf(this, 11, QFont::DemiBold));
  painter.drawText(QRectF(8 + symbol + 5, 0, width() - symbol - 18, height()),
                   Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(title_));
}

}  // namespace corvane::ui
