#include "ui/windows/support_panel.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/design_components.h"
#include "ui/windows/diagnostics_export_result.h"
#include "ui/windows/settings_panel_parts.h"
#include "ui/windows/window_widgets.h"
#include "windows/support_panel_view_model.h"

namespace corvane::ui {

using windows::SettingsWindowController;
using windows::SupportPanelModel;

SupportPanel::SupportPanel(std::weak_ptr<SettingsWindowController> controller, QWidget* parent)
    : RoundedPanel(Style::card, parent), controller_(std::move(controller)) {
  setObjectName(QStringLiteral("supportPanel"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(12, 12, 12, 12);
  column->setSpacing(10);
  column->addWidget(new SectionTitle(SupportPanelModel::title, SupportPanelModel::subtitle, this));
  diagnostics_ = new StatusRowView({}, this);
  configuration_ = new StatusRowView({.detailMaxLines = 2}, this);
  updates_ = new StatusRowView({.detailMaxLines = 2}, this);
  check_ = makeCommandButton(this, SupportPanelModel::checkButton, SupportPanelModel::checkSymbol,
                             controller_, &SettingsWindowController::checkForUpdates);
  install_ =
      makeCommandButton(this, SupportPanelModel::installButton, SupportPanelModel::installSymbol,
                        controller_, &SettingsWindowController::installVerifiedUpdate);
  updates_->trailing()->addWidget(check_);
  updates_->trailing()->addWidget(install_);
  export_ =
      makeCommandButton(this, SupportPanelModel::exportButton, SupportPanelModel::exportSymbol,
                        controller_, &SettingsWindowController::exportDiagnostics);
  column->addWidget(diagnostics_);
  column->addWidget(configuration_);
  column->addWidget(updates_);
  updateResult_ = makeHintLabel(this);
  updateResult_->setObjectName(QStringLiteral("updateCheckResult"));
  column->addWidget(updateResult_);
  column->addWidget(export_, 0, Qt::AlignLeft);
  exportResult_ = new DiagnosticsExportResultView(controller_, this);
  column->addWidget(exportResult_);
  diagnostics_->set(SupportPanelModel::diagnosticsRow());
}

void SupportPanel::refresh() {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  const auto& configuration = controller->productionConfiguration();
  configuration_->set(SupportPanelModel::configurationRow(configuration));
  updates_->set(SupportPanelModel::updatesRow(configuration));
  install_->setVisible(SupportPanelModel::showsInstall(controller->verifiedUpdateURL()));
  showHint(updateResult_, controller->updateCheckMessage());
  exportResult_->refresh();
}

}  // namespace corvane::ui
