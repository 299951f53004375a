#pragma once

#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "windows/settings_window_controller.h"

class QLabel;
class QPushButton;

namespace corvane::ui {

// What the last diagnostics export came to, shown beside the button that started it: the
// exported file's full path with Reveal, or in red why it failed. Hidden before any export.
class DiagnosticsExportResultView final : public QWidget {
  Q_OBJECT
 public:
  DiagnosticsExportResultView(std::weak_ptr<windows::SettingsWindowController> controller,
                              QWidget* parent = nullptr);

  // Reads the controller's result; brings a new one into view.
  void refresh();

  QLabel* exportedLabel() const { return exported_; }
  QLabel* failureLabel() const { return failure_; }
  QPushButton* revealButton() const { return reveal_; }

 private:
  std::weak_ptr<windows::SettingsWindowController> controller_;
  QWidget* exportedRow_;
  QLabel* exported_;
  QPushButton* reveal_;
  QLabel* failure_;
  std::optional<std::filesystem::path> shownURL_;
  std::optional<std::string> shownError_;
};

}  // namespace corvane::ui
