#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <algorithm>
#include <memory>
#include <random>

#include "app/session_harness.h"
#include "app/window_controller_adapters.h"
#include "qt_test_support.h"
#include "ui/toggle_switch.h"
#include "ui/windows/excluded_apps_section.h"
#include "ui/windows/general_section.h"
#include "ui/windows/settings_root_view.h"

namespace corvane::ui {
namespace {

using model::SettingsSection;

// The settings window's content over the real controller during a session, on the virtual
// clock; Qt's own events (deferred deletes among them) are processed by hand after each step.
struct LiveSettings : app::testing::SessionHarness {
  LiveSettings() {
    (void)testing::testApplication();
    moving = desktop->addWindow(editor, {platform::Rect{{20, 20}, {30, 20}}}).value();
  }
  ~LiveSettings() { view.reset(); }

  void open(SettingsSection section) {
    adapter = std::make_shared<app::SettingsWindowControllerAdapter>(controller, opener);
    controller->setSelectedSettingsSection(section);
    SettingsSectionViews sections;
    sections.set(SettingsSection::protectedApps,
                 [](std::weak_ptr<windows::SettingsWindowController> weak, QWidget* parent) {
                   return new ExcludedAppsSection(std::move(weak), parent, {});
                 });
    sections.set(SettingsSection::general,
                 [](std::weak_ptr<windows::SettingsWindowController> weak, QWidget* parent) {
                   return new GeneralSection(std::move(weak), parent);
                 });
    view = std::make_unique<SettingsRootView>(adapter, std::move(sections));
    view->resize(760, 520);
    view->show();
    step(0.0);
  }

