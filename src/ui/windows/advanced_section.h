#pragma once

#include <array>
#include <memory>
#include <vector>

#include "model/health_item.h"
#include "model/protected_share_metrics.h"
#include "runtime/subscription.h"
#include "ui/windows/settings_root_view.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace corvane::ui {

class DiagnosticsExportResultView;
class StatusRowView;

// The readiness rows on one card, a divider between each two.
class ProductionHealthPanel final : public QWidget {
  Q_OBJECT
 public:
  explicit ProductionHealthPanel(QWidget* parent = nullptr);

  // One row per item; rows are made again only when their number changes.
  void setItems(const std::vector<model::HealthItem>& items);

  const std::vector<StatusRowView*>& rows() const { return rows_; }
  int dividerCount() const { return static_cast<int>(dividers_.size()); }

 private:
  QVBoxLayout* listLayout_;
  std::vector<StatusRowView*> rows_;
  // Each row's padded holder, and the dividers between them.
  std::vector<QWidget*> holders_;
  std::vector<QWidget*> dividers_;
};

// The live rates of the running session: Capture, Output and Processing tiles.
class CapturePerformancePanel final : public QWidget {
  Q_OBJECT
 public:
  explicit CapturePerformancePanel(QWidget* parent = nullptr);

  void setMetrics(const model::ProtectedShareMetrics& metrics);

  const std::array<QLabel*, 3>& valueLabels() const { return values_; }

 private:
  std::array<QLabel*, 3> values_{};
};

// The Advanced section: heading, health, performance, then the diagnostics export and what the
// last export came to.
class AdvancedSection final : public SettingsSectionView {
  Q_OBJECT
 public:
  explicit AdvancedSection(std::weak_ptr<windows::SettingsWindowController> controller,
                           QWidget* parent = nullptr);

  void refresh() override;

  ProductionHealthPanel* healthPanel() const { return health_; }
  CapturePerformancePanel* performancePanel() const { return performance_; }
  QPushButton* exportButton() const { return export_; }
  DiagnosticsExportResultView* exportResult() const { return exportResult_; }

 private:
  std::weak_ptr<windows::SettingsWindowController> controller_;
  ProductionHealthPanel* health_;
  CapturePerformancePanel* performance_;
  QPushButton* export_;
  DiagnosticsExportResultView* exportResult_;
  runtime::Subscription metricsChanges_;
};

}  // namespace corvane::ui
