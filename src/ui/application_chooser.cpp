#include "ui/application_chooser.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <algorithm>

namespace corvane::ui {
namespace {

constexpr int kIconSide = 24;
constexpr int kFileRole = Qt::UserRole + 1;

}  // namespace

ApplicationChooserDialog::ApplicationChooserDialog(const platform::OpenPanel& panel,
                                                   QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("applicationChooser"));
  setWindowTitle(QString::fromStdString(panel.title));
  resize(440, 520);
  auto* column = new QVBoxLayout(this);
  auto* message = new QLabel(QString::fromStdString(panel.message), this);
  message->setWordWrap(true);
  column->addWidget(message);
  search_ = new QLineEdit(this);
  search_->setObjectName(QStringLiteral("applicationSearch"));
  search_->setPlaceholderText(QString::fromLatin1(searchPlaceholder));
  search_->setClearButtonEnabled(true);
  column->addWidget(search_);

  // One model row per application, drawn by the view: no widget per row however long the list.
  model_ = new QStandardItemModel(this);
  for (const auto& application : panel.applications) {
    auto* item = new QStandardItem(QString::fromStdString(application.name));
    item->setEditable(false);
    item->setData(QString::fromStdString(application.desktopFile.string()), kFileRole);
    item->setToolTip(QString::fromStdString(application.desktopFile.string()));
    model_->appendRow(item);
    if (!application.icon) continue;
    if (!std::filesystem::path(*application.icon).is_absolute()) {
      // A theme icon is decoded by the view, for the rows it draws.
      item->setIcon(QIcon::fromTheme(QString::fromStdString(*application.icon)));
      continue;
    }
    // An icon file arrives once read off the main thread.
    QPersistentModelIndex row(item->index());
    QPointer<QStandardItemModel> model(model_);
    icons_.request(*application.icon, [model, row](const QImage& image) {
      if (!model || !row.isValid() || image.isNull()) return;
      model->setData(row, QIcon(QPixmap::fromImage(image)), Qt::DecorationRole);
    });
  }
  filter_ = new QSortFilterProxyModel(this);
  filter_->setSourceModel(model_);
  filter_->setFilterCaseSensitivity(Qt::CaseInsensitive);
  filter_->setSortCaseSensitivity(Qt::CaseInsensitive);
  filter_->sort(0);
  list_ = new QListView(this);
  list_->setObjectName(QStringLiteral("applicationList"));
  list_->setModel(filter_);
  list_->setUniformItemSizes(true);
  list_->setIconSize(QSize(kIconSide, kIconSide));
  list_->setSelectionMode(panel.allowsMultipleSelection ? QAbstractItemView::ExtendedSelection
                                                        : QAbstractItemView::SingleSelection);
  column->addWidget(list_, 1);
  connect(search_, &QLineEdit::textChanged, filter_, &QSortFilterProxyModel::setFilterFixedString);

  auto* buttons = new QHBoxLayout;
  chooseFile_ = new QPushButton(QString::fromUtf8(chooseFileTitle), this);
  chooseFile_->setObjectName(QStringLiteral("chooseFile"));
  buttons->addWidget(chooseFile_);
  buttons->addStretch(1);
  auto* cancel = new QPushButton(QString::fromLatin1(cancelTitle), this);
  buttons->addWidget(cancel);
  accept_ = new QPushButton(QString::fromStdString(panel.prompt), this);
  accept_->setDefault(true);
  accept_->setEnabled(false);
  buttons->addWidget(accept_);
  column->addLayout(buttons);

  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { accept_->setEnabled(list_->selectionModel()->hasSelection()); });
  connect(list_, &QListView::doubleClicked, this, &QDialog::accept);
  connect(accept_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(chooseFile_, &QPushButton::clicked, this, [this] {
    wantsFile_ = true;
    reject();
  });
  search_->setFocus();
}

std::vector<std::filesystem::path> ApplicationChooserDialog::chosenFiles() const {
  auto rows = list_->selectionModel()->selectedIndexes();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<std::filesystem::path> files;
  for (const auto& row : rows) files.emplace_back(row.data(kFileRole).toString().toStdString());
  return files;
}

}  // namespace corvane::ui