  // Moves the clock, with a window moving on screen so that frames keep coming.
  void step(double seconds) {
    if (seconds > 0) {
      (void)desktop->moveWindow(moving, {20.0 + (++moves % 40), 20});
      loop.advance(seconds);
    }
    loop.runUntilIdle();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  template <class Section>
  Section& section() {
    return *static_cast<Section*>(view->sectionView());
  }

  std::shared_ptr<app::SettingsWindowControllerAdapter> adapter;
  std::unique_ptr<SettingsRootView> view;
  std::uint32_t moving = 0;
  int moves = 0;
};

TEST(SettingsDuringAShare, AClickOnAnExcludedAppActsOnceWhileFramesAndOtherChangesArrive) {
  LiveSettings h;
  h.make();
  h.startLive();
  h.open(SettingsSection::protectedApps);
  auto& excluded = h.section<ExcludedAppsSection>();
  ASSERT_FALSE(excluded.rows().empty());
  QPointer<ExcludedAppSettingsRow> vault = excluded.rows()[0];
  ASSERT_EQ(vault->appId(), app::testing::kVaultID);
  ASSERT_TRUE(vault->toggle()->isChecked());

  int frames = 0;
  int changes = 0;
  auto frameCount = h.controller->protectedShareEngine()->renderedFrame.observeAtOnce(
      [&](const auto& frame) { frames += frame.has_value() ? 1 : 0; });
  auto changeCount = h.controller->observeChanges([&] { ++changes; });

  std::mt19937 random(32);
  for (int round = 0; round < 4; ++round) {
    // A press, then frames and a change the rows do not show, then the release where the press
    // was: the click lands on the switch it began on.
    // The last round's exclusion change has gone through the capture filter, and the count
    // shown is the filter's now in force.
    const auto& engine = *h.controller->protectedShareEngine();
    const auto filterInForceIsTheList = [&] {
      const auto& apps = h.controller->protectedApps();
      const bool vaultOn = std::any_of(apps.begin(), apps.end(), [](const auto& app) {
        return app.id == app::testing::kVaultID && app.isEnabled;
      });
      return engine.protectedBundleIDsInForce->contains(app::testing::kVaultID) == vaultOn;
    };
    for (int i = 0; i < 600 && (*engine.isCaptureFilterTransitioning || frames < 2 ||
                                !filterInForceIsTheList());
         ++i) {
      h.step(1.0 / 60);
    }
    h.step(0.0);
    ASSERT_TRUE(vault) << "frames alone made the rows again";
    ToggleSwitch* toggle = vault->toggle();
    const QPoint inView = toggle->mapTo(h.view.get(), toggle->rect().center());
    const bool wasOn = toggle->isChecked();
    QTest::mousePress(toggle, Qt::LeftButton);
    QApplication::setActiveWindow(h.view.get());
    const int framesBefore = frames;
    const int changesBefore = changes;
    const int wanted = framesBefore + 2 + static_cast<int>(random() % 4);
    for (int i = 0; i < 600 && frames < wanted; ++i) h.step(1.0 / 60);
    ASSERT_GE(frames, wanted) << "frames must arrive between press and release";
    EXPECT_EQ(changes, changesBefore) << "a frame alone is no change the views show";
    h.controller->setHideDesktopIcons(round % 2 == 0);
    h.step(0.0);
    EXPECT_GT(changes, changesBefore);
    auto* under = h.view->childAt(inView);
    ASSERT_NE(under, nullptr);
    QTest::mouseRelease(under, Qt::LeftButton, {}, under->mapFrom(h.view.get(), inView));
    h.step(0.0);
    // The one click acted once, and the rows survived what they do not show.
    EXPECT_EQ(h.controller->protectedApps()[0].isEnabled, !wasOn) << "round " << round;
    ASSERT_TRUE(vault) << "the row was made again";
    ASSERT_EQ(excluded.rows()[0], vault.data());
    EXPECT_EQ(vault->toggle()->isChecked(), !wasOn);
    const auto& apps = h.controller->protectedApps();
    const auto active =
        std::count_if(apps.begin(), apps.end(), [](auto& a) { return a.isEnabled; });
    EXPECT_EQ(excluded.activeCountLabel()->text(), QString("%1 active").arg(active));
  }
}

TEST(SettingsDuringAShare, EveryDisplayChoiceLeavesTheOutputLiveAndAnUnshareableWindowEndsIt) {
  LiveSettings h;
  // A second monitor of the same size beside the first.
  ASSERT_TRUE(h.desktop
                  ->addDisplay(platform::sim::SimDesktop::makeDisplay(
                      2, platform::Rect{{160, 0}, {160, 90}}, 1, false))
                  .ok());
  h.make();
  h.startLive();
  h.open(SettingsSection::general);
  QComboBox* picker = h.section<GeneralSection>().displayPicker();
  ASSERT_GE(picker->count(), 2);
  const auto& manager = *h.controller->protectedShareWindowManager();
  auto isLiveOutput = [&] {
    const auto& window = manager.window();
    return manager.hasPublishedLiveFrame() && window && window->isMapped() &&
           window->sharingType() == platform::SharingType::readOnly;
  };
  ASSERT_TRUE(isLiveOutput());

  // Each choice, the current one picked again included, re-hosts the window: live again at once.
  std::mt19937 random(7);
  for (int round = 0; round < 6; ++round) {
    const int index = static_cast<int>(random() % picker->count());
    picker->setCurrentIndex(index);
    emit picker->activated(index);
    EXPECT_TRUE(isLiveOutput()) << "choice " << index << " in round " << round;
    for (int i = 0; i < 30; ++i) h.step(1.0 / 60);
    EXPECT_TRUE(isLiveOutput()) << "choice " << index << " in round " << round;
    EXPECT_TRUE(h.controller->isDemoModeOn());
  }

  // A window that can no longer be shared holds the output and ends the session on its next frame.
  manager.window()->orderOut();
  for (int i = 0; i < 120 && h.controller->isDemoModeOn(); ++i) h.step(1.0 / 60);
  EXPECT_FALSE(h.controller->isDemoModeOn());
  EXPECT_FALSE(isLiveOutput());
}

}  // namespace
}  // namespace corvane::ui
