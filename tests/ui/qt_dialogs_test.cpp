#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "ui/qt_dialogs.h"
#include "ui/qt_test_support.h"

namespace corvane::ui {
namespace {

// Presses the button titled `title` of the alert once it is up.
void pressWhenShown(const QString& title) {
  QTimer::singleShot(0, [title] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    for (auto* button : box->buttons()) {
      if (button->text() == title) button->click();
    }
  });
}

TEST(QtDialogsTest, AnswersWithTheIndexOfThePressedButtonInTheAlertsOrder) {
  testing::QtRuntimeFixture qt;
  QtDialogs dialogs;
  platform::Alert alert;
  alert.message = "Hide the preview on this screen?";
  alert.informativeText = "Confirm the receiving preview after hiding.";
  alert.buttons = {"Keep Preview Visible", "I Started Sharing"};

  pressWhenShown("I Started Sharing");
  EXPECT_EQ(dialogs.runModalAlert(alert), std::optional<std::size_t>(1));
  pressWhenShown("Keep Preview Visible");
  EXPECT_EQ(dialogs.runModalAlert(alert), std::optional<std::size_t>(0));
  // Escape closes it without an answer.
  QTimer::singleShot(0, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->reject();
  });
  EXPECT_EQ(dialogs.runModalAlert(alert), std::nullopt);
}

}  // namespace
}  // namespace corvane::ui
