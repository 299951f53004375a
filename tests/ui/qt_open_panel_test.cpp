#include "ui/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>

#include "support/temporary_folder.h"
#include "ui/qt_test_support.h"

namespace corvane::ui {
namespace {

namespace fs = std::filesystem;

// Once the panel is up, hands its chooser to `act`. A panel that never shows fails the test
// instead of hanging it.
void whenPanelShows(std::function<void(QDialog&, QFileDialog&)> act) {
  auto* poll = new QTimer();
  auto polls = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, polls, act] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    // A panel closed a moment ago can still be the active modal widget: wait for a shown one.
    auto* chooser = dialog != nullptr && dialog->isVisible()
                        ? dialog->findChild<QFileDialog*>("openPanelChooser")
                        : nullptr;
    if (chooser == nullptr) {
      if (++*polls < 500) return;
      ADD_FAILURE() << "the open panel did not show";
      if (dialog != nullptr) dialog->reject();
    } else {
      act(*dialog, *chooser);
    }
    poll->stop();
    poll->deleteLater();
  });
  poll->start(10);
}

TEST(QtOpenPanelTest, ShowsItsMessageAndFoldersAndReturnsChosenEntriesWithLinksFollowed) {
  testing::testApplication();
  corvane::testing::TemporaryFolder folder("corvane-open-panel");
  // Qt's chooser remembers its folders in the user's settings: keep them in the test's folder.
  const char* userConfig = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> previousConfig =
      userConfig ? std::optional<std::string>(userConfig) : std::nullopt;
  setenv("XDG_CONFIG_HOME", (folder.path() / "config").c_str(), 1);
  const auto system = folder.path() / "system";
  const auto user = folder.path() / "user";
  fs::create_directories(system);
  fs::create_directories(user);
  std::ofstream(system / "notes.desktop") << "[Desktop Entry]\n";
  fs::create_symlink(system / "notes.desktop", user / "link.desktop");

  platform::OpenPanel panel{"Add Excluded Apps",
                            "Choose one or more apps to keep out of Protected Share.",
                            "Add",
                            {"*.desktop"},
                            true,
                            system,
                            {user}};
  QtDialogs dialogs;
  QString shownMessage;
  QStringList filters;
  int places = 0;
  whenPanelShows([&](QDialog& dialog, QFileDialog& chooser) {
    shownMessage = dialog.findChild<QLabel*>()->text();
    filters = chooser.nameFilters();
    places = static_cast<int>(chooser.sidebarUrls().size());
    // Typed, as a user would: the chooser's own list fills in on another thread.
    chooser.setDirectory(QString::fromStdString(user.string()));
    chooser.findChild<QLineEdit*>("fileNameEdit")->setText("link.desktop");
    QMetaObject::invokeMethod(&chooser, "accept");
  });
  const auto chosen = dialogs.runOpenPanel(panel);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, std::vector<fs::path>{fs::canonical(system / "notes.desktop")});
  EXPECT_EQ(shownMessage.toStdString(), panel.message);
  EXPECT_EQ(filters, QStringList{"*.desktop"});
  EXPECT_EQ(places, 2);

  whenPanelShows([](QDialog&, QFileDialog& chooser) { chooser.reject(); });
  EXPECT_FALSE(dialogs.runOpenPanel(panel).has_value());
  if (previousConfig) {
    setenv("XDG_CONFIG_HOME", previousConfig->c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace corvane::ui
