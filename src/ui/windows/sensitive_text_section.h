#pragma once

#include <memory>
#include <vector>

#include "model/sensitive_content.h"
#include "ui/windows/settings_root_view.h"

class QLabel;
class QPlainTextEdit;
class QVBoxLayout;

namespace corvane::ui {

class ToggleSwitch;

// One rule: its green symbol, its title and a switch that writes through `setIsOn`.
class SettingsToggleRow final : public QWidget {
  Q_OBJECT
 public:
  SettingsToggleRow(const std::string& title, const std::string& systemImage, bool isOn,
                    std::function<void(bool)> setIsOn, QWidget* parent = nullptr);

  QLabel* titleLabel() const { return title_; }
  ToggleSwitch* toggle() const { return toggle_; }

 private:
  QLabel* title_;
  ToggleSwitch* toggle_;
};

// The Sensitive Text section: the rule list and the two word lists. Each switch sets its rule
// through the controller; each keystroke stores the whole text of its field, exactly as typed.
class SensitiveTextSection final : public SettingsSectionView {
  Q_OBJECT
 public:
  explicit SensitiveTextSection(std::weak_ptr<windows::SettingsWindowController> controller,
                                QWidget* parent = nullptr);

  void refresh() override;

  // For tests and screenshots.
  const std::vector<SettingsToggleRow*>& ruleRows() const { return rows_; }
  int dividerCount() const { return static_cast<int>(dividers_.size()); }
  QPlainTextEdit* alwaysHideField() const { return alwaysHide_; }
  QPlainTextEdit* neverHideField() const { return neverHide_; }

 private:
  QWidget* buildWordListPanel(const char* title, QPlainTextEdit*& field,
                              void (windows::SettingsWindowController::*store)(std::string));
  void rebuildRules(const std::vector<model::SensitiveRule>& rules);

  std::weak_ptr<windows::SettingsWindowController> controller_;
  QVBoxLayout* listLayout_ = nullptr;
  std::vector<SettingsToggleRow*> rows_;
  std::vector<QWidget*> dividers_;
  // The kind of each row, in order.
  std::vector<model::SensitiveKind> shownKinds_;
  QPlainTextEdit* alwaysHide_ = nullptr;
  QPlainTextEdit* neverHide_ = nullptr;
};

}  // namespace corvane::ui
