#include "ui/windows/alerts_about_sections.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "model/settings_section.h"
#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/windows/option_toggle_row.h"
#include "ui/windows/settings_panel_parts.h"
#include "ui/windows/support_panel.h"
#include "ui/windows/window_widgets.h"
#include "windows/alerts_about_view_model.h"

namespace corvane::ui {

using windows::AboutSectionModel;
using windows::AlertsSectionModel;
using windows::SettingsWindowController;

AlertsSection::AlertsSection(std::weak_ptr<SettingsWindowController> controller, QWidget* parent)
    : SettingsSectionView(parent), controller_(std::move(controller)) {
  setObjectName(QStringLiteral("alertsSection"));
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(new SectionTitle(AlertsSectionModel::title, AlertsSectionModel::subtitle, this));
  reminder_ = new OptionToggleRow(
      AlertsSectionModel::reminderTitle, AlertsSectionModel::reminderSubtitle,
      AlertsSectionModel::reminderSymbol,
      [this](bool on) {
        withController(controller_,
                       [&](SettingsWindowController& c) { c.setRemindToSilenceNotifications(on); });
      },
      this);
  stack->addWidget(reminder_);
  openSettings_ = makeButton(this, ButtonStyle::bordered);
  setButtonContent(openSettings_, AlertsSectionModel::openSettingsTitle,
                   AlertsSectionModel::openSettingsSymbol);
  stack->addWidget(openSettings_, 0, Qt::AlignLeft);
  openSettingsHint_ = makeHintLabel(this);
  stack->addWidget(openSettingsHint_);
  connect(openSettings_, &QPushButton::clicked, this, [this] {
    withController(controller_, [&](SettingsWindowController& c) {
      showHint(openSettingsHint_, c.openFocusSettings());
    });
  });
}

void AlertsSection::refresh() {
  runtime::assertMainActor();
  if (auto controller = controller_.lock()) {
    reminder_->set(controller->protectionOptions().remindToSilenceNotifications, false);
  }
}

AboutSection::AboutSection(std::weak_ptr<SettingsWindowController> controller, QWidget* parent)
    : SettingsSectionView(parent) {
  setObjectName(QStringLiteral("aboutSection"));
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  // The General section's sidebar symbol stands for Corvane.
  auto* symbol = makeSymbolLabel(
      this, std::string(model::settingsSectionSymbol(model::SettingsSection::general)), 34,
      toQColor(model::Palette::privacyGreen()));
  symbol->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  stack->addWidget(symbol);
  stack->addWidget(makeTextLabel(this, AboutSectionModel::name, 20, QFont::Bold));
  auto* tagline = makeTextLabel(this, AboutSectionModel::tagline, 13, QFont::Normal, true);
  setTextColor(tagline, toQColor(model::StatusColor::secondary));
  stack->addWidget(tagline);
  stack->addWidget(makeDivider(this));
  support_ = new SupportPanel(std::move(controller), this);
  stack->addWidget(support_);
}

void AboutSection::refresh() {
  support_->refresh();
}

}  // namespace corvane::ui
