#pragma once

#include <QDialog>
#include <filesystem>
#include <vector>

#include "platform/dialogs.h"
#include "ui/entry_icons.h"

class QLineEdit;
class QListView;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;

namespace corvane::ui {

// The installed applications by name and icon, sorted and searchable by name, several chosen at
// once. "Choose File…" leaves the list for the file chooser.
class ApplicationChooserDialog final : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* searchPlaceholder = "Search applications";
  static constexpr const char* chooseFileTitle = "Choose File\u2026";
  static constexpr const char* cancelTitle = "Cancel";

  explicit ApplicationChooserDialog(const platform::OpenPanel& panel, QWidget* parent = nullptr);

  // The chosen applications' desktop files, in list order.
  std::vector<std::filesystem::path> chosenFiles() const;
  // Whether the user asked to choose a file instead.
  bool wantsFile() const { return wantsFile_; }

  QLineEdit* searchField() const { return search_; }
  QListView* list() const { return list_; }
  QPushButton* acceptButton() const { return accept_; }
  QPushButton* chooseFileButton() const { return chooseFile_; }

 private:
  QStandardItemModel* model_;
  QSortFilterProxyModel* filter_;
  QLineEdit* search_;
  QListView* list_;
  QPushButton* accept_;
  QPushButton* chooseFile_;
  bool wantsFile_ = false;
  EntryIcons icons_;
};

}  // namespace corvane::ui
