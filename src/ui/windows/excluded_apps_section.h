#pragma once

#include <QMessageBox>
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_entry_index.h"
#include "ui/entry_icons.h"
#include "ui/windows/settings_root_view.h"
#include "windows/excluded_apps_view_model.h"

class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace corvane::ui {

class ToggleSwitch;

// One excluded application: its icon, name and middle-truncated id, the switch that turns the
// exclusion on or off, and the remove button. It shows the stored symbol until the installed
// application's own icon is handed to it.
class ExcludedAppSettingsRow final : public QWidget {
  Q_OBJECT
 public:
  ExcludedAppSettingsRow(const windows::ExcludedAppRow& row, std::function<void(bool)> setIsOn,
                         std::function<void()> onRemove, QWidget* parent = nullptr);

  // Shows what `row` says, keeping every widget (and so a press under way and the focus).
  void set(const windows::ExcludedAppRow& row);
  // Draws the application's own icon instead of the symbol; a null image keeps the symbol.
  void showEntryIcon(const QImage& image);

  const std::string& appId() const { return id_; }
  const windows::ExcludedAppRow& shown() const { return shown_; }
  QLabel* iconLabel() const { return icon_; }
  QLabel* nameLabel() const { return name_; }
  QLabel* idLabel() const { return idLabel_; }
  ToggleSwitch* toggle() const { return toggle_; }
  QToolButton* removeButton() const { return remove_; }
  // Whether the application's own icon is drawn (else the stored symbol on its tile).
  bool showsEntryIcon() const { return showsEntryIcon_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void elideId();

  std::string id_;
  windows::ExcludedAppRow shown_;
  QLabel* icon_;
  QLabel* name_;
  QLabel* idLabel_;
  ToggleSwitch* toggle_;
  QToolButton* remove_;
  bool showsEntryIcon_ = false;
};

// The Excluded Apps section: a header with the active count, the options menu (Restore
// Defaults, after a confirmation) and Add App, then the list of applications or, when there is
// none, the empty state. The import message is shown in an alert while the controller has one.
// Rows are made only when the list's applications change, at most kRowsShownAtOnce of them
// until Show More adds the next ones below; every other change leaves them as they are.
class ExcludedAppsSection final : public SettingsSectionView {
  Q_OBJECT
 public:
  ExcludedAppsSection(std::weak_ptr<windows::SettingsWindowController> controller,
                      QWidget* parent = nullptr,
                      windows::ApplicationEntryLookup lookup = windows::installedApplicationLookup(
                          platform::DesktopEntryIndex::applicationDirectories()));
  ~ExcludedAppsSection() override;

  static constexpr std::size_t kRowsShownAtOnce = 100;
  static constexpr const char* showMoreTitle = "Show More";

  void refresh() override;

  // For tests and screenshots.
  QLabel* activeCountLabel() const { return activeCount_; }
  QLabel* pollingNoteLabel() const { return pollingNote_; }
  QToolButton* optionsButton() const { return options_; }
  QPushButton* addButton() const { return add_; }
  const std::vector<ExcludedAppSettingsRow*>& rows() const { return rows_; }
  int dividerCount() const { return static_cast<int>(dividers_.size()); }
  QWidget* emptyState() const { return empty_; }
  QPushButton* emptyStateAddButton() const { return emptyAdd_; }
  QPushButton* showMoreButton() const { return showMore_; }
  QMessageBox* importAlert() const { return importAlert_; }
  QMessageBox* restoreConfirmation() const { return restoreConfirmation_; }
  bool isRestoreDefaultsConfirmationPresented() const { return restoreConfirmation_ != nullptr; }
  void presentRestoreDefaultsConfirmation();

 private:
  QWidget* buildHeader(QWidget* parent);
  QWidget* buildEmptyState(QWidget* parent);
  void showApplications(const std::vector<model::ProtectedApp>& apps);
  void rebuildRows(const std::vector<windows::ExcludedAppRow>& models);
  void appendRows(const std::vector<windows::ExcludedAppRow>& models);
  void showMore();
  // Draws the application's own icon in the row once it has been read.
  void requestEntryIcon(ExcludedAppSettingsRow* widget, const windows::ExcludedAppRow& row);
  void syncImportAlert(const std::optional<std::string>& importError);
  void chooseApplications();

  std::weak_ptr<windows::SettingsWindowController> controller_;
  windows::ApplicationEntryLookup lookup_;
  QLabel* activeCount_ = nullptr;
  QLabel* pollingNote_ = nullptr;
  QToolButton* options_ = nullptr;
  QPushButton* add_ = nullptr;
  QWidget* list_ = nullptr;
  QVBoxLayout* listLayout_ = nullptr;
  QWidget* empty_ = nullptr;
  QPushButton* emptyAdd_ = nullptr;
  QPushButton* showMore_ = nullptr;
  EntryIcons icons_;
  // The applications the rows were made from, and how many rows may be shown.
  std::optional<std::vector<model::ProtectedApp>> shownApps_;
  std::size_t rowLimit_ = kRowsShownAtOnce;
  std::vector<ExcludedAppSettingsRow*> rows_;
  std::vector<QWidget*> dividers_;
  QPointer<QMessageBox> importAlert_;
  QPointer<QMessageBox> restoreConfirmation_;
};

}  // namespace corvane::ui
