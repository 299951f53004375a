#pragma once

#include <memory>
#include <vector>

#include "ui/windows/settings_root_view.h"
#include "windows/general_settings_view_model.h"

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;

namespace corvane::ui {

class OptionToggleRow;
class StatusRowView;

// The General section: the screen-capture permission with its buttons, then the protection
// panel (the display Protected Share captures, the share-window note and the desktop-icon
// switch). Everything shown is read from the controller on each refresh.
class GeneralSection final : public SettingsSectionView {
  Q_OBJECT
 public:
  explicit GeneralSection(std::weak_ptr<windows::SettingsWindowController> controller,
                          QWidget* parent = nullptr);

  void refresh() override;

  // For tests and screenshots.
  StatusRowView* permissionStatus() const { return permissionStatus_; }
  // The permission buttons shown, in order.
  const std::vector<QPushButton*>& permissionButtons() const { return permissionButtons_; }
  QLabel* sourceNameLabel() const { return sourceName_; }
  QComboBox* displayPicker() const { return picker_; }
  QToolButton* refreshDisplaysButton() const { return refreshDisplays_; }
  OptionToggleRow* desktopIconsRow() const { return desktopIcons_; }
  QLabel* permissionHint() const { return permissionHint_; }

 private:
  QWidget* buildPermissionPanel();
  QWidget* buildProtectionPanel();
  QWidget* buildCaptureSourceCard(QWidget* parent);
  void refreshPermissionButtons(bool permissionGranted);
  void refreshPicker(const windows::SettingsWindowController& controller);
  void perform(windows::PermissionAction action);

  std::weak_ptr<windows::SettingsWindowController> controller_;
  StatusRowView* permissionStatus_ = nullptr;
  QHBoxLayout* permissionButtonRow_ = nullptr;
  // What to do instead when Open Settings had nothing to open.
  QLabel* permissionHint_ = nullptr;
  // What each shown button says and does, and the buttons, in order.
  std::vector<windows::PermissionButtonModel> shownPermissionButtons_;
  std::vector<QPushButton*> permissionButtons_;
  QLabel* sourceName_ = nullptr;
  QComboBox* picker_ = nullptr;
  std::vector<windows::DisplayPickerEntry> pickerEntries_;
  QToolButton* refreshDisplays_ = nullptr;
  OptionToggleRow* desktopIcons_ = nullptr;
};

}  // namespace corvane::ui
