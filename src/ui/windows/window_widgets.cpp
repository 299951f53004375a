#include "ui/windows/window_widgets.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QMouseEvent>

#include "ui/qt_palette_theme.h"
#include "ui/symbol_images.h"
#include "ui/widget_style.h"

namespace corvane::ui {

QLabel* makeTextLabel(QWidget* parent, const std::string& text, qreal pixelSize,
                      QFont::Weight weight, bool wraps) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setFont(fontOf(label, pixelSize, weight));
  label->setTextFormat(Qt::PlainText);
  // Wrapping labels take the height their width needs (word wrap turns height-for-width on).
  label->setWordWrap(wraps);
  return label;
}

void setTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::ButtonText, color);
  palette.setColor(QPalette::Text, color);
  widget->setPalette(palette);
}

void setSymbol(QLabel* label, const std::string& symbol, int size, const QColor& color) {
  label->setPixmap(QPixmap::fromImage(
      SymbolImages::shared().image(symbol, size, color, label->devicePixelRatioF())));
  label->setProperty("symbol", QString::fromStdString(symbol));
}

QLabel* makeSymbolLabel(QWidget* parent, const std::string& symbol, int size, const QColor& color,
                        int frameWidth) {
  auto* label = new QLabel(parent);
  label->setAlignment(Qt::AlignCenter);
  if (frameWidth > 0) label->setFixedWidth(frameWidth);
  setSymbol(label, symbol, size, color);
  return label;
}

QPushButton* makeButton(QWidget* parent, ButtonStyle style, const QColor& tint) {
  auto* button = new QPushButton(parent);
  button->setCursor(Qt::PointingHandCursor);
  switch (style) {
    case ButtonStyle::plain:
      button->setFlat(true);
      break;
    case ButtonStyle::bordered:
      break;
    case ButtonStyle::prominent:
      button->setStyleSheet(
          QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                         " border-radius: 6px; padding: 5px 12px; font-weight: 600; }"
                         "QPushButton:pressed { background: %2; }"
                         "QPushButton:disabled { background: %3; color: %4; }")
              .arg(tint.name(), tint.darker(120).name(),
                   withAlpha(tint, 0.35).name(QColor::HexArgb),
                   withAlpha(Qt::white, 0.8).name(QColor::HexArgb)));
      break;
  }
  button->setProperty("buttonStyle", static_cast<int>(style));
  return button;
}

void setButtonContent(QPushButton* button, const std::string& title,
                      const std::string& systemImage) {
  button->setText(QString::fromStdString(title));
  button->setProperty("symbol", QString::fromStdString(systemImage));
  if (systemImage.empty()) {
    button->setIcon(QIcon());
    return;
  }
  const bool prominent =
      button->property("buttonStyle").toInt() == static_cast<int>(ButtonStyle::prominent);
  const QColor tint = prominent ? QColor(Qt::white) : button->palette().color(QPalette::ButtonText);
  button->setIcon(SymbolImages::shared().icon(systemImage, tint, 14));
  button->setIconSize(QSize(14, 14));
}

WrappingCheckBox::WrappingCheckBox(const std::string& text, qreal pixelSize, QFont::Weight weight,
                                   QWidget* parent)
    : QWidget(parent),
      box_(new QCheckBox(this)),
      label_(makeTextLabel(this, text, pixelSize, weight, true)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);
  row->addWidget(box_, 0, Qt::AlignTop);
  label_->setAttribute(Qt::WA_TransparentForMouseEvents);
  row->addWidget(label_, 1);
  box_->setAccessibleName(QString::fromStdString(text));
  setCursor(Qt::PointingHandCursor);
}

void WrappingCheckBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    box_->toggle();
  }
}

QWidget* makeDivider(QWidget* parent, Qt::Orientation orientation) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::NoFrame);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, toQColor(model::Palette::panelBorder()));
  line->setPalette(palette);
  if (orientation == Qt::Horizontal) {
    line->setFixedHeight(1);
    line->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  } else {
    line->setFixedWidth(1);
    line->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  }
  return line;
}

}  // namespace corvane::ui
