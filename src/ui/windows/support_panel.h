#pragma once

#include <memory>

#include "ui/rounded_panel.h"
#include "windows/settings_window_controller.h"

class QLabel;
class QPushButton;

namespace corvane::ui {

class DiagnosticsExportResultView;
class StatusRowView;

// The support card: the diagnostics, configuration and updates rows, Check and (while a verified
// update is stored) Install, and Export Diagnostics.
class SupportPanel final : public RoundedPanel {
  Q_OBJECT
 public:
  explicit SupportPanel(std::weak_ptr<windows::SettingsWindowController> controller,
                        QWidget* parent = nullptr);

  void refresh();

  StatusRowView* diagnosticsRow() const { return diagnostics_; }
  StatusRowView* configurationRow() const { return configuration_; }
  StatusRowView* updatesRow() const { return updates_; }
  QPushButton* checkButton() const { return check_; }
  QPushButton* installButton() const { return install_; }
  QPushButton* exportButton() const { return export_; }
  QLabel* updateResultLabel() const { return updateResult_; }
  DiagnosticsExportResultView* exportResult() const { return exportResult_; }

 private:
  std::weak_ptr<windows::SettingsWindowController> controller_;
  StatusRowView* diagnostics_;
  StatusRowView* configuration_;
  StatusRowView* updates_;
  QPushButton* check_;
  QPushButton* install_;
  QPushButton* export_;
  QLabel* updateResult_;
  DiagnosticsExportResultView* exportResult_;
};

}  // namespace corvane::ui
