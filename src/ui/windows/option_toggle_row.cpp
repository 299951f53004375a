#include "ui/windows/option_toggle_row.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/qt_palette_theme.h"
#include "ui/toggle_switch.h"
#include "ui/windows/window_widgets.h"

namespace corvane::ui {

OptionToggleRow::OptionToggleRow(const std::string& title, const std::string& subtitle,
                                 const std::string& systemImage, std::function<void(bool)> setIsOn,
                                 QWidget* parent)
    : RoundedPanel(Style::card, parent), setIsOn_(std::move(setIsOn)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(12, 12, 12, 12);
  row->setSpacing(10);
  row->addWidget(
      makeSymbolLabel(this, systemImage, 16, toQColor(model::Palette::privacyGreen()), 22));
  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  texts->addWidget(makeTextLabel(this, title, 13, QFont::Medium));
  subtitle_ = makeTextLabel(this, subtitle, 11, QFont::Normal, true);
  subtitle_->setMaximumHeight(subtitle_->fontMetrics().lineSpacing() * 2 + 2);
  setTextColor(subtitle_, toQColor(model::StatusColor::secondary));
  texts->addWidget(subtitle_);
  row->addLayout(texts, 1);
  toggle_ = new ToggleSwitch(toQColor(model::Palette::privacyGreen()), this);
  toggle_->setAccessibleName(QString::fromStdString(title));
  toggle_->setAccessibleDescription(QString::fromStdString(subtitle));
  connect(toggle_, &ToggleSwitch::toggled, this, [this](bool on) {
    if (setIsOn_) setIsOn_(on);
  });
  row->addWidget(toggle_);
}

void OptionToggleRow::set(bool isOn, bool isDisabled) {
  {
    const QSignalBlocker blocker(toggle_);
    toggle_->setChecked(isOn);
  }
  toggle_->setEnabled(!isDisabled);
  const qreal opacity = isDisabled ? kDisabledOpacity : 1.0;
  if (opacity != opacity_) {
    opacity_ = opacity;
    auto* effect = new QGraphicsOpacityEffect(this);
    effect->setOpacity(opacity_);
    setGraphicsEffect(opacity_ < 1.0 ? effect : nullptr);
    if (opacity_ >= 1.0) delete effect;
  }
}

}  // namespace corvane::ui
