#include "ui/qt_dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <vector>

#include "ui/application_chooser.h"

namespace corvane::ui {
namespace {

QMessageBox::Icon iconFor(platform::AlertStyle style) {
  switch (style) {
    case platform::AlertStyle::informational:
      return QMessageBox::Information;
    case platform::AlertStyle::warning:
      return QMessageBox::Warning;
    case platform::AlertStyle::critical:
      return QMessageBox::Critical;
  }
  return QMessageBox::Information;
}

QString joined(const std::vector<std::string>& patterns) {
  QStringList list;
  for (const auto& pattern : patterns) list << QString::fromStdString(pattern);
  return list.join(' ');
}

}  // namespace

std::optional<std::size_t> QtDialogs::runModalAlert(const platform::Alert& alert) {
  QMessageBox box;
  box.setIcon(iconFor(alert.style));
  box.setText(QString::fromStdString(alert.message));
  box.setInformativeText(QString::fromStdString(alert.informativeText));
  std::vector<QAbstractButton*> buttons;
  for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
    // The first button is the default, as in the alert's own order.
    auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::ActionRole;
    auto* button = box.addButton(QString::fromStdString(alert.buttons[i]), role);
    if (i == 0) box.setDefaultButton(button);
    buttons.push_back(button);
  }
  box.exec();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (box.clickedButton() == buttons[i]) return i;
  }
  return std::nullopt;
}

std::optional<std::vector<std::filesystem::path>> QtDialogs::runOpenPanel(
    const platform::OpenPanel& panel) {
  if (!panel.applications.empty()) {
    ApplicationChooserDialog applications(panel);
    if (applications.exec() == QDialog::Accepted) return applications.chosenFiles();
    if (!applications.wantsFile()) return std::nullopt;
  }
  // Qt's file chooser has no place for a message: it sits inside a dialog of our own, under the
  // message.
  QDialog dialog;
  dialog.setWindowTitle(QString::fromStdString(panel.title));
  auto* layout = new QVBoxLayout(&dialog);
  auto* message = new QLabel(QString::fromStdString(panel.message), &dialog);
  message->setWordWrap(true);
  layout->addWidget(message);
  auto* chooser =
      new QFileDialog(&dialog, QString(), QString::fromStdString(panel.startingDirectory.string()));
  chooser->setObjectName("openPanelChooser");
  chooser->setWindowFlags(Qt::Widget);
  chooser->setOption(QFileDialog::DontUseNativeDialog, true);
  chooser->setAcceptMode(QFileDialog::AcceptOpen);
  chooser->setFileMode(panel.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                     : QFileDialog::ExistingFile);
  chooser->setLabelText(QFileDialog::Accept, QString::fromStdString(panel.prompt));
  if (!panel.nameFilters.empty()) chooser->setNameFilter(joined(panel.nameFilters));
  QList<QUrl> places{QUrl::fromLocalFile(QString::fromStdString(panel.startingDirectory.string()))};
  for (const auto& folder : panel.sideDirectories) {
    places << QUrl::fromLocalFile(QString::fromStdString(folder.string()));
  }
  chooser->setSidebarUrls(places);
  layout->addWidget(chooser);
  QObject::connect(chooser, &QFileDialog::finished, &dialog, &QDialog::done);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::filesystem::path> chosen;
  for (const QString& file : chooser->selectedFiles()) {
    // Links are followed to the entry they name.
    const QString target = QFileInfo(file).canonicalFilePath();
    chosen.emplace_back((target.isEmpty() ? file : target).toStdString());
  }
  return chosen;
}

}  // namespace corvane::ui
