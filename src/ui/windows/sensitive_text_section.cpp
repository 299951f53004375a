#include "ui/windows/sensitive_text_section.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/rounded_panel.h"
#include "ui/toggle_switch.h"
#include "ui/widget_style.h"
#include "ui/windows/settings_panel_parts.h"
#include "ui/windows/window_widgets.h"
#include "windows/sensitive_text_view_model.h"

namespace corvane::ui {

using windows::SensitiveTextViewModel;

namespace {

// Shows the stored text unless it already does, so typing keeps its cursor.
void showText(QPlainTextEdit* field, const std::string& text) {
  const QString wanted = QString::fromStdString(text);
  if (field->toPlainText() == wanted) return;
  const QSignalBlocker blocker(field);
  field->setPlainText(wanted);
}

// Whether the rows shown are still one per kind of `rules`, in its order.
bool sameKinds(const std::vector<model::SensitiveRule>& rules,
               const std::vector<model::SensitiveKind>& shown) {
  return std::ranges::equal(rules, shown, {}, &model::SensitiveRule::id);
}

}  // namespace

SettingsToggleRow::SettingsToggleRow(const std::string& title, const std::string& systemImage,
                                     bool isOn, std::function<void(bool)> setIsOn, QWidget* parent)
    : QWidget(parent) {
  setFixedHeight(38);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(10, 0, 10, 0);
  row->setSpacing(10);
  row->addWidget(
      makeSymbolLabel(this, systemImage, 14, toQColor(model::Palette::privacyGreen()), 20));
  title_ = makeTextLabel(this, title, 12, QFont::Normal);
  row->addWidget(title_, 1);
  toggle_ = new ToggleSwitch(toQColor(model::Palette::privacyGreen()), this);
  toggle_->setChecked(isOn);
  toggle_->setAccessibleName(QString::fromStdString(title));
  connect(toggle_, &ToggleSwitch::toggled, this, [setIsOn = std::move(setIsOn)](bool on) {
    if (setIsOn) setIsOn(on);
  });
  row->addWidget(toggle_);
}

SensitiveTextSection::SensitiveTextSection(
    std::weak_ptr<windows::SettingsWindowController> controller, QWidget* parent)
    : SettingsSectionView(parent), controller_(std::move(controller)) {
  setObjectName(QStringLiteral("sensitiveTextSection"));
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);

  auto* rules = new QWidget(this);
  auto* rulesColumn = makeTitledColumn(rules, SensitiveTextViewModel::rulesTitle,
                                       SensitiveTextViewModel::rulesSubtitle);
  auto* list = makeListCard(rules, listLayout_);
  list->setObjectName(QStringLiteral("sensitiveRulesList"));
  rulesColumn->addWidget(list);
  stack->addWidget(rules);

  auto* words = new QWidget(this);
  auto* wordsRow = new QHBoxLayout(words);
  wordsRow->setContentsMargins(0, 0, 0, 0);
  wordsRow->setSpacing(18);
  wordsRow->addWidget(buildWordListPanel(SensitiveTextViewModel::alwaysHideTitle, alwaysHide_,
                                         &windows::SettingsWindowController::setAlwaysHideWords),
                      1, Qt::AlignTop);
  wordsRow->addWidget(buildWordListPanel(SensitiveTextViewModel::neverHideTitle, neverHide_,
                                         &windows::SettingsWindowController::setNeverHideWords),
                      1, Qt::AlignTop);
  stack->addWidget(words);
}

QWidget* SensitiveTextSection::buildWordListPanel(
    const char* title, QPlainTextEdit*& field,
    void (windows::SettingsWindowController::*store)(std::string)) {
  auto* panel = RoundedPanel::card(this);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(10, 10, 10, 10);
  column->setSpacing(8);
  column->addWidget(new SectionTitle(title, SensitiveTextViewModel::wordListSubtitle, panel));
  field = new QPlainTextEdit(panel);
  field->setAccessibleName(QString::fromLatin1(title));
  field->setFont(fontOf(field, 12, QFont::Normal));
  field->setTabChangesFocus(true);
  // Shows two to three lines and scrolls beyond.
  const int line = field->fontMetrics().lineSpacing();
  field->setMinimumHeight(line * 2 + 12);
  field->setMaximumHeight(line * 3 + 12);
  column->addWidget(field);
  connect(field, &QPlainTextEdit::textChanged, this, [this, field, store] {
    withController(controller_, [&](windows::SettingsWindowController& controller) {
      (controller.*store)(field->toPlainText().toStdString());
    });
  });
  return panel;
}

void SensitiveTextSection::refresh() {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  const auto& rules = controller->sensitiveRules();
  if (!sameKinds(rules, shownKinds_)) {
    rebuildRules(rules);
  } else {
    for (std::size_t i = 0; i < rules.size(); ++i) {
      const QSignalBlocker blocker(rows_[i]->toggle());
      rows_[i]->toggle()->setChecked(rules[i].isEnabled);
    }
  }
  showText(alwaysHide_, controller->alwaysHideWords());
  showText(neverHide_, controller->neverHideWords());
}

void SensitiveTextSection::rebuildRules(const std::vector<model::SensitiveRule>& rules) {
  // A row may be the sender of the change being shown.
  discardWidgets(listLayout_, dividers_);
  discardWidgets(listLayout_, rows_);
  shownKinds_.clear();
  auto* list = listLayout_->parentWidget();
  for (const auto& row : SensitiveTextViewModel::ruleRows(rules)) {
    const auto kind = row.kind;
    auto* view = new SettingsToggleRow(
        row.title, row.systemImage, row.isOn,
        [this, kind](bool on) {
          withController(controller_,
                         [&](auto& controller) { controller.setSensitiveRule(kind, on); });
        },
        list);
    view->setObjectName(QString::fromStdString("sensitiveRule:" + std::string(rawValue(kind))));
    listLayout_->addWidget(view);
    rows_.push_back(view);
    shownKinds_.push_back(kind);
    if (row.hasDivider) {
      auto* divider = makeDivider(list);
      listLayout_->addWidget(divider);
      dividers_.push_back(divider);
    }
  }
}

}  // namespace corvane::ui
