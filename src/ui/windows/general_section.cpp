#include "ui/windows/general_section.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/rounded_panel.h"
#include "ui/symbol_images.h"
#include "ui/windows/option_toggle_row.h"
#include "ui/windows/settings_panel_parts.h"
#include "ui/windows/window_widgets.h"

namespace corvane::ui {

using windows::PermissionAction;
using windows::PermissionPanelModel;
using windows::ProtectionPanelModel;
using windows::SettingsWindowController;

GeneralSection::GeneralSection(std::weak_ptr<SettingsWindowController> controller, QWidget* parent)
    : SettingsSectionView(parent), controller_(std::move(controller)) {
  setObjectName(QStringLiteral("generalSection"));
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(buildPermissionPanel());
  stack->addWidget(buildProtectionPanel());
}

QWidget* GeneralSection::buildPermissionPanel() {
  auto* panel = new QWidget(this);
  auto* column =
      makeTitledColumn(panel, PermissionPanelModel::title, PermissionPanelModel::subtitle);
  auto* content = new QVBoxLayout;
  content->setSpacing(10);
  permissionStatus_ = new StatusRowView({.alignTop = true}, nullptr);
  content->addWidget(permissionStatus_);
  permissionButtonRow_ = new QHBoxLayout;
  permissionButtonRow_->addStretch(1);
  content->addLayout(permissionButtonRow_);
  permissionHint_ = makeHintLabel(nullptr);
  content->addWidget(permissionHint_);
  column->addWidget(makeSettingsCard(panel, content));
  return panel;
}

QWidget* GeneralSection::buildProtectionPanel() {
  auto* panel = new QWidget(this);
  auto* column =
      makeTitledColumn(panel, ProtectionPanelModel::title, ProtectionPanelModel::subtitle);
  column->addWidget(buildCaptureSourceCard(panel));

  auto* note = new QVBoxLayout;
  note->setSpacing(8);
  note->addWidget(makeSymbolTitle(nullptr, ProtectionPanelModel::shareWindowOnlyTitle,
                                  ProtectionPanelModel::shareWindowOnlySymbol, 13, QFont::DemiBold,
                                  palette().color(QPalette::WindowText)),
                  0, Qt::AlignLeft);
  auto* detail =
      makeTextLabel(nullptr, ProtectionPanelModel::shareWindowOnlyDetail, 11, QFont::Normal, true);
  setTextColor(detail, toQColor(model::StatusColor::secondary));
  note->addWidget(detail);
  column->addWidget(makeSettingsCard(panel, note));

  desktopIcons_ = new OptionToggleRow(
      ProtectionPanelModel::desktopIconsTitle, ProtectionPanelModel::desktopIconsSubtitle,
      ProtectionPanelModel::desktopIconsSymbol,
      [this](bool on) {
        withController(controller_,
                       [&](SettingsWindowController& c) { c.setHideDesktopIcons(on); });
      },
      panel);
  column->addWidget(desktopIcons_);
  return panel;
}

QWidget* GeneralSection::buildCaptureSourceCard(QWidget* parent) {
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  row->addWidget(makeSymbolLabel(nullptr, ProtectionPanelModel::sourceSymbol, 18,
                                 toQColor(model::Palette::privacyGreen()), 22));
  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  texts->addWidget(makeTextLabel(nullptr, ProtectionPanelModel::sourceTitle, 13, QFont::Medium));
  sourceName_ = makeTextLabel(nullptr, "", 11, QFont::Normal);
  setTextColor(sourceName_, toQColor(model::StatusColor::secondary));
  texts->addWidget(sourceName_);
  row->addLayout(texts, 1);

  picker_ = new QComboBox;
  picker_->setObjectName(QStringLiteral("displayPicker"));
  picker_->setAccessibleName(QString::fromLatin1(ProtectionPanelModel::sourceTitle));
  picker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  connect(picker_, &QComboBox::activated, this, [this](int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= pickerEntries_.size()) return;
    const auto tag = pickerEntries_[static_cast<std::size_t>(index)].tag;
    withController(controller_, [&](SettingsWindowController& c) { c.setCaptureDisplay(tag); });
  });
  row->addWidget(picker_);

  refreshDisplays_ = new QToolButton;
  refreshDisplays_->setObjectName(QStringLiteral("refreshDisplays"));
  refreshDisplays_->setAutoRaise(true);
  refreshDisplays_->setIcon(SymbolImages::shared().icon(ProtectionPanelModel::refreshSymbol,
                                                        palette().color(QPalette::WindowText), 14));
  refreshDisplays_->setToolTip(QString::fromLatin1(ProtectionPanelModel::refreshHelp));
  refreshDisplays_->setAccessibleName(QString::fromLatin1(ProtectionPanelModel::refreshHelp));
  connect(refreshDisplays_, &QToolButton::clicked, this, [this] {
    withController(controller_, [](SettingsWindowController& c) { c.refreshCaptureDisplays(); });
  });
  row->addWidget(refreshDisplays_);
  return makeSettingsCard(parent, row);
}

void GeneralSection::refresh() {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  const bool granted = controller->screenRecordingPermissionGranted();
  permissionStatus_->set(PermissionPanelModel::status(granted, controller->lastScanError()));
  refreshPermissionButtons(granted);
  sourceName_->setText(QString::fromStdString(controller->selectedCaptureDisplayName()));
  refreshPicker(*controller);
  desktopIcons_->set(controller->protectionOptions().hideDesktopIcons, false);
}

void GeneralSection::refreshPermissionButtons(bool permissionGranted) {
  auto wanted = PermissionPanelModel::buttons(permissionGranted);
  if (wanted == shownPermissionButtons_) return;
  discardWidgets(permissionButtonRow_, permissionButtons_);
  shownPermissionButtons_ = std::move(wanted);
  int position = 0;
  for (const auto& model : shownPermissionButtons_) {
    auto* button = makeButton(permissionButtonRow_->parentWidget(), ButtonStyle::bordered);
    setButtonContent(button, model.title);
    const auto action = model.action;
    connect(button, &QPushButton::clicked, this, [this, action] { perform(action); });
    permissionButtonRow_->insertWidget(position++, button);
    permissionButtons_.push_back(button);
  }
}

void GeneralSection::perform(PermissionAction action) {
  withController(controller_, [&](SettingsWindowController& c) {
    switch (action) {
      case PermissionAction::requestPermission:
        c.requestScreenRecordingPermission();
        break;
      case PermissionAction::openSettings:
        showHint(permissionHint_, c.openScreenRecordingSettings());
        break;
      case PermissionAction::refresh:
        c.refreshScreenRecordingPermission();
        break;
      case PermissionAction::restart:
        c.restartCorvane();
        break;
    }
  });
}

void GeneralSection::refreshPicker(const SettingsWindowController& controller) {
  const auto entries = ProtectionPanelModel::displayEntries(controller.availableCaptureDisplays());
  const QSignalBlocker blocker(picker_);
  if (entries != pickerEntries_) {
    pickerEntries_ = entries;
    picker_->clear();
    for (const auto& entry : entries) picker_->addItem(QString::fromStdString(entry.text));
  }
  const auto index = ProtectionPanelModel::selectedEntryIndex(
      pickerEntries_, controller.protectionOptions().selectedDisplayID);
  picker_->setCurrentIndex(index ? static_cast<int>(*index) : -1);
}

}  // namespace corvane::ui
