#include "ui/windows/diagnostics_export_result.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/qt_palette_theme.h"
#include "ui/widget_style.h"
#include "ui/windows/settings_panel_parts.h"
#include "ui/windows/window_widgets.h"
#include "windows/advanced_settings_view_model.h"

namespace corvane::ui {

using windows::AdvancedSectionModel;
using windows::SettingsWindowController;

DiagnosticsExportResultView::DiagnosticsExportResultView(
    std::weak_ptr<SettingsWindowController> controller, QWidget* parent)
    : QWidget(parent), controller_(std::move(controller)) {
  setObjectName(QStringLiteral("diagnosticsExportResult"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  exportedRow_ = new QWidget(this);
  auto* row = new QHBoxLayout(exportedRow_);
  row->setContentsMargins(0, 0, 0, 0);
  auto* exported = makeSymbolTitle(exportedRow_, "", AdvancedSectionModel::exportedSymbol, 11,
                                   QFont::Normal, toQColor(model::Palette::privacyGreen()));
  exported_ = exported->findChild<QLabel*>(QStringLiteral("text"));
  // The whole path, wrapped where it must be, so it can be read and copied.
  exported_->setWordWrap(true);
  exported_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  exported_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  row->addWidget(exported, 1);
  reveal_ = makeCommandButton(exportedRow_, AdvancedSectionModel::revealButton,
                              AdvancedSectionModel::revealSymbol, controller_,
                              &SettingsWindowController::revealDiagnosticsExport);
  reveal_->setFont(fontOf(reveal_, 11, QFont::Normal));
  row->addWidget(reveal_, 0, Qt::AlignTop);
  column->addWidget(exportedRow_);
  failure_ = makeTextLabel(this, "", 11, QFont::Normal, true);
  failure_->setObjectName(QStringLiteral("exportFailure"));
  setTextColor(failure_, toQColor(model::StatusColor::criticalRed));
  column->addWidget(failure_);
  hide();
}

void DiagnosticsExportResultView::refresh() {
  auto controller = controller_.lock();
  if (!controller) return;
  const auto& url = controller->diagnosticsExportURL();
  const auto& error = controller->diagnosticsExportError();
  if (url == shownURL_ && error == shownError_) return;
  shownURL_ = url;
  shownError_ = error;
  const auto text = AdvancedSectionModel::exportedText(url);
  exportedRow_->setVisible(text.has_value());
  exported_->setText(QString::fromStdString(text.value_or("")));
  failure_->setVisible(error.has_value());
  failure_->setText(QString::fromStdString(error.value_or("")));
  setVisible(text.has_value() || error.has_value());
  // A new result below the fold would be missed: scroll it into view once laid out.
  QTimer::singleShot(0, this, [this] {
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
      if (auto* scroll = qobject_cast<QScrollArea*>(ancestor)) {
        scroll->ensureWidgetVisible(this);
        return;
      }
    }
  });
}

}  // namespace corvane::ui
