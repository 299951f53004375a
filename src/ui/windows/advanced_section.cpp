#include "ui/windows/advanced_section.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/rounded_panel.h"
#include "ui/widget_style.h"
#include "ui/windows/diagnostics_export_result.h"
#include "ui/windows/settings_panel_parts.h"
#include "ui/windows/window_widgets.h"
#include "windows/advanced_settings_view_model.h"

namespace corvane::ui {

using windows::AdvancedSectionModel;
using windows::SettingsWindowController;

ProductionHealthPanel::ProductionHealthPanel(QWidget* parent) : QWidget(parent) {
  auto* column = makeTitledColumn(this, AdvancedSectionModel::healthTitle,
                                  AdvancedSectionModel::healthSubtitle);
  auto* list = makeListCard(this, listLayout_);
  list->setObjectName(QStringLiteral("healthList"));
  column->addWidget(list);
}

void ProductionHealthPanel::setItems(const std::vector<model::HealthItem>& items) {
  const auto models = AdvancedSectionModel::healthRows(items);
  // The rows keep their widgets while their number stays: only what they show is set again.
  if (models.size() == rows_.size()) {
    for (std::size_t i = 0; i < models.size(); ++i) {
      rows_[i]->set(
          {models[i].mark.systemImage, models[i].mark.color, models[i].title, models[i].detail});
    }
    return;
  }
  discardWidgets(listLayout_, holders_);
  discardWidgets(listLayout_, dividers_);
  rows_.clear();
  auto* list = listLayout_->parentWidget();
  for (const auto& model : models) {
    auto* holder = new QWidget(list);
    holder->setMinimumHeight(48);
    auto* padding = new QVBoxLayout(holder);
    padding->setContentsMargins(10, 0, 10, 0);
    auto* row = new StatusRowView({.titlePixelSize = 12, .detailMaxLines = 2}, holder);
    row->set({model.mark.systemImage, model.mark.color, model.title, model.detail});
    padding->addWidget(row, 0, Qt::AlignVCenter);
    listLayout_->addWidget(holder);
    holders_.push_back(holder);
    rows_.push_back(row);
    if (model.hasDivider) {
      auto* divider = makeDivider(list);
      listLayout_->addWidget(divider);
      dividers_.push_back(divider);
    }
  }
}

CapturePerformancePanel::CapturePerformancePanel(QWidget* parent) : QWidget(parent) {
  auto* column = makeTitledColumn(this, AdvancedSectionModel::performanceTitle,
                                  AdvancedSectionModel::performanceSubtitle);
  auto* tiles = new QHBoxLayout;
  tiles->setSpacing(8);
  const QColor secondary = toQColor(model::StatusColor::secondary);
  const auto models = AdvancedSectionModel::performanceTiles({});
  for (std::size_t i = 0; i < models.size(); ++i) {
    auto* tile = new RoundedPanel(toQColor(model::Palette::panelSurface()),
                                  toQColor(model::Palette::panelBorder()), 7, this);
    auto* content = new QVBoxLayout(tile);
    content->setContentsMargins(10, 10, 10, 10);
    content->setSpacing(5);
    content->addWidget(makeSymbolTitle(tile, models[i].title, models[i].systemImage, 10,
                                       QFont::Medium, secondary));
    // The desktop's sans fonts draw their digits at one width already.
    values_[i] = makeTextLabel(tile, models[i].value, 15, QFont::DemiBold);
    content->addWidget(values_[i]);
    tiles->addWidget(tile, 1);
  }
  column->addLayout(tiles);
}

void CapturePerformancePanel::setMetrics(const model::ProtectedShareMetrics& metrics) {
  const auto models = AdvancedSectionModel::performanceTiles(metrics);
  for (std::size_t i = 0; i < models.size(); ++i) {
    values_[i]->setText(QString::fromStdString(models[i].value));
  }
}

AdvancedSection::AdvancedSection(std::weak_ptr<SettingsWindowController> controller,
                                 QWidget* parent)
    : SettingsSectionView(parent), controller_(std::move(controller)) {
  setObjectName(QStringLiteral("advancedSection"));
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(
      new SectionTitle(AdvancedSectionModel::title, AdvancedSectionModel::subtitle, this));
  health_ = new ProductionHealthPanel(this);
  stack->addWidget(health_);
  performance_ = new CapturePerformancePanel(this);
  stack->addWidget(performance_);
  stack->addWidget(makeDivider(this));

  auto* exportRow = new QWidget(this);
  auto* exportLayout = new QHBoxLayout(exportRow);
  exportLayout->setContentsMargins(0, 0, 0, 0);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(3);
  texts->addWidget(
      makeTextLabel(exportRow, AdvancedSectionModel::exportTitle, 13, QFont::DemiBold));
  auto* detail =
      makeTextLabel(exportRow, AdvancedSectionModel::exportDetail, 11, QFont::Normal, true);
  setTextColor(detail, toQColor(model::StatusColor::secondary));
  texts->addWidget(detail);
  exportLayout->addLayout(texts, 1);
  export_ = makeCommandButton(exportRow, AdvancedSectionModel::exportButton,
                              AdvancedSectionModel::exportSymbol, controller_,
                              &SettingsWindowController::exportDiagnostics);
  exportLayout->addWidget(export_);
  stack->addWidget(exportRow);

  exportResult_ = new DiagnosticsExportResultView(controller_, this);
  stack->addWidget(exportResult_);

  if (auto strong = controller_.lock()) {
    QPointer<AdvancedSection> self(this);
    metricsChanges_ = strong->observeMetricsChanges([self] {
      if (!self) return;
      if (auto controller = self->controller_.lock()) {
        self->performance_->setMetrics(controller->protectedShareMetrics());
      }
    });
  }
}

void AdvancedSection::refresh() {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  health_->setItems(controller->healthItems());
  performance_->setMetrics(controller->protectedShareMetrics());
  exportResult_->refresh();
}

}  // namespace corvane::ui
