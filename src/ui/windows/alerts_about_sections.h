#pragma once

#include <memory>

#include "ui/windows/settings_root_view.h"

class QLabel;
class QPushButton;

namespace corvane::ui {

class OptionToggleRow;
class SupportPanel;

// The Alerts section: the Focus reminder switch and the button to the notification settings.
class AlertsSection final : public SettingsSectionView {
  Q_OBJECT
 public:
  explicit AlertsSection(std::weak_ptr<windows::SettingsWindowController> controller,
                         QWidget* parent = nullptr);

  void refresh() override;

  OptionToggleRow* reminderRow() const { return reminder_; }
  QPushButton* openSettingsButton() const { return openSettings_; }
  QLabel* openSettingsHint() const { return openSettingsHint_; }

 private:
  std::weak_ptr<windows::SettingsWindowController> controller_;
  OptionToggleRow* reminder_;
  QPushButton* openSettings_;
  QLabel* openSettingsHint_;
};

// The About section: the symbol, the name and the tagline, a divider, then the support panel.
class AboutSection final : public SettingsSectionView {
  Q_OBJECT
 public:
  explicit AboutSection(std::weak_ptr<windows::SettingsWindowController> controller,
                        QWidget* parent = nullptr);

  void refresh() override;

  SupportPanel* supportPanel() const { return support_; }

 private:
  SupportPanel* support_;
};

}  // namespace corvane::ui
