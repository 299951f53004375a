#include "ui/qt_dialogs.h"

#include <QMessageBox>
#include <QPushButton>
#include <vector>

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

}  // namespace corvane::ui
