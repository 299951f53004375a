#include "ui/windows/setup_notices.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt_palette_theme.h"
#include "ui/widget_style.h"
#include "ui/windows/window_widgets.h"

namespace corvane::ui {

using windows::MigrationNoticeModel;

SetupNoticeFrame::SetupNoticeFrame(const char* symbol, const char* heading, const char* explanation,
                                   int spacing, QWidget* parent)
    : RoundedPanel(Style::warningBox, parent) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(12, 12, 12, 12);
  row->setSpacing(12);
  auto* mark = makeSymbolLabel(this, symbol, 20, toQColor(model::StatusColor::warningAmber), 24);
  row->addWidget(mark, 0, Qt::AlignTop);
  texts_ = new QVBoxLayout;
  texts_->setSpacing(spacing);
  heading_ = makeTextLabel(this, heading, 14, QFont::DemiBold);
  explanation_ = makeTextLabel(this, explanation, 12, QFont::Normal, true);
  setTextColor(explanation_, toQColor(model::StatusColor::secondary));
  texts_->addWidget(heading_);
  texts_->addWidget(explanation_);
  row->addLayout(texts_, 1);
}

MigrationNoticeView::MigrationNoticeView(ButtonAction action, QWidget* parent)
    : SetupNoticeFrame(MigrationNoticeModel::symbol, MigrationNoticeModel::heading,
                       MigrationNoticeModel::explanation, 5, parent),
      action_(std::move(action)) {
  setObjectName(QStringLiteral("migrationNotice"));
  section_ = new QWidget(this);
  auto* column = new QVBoxLayout(section_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(5);
  auto* divider = new QWidget(section_);
  auto* dividerLayout = new QVBoxLayout(divider);
  dividerLayout->setContentsMargins(0, 2, 0, 2);
  dividerLayout->addWidget(makeDivider(divider));
  column->addWidget(divider);
  previousCopy_ = makeTextLabel(section_, "", 12, QFont::Normal, true);
  setTextColor(previousCopy_, toQColor(model::StatusColor::secondary));
  column->addWidget(previousCopy_);
  buttonRow_ = new QWidget(section_);
  auto* buttons = new QHBoxLayout(buttonRow_);
  buttons->setContentsMargins(0, 0, 0, 0);
  column->addWidget(buttonRow_);
  quitError_ = makeTextLabel(section_, "", 12, QFont::Normal, true);
  setTextColor(quitError_, toQColor(model::StatusColor::criticalRed));
  column->addWidget(quitError_);
  texts()->addWidget(section_);
}

void MigrationNoticeView::set(const MigrationNoticeModel& notice) {
  if (shown_ == notice) return;
  shown_ = notice;
  section_->setVisible(notice.showsPreviousCopy);
  previousCopy_->setText(QString::fromStdString(notice.previousCopyText));
  // A button may be the sender of the click that led here: delete them once control is back.
  for (auto* button : buttons_) {
    button->hide();
    button->deleteLater();
  }
  buttons_.clear();
  auto* row = static_cast<QHBoxLayout*>(buttonRow_->layout());
  while (auto* item = row->takeAt(0)) delete item;
  for (const auto& model : notice.buttons) {
    auto* button = makeButton(buttonRow_, ButtonStyle::bordered);
    setButtonContent(button, model.title, model.systemImage);
    button->setEnabled(model.isEnabled);
    const auto kind = model.kind;
    connect(button, &QPushButton::clicked, this, [this, kind] {
      if (action_) action_(kind);
    });
    row->addWidget(button);
    buttons_.append(button);
  }
  row->addStretch(1);
  quitError_->setVisible(notice.quitError.has_value());
  quitError_->setText(QString::fromStdString(notice.quitError.value_or("")));
}

SettingsResetNoticeView::SettingsResetNoticeView(QWidget* parent)
    : SetupNoticeFrame(windows::SettingsResetNotice::symbol, windows::SettingsResetNotice::heading,
                       windows::SettingsResetNotice::explanation().c_str(), 3, parent) {
  setObjectName(QStringLiteral("settingsResetNotice"));
  keptAs_ = makeTextLabel(this, "", 12, QFont::Normal, true);
  keptAs_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  setTextColor(keptAs_, toQColor(model::StatusColor::secondary));
  texts()->addWidget(keptAs_);
  hide();
}

void SettingsResetNoticeView::set(const std::optional<model::SettingsStoreProblem>& reset) {
  setVisible(reset.has_value());
  const auto keptAs = reset ? windows::SettingsResetNotice::keptAsText(*reset) : std::nullopt;
  keptAs_->setVisible(keptAs.has_value());
  keptAs_->setText(QString::fromStdString(keptAs.value_or("")));
}

MenuBarFallbackNoticeView::MenuBarFallbackNoticeView(QWidget* parent)
    : SetupNoticeFrame(windows::MenuBarFallbackNotice::symbol,
                       windows::MenuBarFallbackNotice::heading,
                       windows::MenuBarFallbackNotice::explanation, 3, parent) {
  setObjectName(QStringLiteral("menuBarFallbackNotice"));
}

void MenuBarFallbackNoticeView::set(const windows::MenuBarFallbackNotice& notice) {
  headingLabel()->setText(QString::fromStdString(notice.headingText));
  explanationLabel()->setText(QString::fromStdString(notice.explanationText));
}

}  // namespace corvane::ui
