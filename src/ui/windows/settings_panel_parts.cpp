#include "ui/windows/settings_panel_parts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/rounded_panel.h"
#include "ui/windows/window_widgets.h"

namespace corvane::ui {

QVBoxLayout* makeTitledColumn(QWidget* panel, const char* title, const char* subtitle) {
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addWidget(new SectionTitle(title, subtitle, panel));
  return column;
}

RoundedPanel* makeListCard(QWidget* parent, QVBoxLayout*& rows) {
  auto* card = RoundedPanel::card(parent);
  rows = new QVBoxLayout(card);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(0);
  return card;
}

RoundedPanel* makeSettingsCard(QWidget* parent, QLayout* content) {
  auto* card = RoundedPanel::card(parent);
  content->setContentsMargins(12, 12, 12, 12);
  card->setLayout(content);
  return card;
}

QWidget* makeSymbolTitle(QWidget* parent, const std::string& text, const std::string& symbol,
                         qreal pixelSize, QFont::Weight weight, const QColor& color) {
  auto* holder = new QWidget(parent);
  auto* row = new QHBoxLayout(holder);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(4);
  auto* image = makeSymbolLabel(holder, symbol, qRound(pixelSize), color);
  image->setObjectName(QStringLiteral("symbol"));
  row->addWidget(image);
  auto* label = makeTextLabel(holder, text, pixelSize, weight);
  label->setObjectName(QStringLiteral("text"));
  setTextColor(label, color);
  row->addWidget(label, 1);
  return holder;
}

void limitLines(QLabel* label, int lines) {
  label->setMaximumHeight(label->fontMetrics().lineSpacing() * lines + 2);
}

QPushButton* makeCommandButton(QWidget* parent, const std::string& title, const std::string& symbol,
                               std::weak_ptr<windows::SettingsWindowController> controller,
                               void (windows::SettingsWindowController::*command)()) {
  auto* button = makeButton(parent, ButtonStyle::bordered);
  setButtonContent(button, title, symbol);
  QObject::connect(
      button, &QPushButton::clicked, button, [controller = std::move(controller), command] {
        withController(controller,
                       [command](windows::SettingsWindowController& c) { (c.*command)(); });
      });
  return button;
}

StatusRowView::StatusRowView(Style style, QWidget* parent) : QWidget(parent) {
  row_ = new QHBoxLayout(this);
  row_->setContentsMargins(0, 0, 0, 0);
  row_->setSpacing(style.alignTop ? 12 : 10);
  const Qt::Alignment vertical = style.alignTop ? Qt::AlignTop : Qt::AlignVCenter;
  symbol_ = makeSymbolLabel(this, "circle", 20, toQColor(model::StatusColor::secondary), 24);
  row_->addWidget(symbol_, 0, vertical);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  title_ = makeTextLabel(this, "", style.titlePixelSize, style.titleWeight);
  detail_ = makeTextLabel(this, "", 11, QFont::Normal, true);
  setTextColor(detail_, toQColor(model::StatusColor::secondary));
  if (style.detailMaxLines > 0) limitLines(detail_, style.detailMaxLines);
  texts->addWidget(title_);
  texts->addWidget(detail_);
  row_->addLayout(texts, 1);
  row_->setAlignment(texts, vertical);
}

QLabel* makeHintLabel(QWidget* parent) {
  auto* label = makeTextLabel(parent, "", 11, QFont::Normal, true);
  label->setObjectName(QStringLiteral("hint"));
  setTextColor(label, toQColor(model::StatusColor::secondary));
  label->hide();
  return label;
}

void showHint(QLabel* label, const std::optional<std::string>& hint) {
  label->setText(QString::fromStdString(hint.value_or("")));
  label->setVisible(hint.has_value());
}

void StatusRowView::set(const windows::StatusRowModel& model) {
  setSymbol(symbol_, model.systemImage, 20, toQColor(model.color));
  title_->setText(QString::fromStdString(model.title));
  detail_->setText(QString::fromStdString(model.detail));
}

}  // namespace corvane::ui
