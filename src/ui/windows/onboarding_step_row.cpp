#include "ui/windows/onboarding_step_row.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt_palette_theme.h"
#include "ui/windows/window_widgets.h"
#include "windows/health_mark.h"

namespace corvane::ui {

OnboardingStepRow::OnboardingStepRow(std::function<void()> action, QWidget* parent)
    : RoundedPanel(Style::card, parent), action_(std::move(action)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(12, 12, 12, 12);
  row->setSpacing(12);
  mark_ =
      makeSymbolLabel(this, "minus.circle.fill", 20, toQColor(model::StatusColor::secondary), 24);
  row->addWidget(mark_, 0, Qt::AlignVCenter);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(3);
  title_ = makeTextLabel(this, "", 14, QFont::DemiBold);
  detail_ = makeTextLabel(this, "", 12, QFont::Normal, true);
  setTextColor(detail_, toQColor(model::StatusColor::secondary));
  texts->addWidget(title_);
  texts->addWidget(detail_);
  row->addLayout(texts, 1);
  button_ = makeButton(this, ButtonStyle::plain);
  button_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  row->addWidget(button_, 0, Qt::AlignVCenter);
  connect(button_, &QPushButton::clicked, this, [this] {
    if (action_) action_();
  });
}

void OnboardingStepRow::set(const windows::OnboardingStepRowModel& row) {
  const auto mark = windows::healthMark(row.state);
  setSymbol(mark_, mark.systemImage, 20, toQColor(mark.color));
  title_->setText(QString::fromStdString(row.title));
  detail_->setText(QString::fromStdString(row.detail));
  setButtonContent(button_, row.actionTitle);
  button_->setEnabled(row.isActionEnabled());
}

}  // namespace corvane::ui
