#include "ui/qt_dialogs.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>

#include "support/temporary_folder.h"
#include "ui/application_chooser.h"
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
                            {user},
                            {}};
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

class ApplicationChooserTest : public ::testing::Test, public testing::QtRuntimeFixture {};

TEST_F(ApplicationChooserTest, ListsApplicationsByNameSearchesAndReturnsTheirEntries) {
  corvane::testing::TemporaryFolder folder("corvane-app-chooser");
  QImage icon(32, 32, QImage::Format_ARGB32);
  icon.fill(QColor(0x20, 0x60, 0xD0));
  const auto iconFile = folder.path() / "zeta.png";
  icon.save(QString::fromStdString(iconFile.string()));
  // An icon path naming a FIFO is refused without blocking.
  const auto fifo = folder.path() / "fifo.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  platform::OpenPanel panel;
  panel.title = "Add Excluded Apps";
  panel.message = "Choose one or more apps to keep out of Protected Share.";
  panel.prompt = "Add";
  panel.allowsMultipleSelection = true;
  panel.applications = {{"Zeta", iconFile.string(), "/apps/zeta.desktop"},
                        {"alpha", std::string("no-such-theme-icon"), "/apps/alpha.desktop"},
                        {"Mail", fifo.string(), "/apps/mail.desktop"},
                        {"Mailbox Cleaner", std::nullopt, "/apps/cleaner.desktop"}};
  ApplicationChooserDialog chooser(panel);
  auto names = [&] {
    QStringList shown;
    for (int row = 0; row < chooser.list()->model()->rowCount(); ++row) {
      shown << chooser.list()->model()->index(row, 0).data().toString();
    }
    return shown;
  };
  EXPECT_EQ(names(), (QStringList{"alpha", "Mail", "Mailbox Cleaner", "Zeta"}));
  EXPECT_FALSE(chooser.acceptButton()->isEnabled());
  // The icon file is read off the main thread and shows once read.
  ASSERT_TRUE(processUntil([&] {
    return !chooser.list()->model()->index(3, 0).data(Qt::DecorationRole).value<QIcon>().isNull();
  }));
  processFor(50);
  EXPECT_TRUE(
      chooser.list()->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());

  chooser.searchField()->setText("MAIL");
  EXPECT_EQ(names(), (QStringList{"Mail", "Mailbox Cleaner"}));
  chooser.list()->selectAll();
  EXPECT_TRUE(chooser.acceptButton()->isEnabled());
  EXPECT_EQ(chooser.chosenFiles(),
            (std::vector<fs::path>{"/apps/mail.desktop", "/apps/cleaner.desktop"}));
  chooser.chooseFileButton()->click();
  EXPECT_TRUE(chooser.wantsFile());
}

TEST(QtOpenPanelTest, ChooseFileLeavesTheApplicationListForTheFileChooser) {
  testing::testApplication();
  platform::OpenPanel panel;
  panel.title = "Add Excluded Apps";
  panel.prompt = "Add";
  panel.applications = {{"Notes", std::nullopt, "/apps/notes.desktop"}};
  QtDialogs dialogs;
  bool listed = false;
  auto* poll = new QTimer();
  QObject::connect(poll, &QTimer::timeout, [&, poll] {
    auto* chooser = qobject_cast<ApplicationChooserDialog*>(QApplication::activeModalWidget());
    if (chooser == nullptr || !chooser->isVisible()) return;
    listed = chooser->list()->model()->rowCount() == 1;
    poll->stop();
    poll->deleteLater();
    whenPanelShows([](QDialog&, QFileDialog& files) { files.reject(); });
    chooser->chooseFileButton()->click();
  });
  poll->start(10);
  EXPECT_FALSE(dialogs.runOpenPanel(panel).has_value());
  EXPECT_TRUE(listed);
}

}  // namespace
}  // namespace corvane::ui
