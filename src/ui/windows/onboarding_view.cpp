#include "ui/windows/onboarding_view.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include "runtime/main_actor.h"
#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/qt_window_system.h"
#include "ui/rounded_panel.h"
#include "ui/widget_style.h"
#include "ui/windows/onboarding_step_row.h"
#include "ui/windows/setup_notices.h"
#include "ui/windows/window_widgets.h"
#include "windows/health_mark.h"

namespace corvane::ui {

using windows::OnboardingStep;
using windows::OnboardingViewModel;

namespace {

constexpr int kShareTargetCardWidth = 260;

}  // namespace

OnboardingView::OnboardingView(std::shared_ptr<windows::SetupChecklist> checklist, QWidget* parent)
    : QWidget(parent), checklist_(std::move(checklist)) {
  setObjectName(QStringLiteral("onboardingView"));
  setAutoFillBackground(true);
  QPalette background = palette();
  background.setColor(QPalette::Window, toQColor(model::Palette::appBackground()));
  setPalette(background);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  auto* scroll = new QScrollArea(this);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* content = new QWidget(scroll);
  content->setAutoFillBackground(false);
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(24, 24, 24, 24);
  column->setSpacing(18);
  column->addWidget(buildHeader(content));

  migrationNotice_ = new MigrationNoticeView(
      [this](windows::MigrationNoticeButton button) {
        perform([button](windows::SetupChecklist& setup) {
          setup.performMigrationNoticeAction(button);
        });
      },
      content);
  fallbackNotice_ = new MenuBarFallbackNoticeView(content);
  resetNotice_ = new SettingsResetNoticeView(content);
  column->addWidget(resetNotice_);
  column->addWidget(migrationNotice_);
  column->addWidget(fallbackNotice_);

  // Top-aligned by the stretch closing each column: alignment flags here would stop the wrapping
  // texts from taking the height their width needs.
  auto* columns = new QHBoxLayout;
  columns->setSpacing(18);
  auto* checklistColumn = new QVBoxLayout;
  checklistColumn->addWidget(buildChecklist(content));
  checklistColumn->addStretch(1);
  auto* cardColumn = new QVBoxLayout;
  cardColumn->addWidget(buildShareTargetCard(content));
  cardColumn->addStretch(1);
  columns->addLayout(checklistColumn, 1);
  columns->addLayout(cardColumn, 0);
  column->addLayout(columns);
  column->addStretch(1);
  scroll->setWidget(content);
  scroll->viewport()->setAutoFillBackground(false);
  outer->addWidget(scroll, 1);
  outer->addWidget(makeDivider(this));
  outer->addWidget(buildFooter(this));

  QPointer<OnboardingView> self(this);
  if (auto controller = checklist_->controller()) {
    changes_ = controller->observeChanges([self] {
      if (self) self->refresh();
    });
  }
  refresh();
}

OnboardingView::~OnboardingView() = default;

QWidget* OnboardingView::buildHeader(QWidget* parent) {
  auto* header = new QWidget(parent);
  auto* row = new QHBoxLayout(header);
  row->setContentsMargins(0, 0, 0, 0);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(6);
  title_ = makeTextLabel(header, "", 28, QFont::Bold);
  subtitle_ = makeTextLabel(header, "", 13, QFont::Normal, true);
  setTextColor(subtitle_, toQColor(model::StatusColor::secondary));
  texts->addWidget(title_);
  texts->addWidget(subtitle_);
  row->addLayout(texts, 1);
  pill_ = new StatusPill("", "", toQColor(model::StatusColor::secondary), header);
  row->addWidget(pill_, 0, Qt::AlignTop);
  return header;
}

QWidget* OnboardingView::buildChecklist(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addWidget(new SectionTitle(OnboardingViewModel::checklistTitle,
                                     OnboardingViewModel::checklistSubtitle, box));
  screenRecordingRow_ = new OnboardingStepRow(
      [this] {
        perform([](auto& setup) { setup.performStepAction(OnboardingStep::screenRecording); });
      },
      box);
  excludedAppsRow_ = new OnboardingStepRow(
      [this] {
        perform([](auto& setup) { setup.performStepAction(OnboardingStep::excludedApps); });
      },
      box);
  column->addWidget(screenRecordingRow_);
  column->addWidget(excludedAppsRow_);
  return box;
}

QWidget* OnboardingView::buildShareTargetCard(QWidget* parent) {
  auto* card = RoundedPanel::card(parent);
  card->setObjectName(QStringLiteral("shareTargetCard"));
  card->setFixedWidth(kShareTargetCardWidth);
  auto* column = new QVBoxLayout(card);
  column->setContentsMargins(14, 14, 14, 14);
  column->setSpacing(12);
  column->addWidget(new SectionTitle(OnboardingViewModel::shareTargetTitle,
                                     OnboardingViewModel::shareTargetSubtitle, card));
  column->addWidget(makeSymbolLabel(card, OnboardingViewModel::shareTargetSymbol, 34,
                                    toQColor(model::Palette::privacyGreen())),
                    0, Qt::AlignLeft);
  column->addWidget(
      makeTextLabel(card, OnboardingViewModel::shareTargetHeadline, 16, QFont::DemiBold, true));
  column->addWidget(
      makeTextLabel(card, OnboardingViewModel::shareTargetWindowName, 13, QFont::DemiBold, true));

  auto* warning = RoundedPanel::warningBox(card);
  auto* warningRow = new QHBoxLayout(warning);
  warningRow->setContentsMargins(10, 10, 10, 10);
  warningRow->setSpacing(8);
  auto* warningMark = makeSymbolLabel(warning, OnboardingViewModel::shareTargetWarningSymbol, 14,
                                      toQColor(model::Palette::warningAmber()), 14);
  warningRow->addWidget(warningMark, 0, Qt::AlignTop);
  warningRow->addWidget(
      makeTextLabel(warning, OnboardingViewModel::shareTargetWarning, 12, QFont::Medium, true), 1);
  column->addWidget(warning);

  auto* confirmation =
      new WrappingCheckBox(OnboardingViewModel::shareTargetConfirmation, 12, QFont::Medium, card);
  confirmation_ = confirmation->checkBox();
  connect(confirmation_, &QCheckBox::toggled, this, [this](bool checked) {
    if (checked == checklist_->hasConfirmedShareTarget()) return;
    checklist_->setHasConfirmedShareTarget(checked);
    refresh();
  });
  column->addWidget(confirmation);
  column->addStretch(1);
  return card;
}

QWidget* OnboardingView::buildFooter(QWidget* parent) {
  auto* footer = new QWidget(parent);
  auto* row = new QHBoxLayout(footer);
  row->setContentsMargins(24, 14, 24, 14);
  row->setSpacing(12);
  footerIcon_ = makeSymbolLabel(footer, OnboardingViewModel::footerSymbol, 14,
                                toQColor(model::StatusColor::secondary));
  footerLabel_ = makeTextLabel(footer, OnboardingViewModel::footerLabel, 12, QFont::DemiBold);
  row->addWidget(footerIcon_);
  row->addWidget(footerLabel_);
  row->addStretch(1);
  secondary_ = makeButton(footer, ButtonStyle::plain);
  primary_ = makeButton(footer, ButtonStyle::prominent, toQColor(model::Palette::privacyGreen()));
  secondary_->setObjectName(QStringLiteral("secondaryAction"));
  primary_->setObjectName(QStringLiteral("primaryAction"));
  row->addWidget(secondary_);
  row->addWidget(primary_);
  connect(secondary_, &QPushButton::clicked, this,
          [this] { perform([](auto& setup) { setup.finishSetupOrClose(); }); });
  connect(primary_, &QPushButton::clicked, this,
          [this] { perform([](auto& setup) { setup.startOrRecoverProtectedShare(); }); });
  return footer;
}

void OnboardingView::perform(const std::function<void(windows::SetupChecklist&)>& action) {
  action(*checklist_);
  // The window's own flags are not the controller's: draw them now.
  refresh();
}

void OnboardingView::refresh() {
  runtime::assertMainActor();
  const OnboardingViewModel model = checklist_->viewModel();
  title_->setText(QString::fromStdString(model.headerTitle()));
  subtitle_->setText(QString::fromStdString(model.headerSubtitle()));
  const auto mark = windows::healthMark(model.readinessState());
  pill_->set(model.readinessTitle(), mark.systemImage, toQColor(mark.color));

  migrationNotice_->setVisible(model.showsMigrationNotice());
  migrationNotice_->set(model.migrationNotice());
  fallbackNotice_->setVisible(model.showsMenuBarFallbackNotice());
  fallbackNotice_->set(model.menuBarFallbackNotice());
  resetNotice_->set(model.input().settingsReset);

  const auto rows = model.checklist();
  screenRecordingRow_->set(rows[0]);
  excludedAppsRow_->set(rows[1]);

  const bool confirmed = model.input().hasConfirmedShareTarget;
  if (confirmation_->isChecked() != confirmed) {
    const QSignalBlocker blocker(confirmation_);
    confirmation_->setChecked(confirmed);
  }
  const QColor footerColor = toQColor(model.footerLabelColor());
  setSymbol(footerIcon_, OnboardingViewModel::footerSymbol, 14, footerColor);
  setTextColor(footerLabel_, footerColor);

  setButtonContent(secondary_, model.secondaryActionTitle());
  const auto action = model.protectedShareAction();
  setButtonContent(primary_, action.title, action.systemImage);
  primary_->setEnabled(action.isEnabled);
}

void OnboardingView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  checklist_->onAppear();
  refresh();
}

windows::SetupWindowContentFactory makeSetupWindowContentFactory() {
  return [](std::shared_ptr<windows::SetupChecklist> checklist)
             -> std::shared_ptr<platform::ContentView> {
    return std::make_shared<QtContentView>(new OnboardingView(std::move(checklist)));
  };
}

}  // namespace corvane::ui
