#include <gtest/gtest.h>

#include "app/controller_harness.h"

namespace corvane::app::testing {
namespace {

struct RepairFixture {
  // What an earlier version left behind in the repair suite.
  void leaveDesktopIconsChanged(std::optional<bool> original) {
    const auto keys = LegacyDesktopIconRestorer::defaultKeys();
    auto suite = h.repairSuite();
    suite->set(keys.didChangeKey, platform::Value(true));
    if (original) {
      suite->set(keys.hadOriginalValueKey, platform::Value(true));
      suite->set(keys.originalValueKey, platform::Value(*original));
    }
  }
  bool bookkeepingKept() {
    return h.repairSuite()->boolValue(LegacyDesktopIconRestorer::defaultKeys().didChangeKey);
  }
  ControllerHarness h;
};

TEST(WorkspaceRepairTest, HiddenApplicationsAreShownOnceAndForgotten) {
  RepairFixture f;
  const auto notes = f.h.desktop->launchApplication({"org.example.Notes", "Notes"}).value();
  const auto mail = f.h.desktop->launchApplication({"org.example.Mail", "Mail"}).value();
  ASSERT_TRUE(f.h.desktop->hide(notes));
  ASSERT_TRUE(f.h.desktop->hide(mail));
  f.h.repairSuite()->set(AppHider::hiddenBundleIDsKey, platform::Value(platform::Value::Array{
                                                           platform::Value("org.example.Notes"),
                                                           platform::Value("org.gone.App")}));
  f.h.make();
  EXPECT_FALSE(f.h.desktop->application(notes)->isHidden);
  EXPECT_TRUE(f.h.desktop->application(mail)->isHidden);  // not in the set: left alone
  const auto stored = f.h.repairSuite()->object(AppHider::hiddenBundleIDsKey);
  ASSERT_TRUE(stored && stored->asArray());
  EXPECT_TRUE(stored->asArray()->empty());
}

// Counts the writes into an in-memory suite.
class CountingSuite final : public platform::DefaultsSuite {
 public:
  const std::string& name() const override { return inner.name(); }
  std::optional<platform::Value> object(const std::string& key) const override {
    return inner.object(key);
  }
  void set(const std::string& key, platform::Value value) override {
    ++writes;
    inner.set(key, std::move(value));
  }
  void remove(const std::string& key) override {
    ++writes;
    inner.remove(key);
  }
  platform::Value::Dictionary dictionaryRepresentation() const override {
    return inner.dictionaryRepresentation();
  }
  model::InMemoryDefaultsSuite inner{model::PreferencesStore::suiteName};
  int writes = 0;
};

TEST(WorkspaceRepairTest, EmptyOrUnreadableSetWritesNothing) {
  runtime::VirtualRunLoop loop;
  auto desktop = platform::sim::SimDesktop::make();
  for (const auto& stored :
       {platform::Value(platform::Value::Array{}),
        platform::Value(platform::Value::Array{platform::Value("a"), platform::Value(3)})}) {
    auto suite = std::make_shared<CountingSuite>();
    suite->inner.set(AppHider::hiddenBundleIDsKey, stored);
    AppHider hider([suite] { return suite; }, desktop);
    EXPECT_TRUE(hider.hiddenBundleIDs().empty());
    hider.restore();
    EXPECT_EQ(suite->writes, 0);
  }
}

TEST(WorkspaceRepairTest, AQASuitePlaysNoPartInTheRepair) {
  RepairFixture f;
  f.h.qaSuite = "com.pemberquist.corvane.startupqa.run.preferences";
  f.leaveDesktopIconsChanged(false);
  f.h.make();
  // The repair read and cleared the product's own suite; the QA suite holds none of it.
  EXPECT_EQ(f.h.iconPreference->writes(), std::vector<std::string>{"hide"});
  EXPECT_FALSE(f.bookkeepingKept());
  EXPECT_FALSE(f.h.settings()->object(LegacyDesktopIconRestorer::defaultKeys().didChangeKey));
}

TEST(WorkspaceRepairTest, DesktopIconSettingWrittenOrResetThenForgotten) {
  {
    RepairFixture f;
    f.leaveDesktopIconsChanged(true);
    f.h.make();
    EXPECT_EQ(f.h.iconPreference->explicitValue(), true);
    EXPECT_FALSE(f.bookkeepingKept());
    const auto keys = LegacyDesktopIconRestorer::defaultKeys();
    EXPECT_FALSE(f.h.repairSuite()->object(keys.hadOriginalValueKey));
    EXPECT_FALSE(f.h.repairSuite()->object(keys.originalValueKey));
    // The next launch finds nothing to do.
    f.h.controller.reset();
    f.h.make();
    EXPECT_EQ(f.h.iconPreference->writes().size(), 1u);
  }
  {
    // No explicit value before: the desktop's default comes back.
    RepairFixture f;
    f.leaveDesktopIconsChanged(std::nullopt);
    (void)f.h.iconPreference->setShowsDesktopIcons(false);
    f.h.make();
    EXPECT_EQ(f.h.iconPreference->writes(), (std::vector<std::string>{"hide", "reset"}));
    EXPECT_FALSE(f.h.iconPreference->explicitValue());
  }
  {
    // An explicit value that was never stored reads as false.
    RepairFixture f;
    f.leaveDesktopIconsChanged(true);
    f.h.repairSuite()->remove(LegacyDesktopIconRestorer::defaultKeys().originalValueKey);
    f.h.make();
    EXPECT_EQ(f.h.iconPreference->writes(), std::vector<std::string>{"hide"});
  }
}

TEST(WorkspaceRepairTest, FailedOrImpossibleRestoreKeepsTheOriginalForTheNextLaunch) {
  RepairFixture f;
  f.leaveDesktopIconsChanged(true);
  f.h.iconPreference->setFailure("gsettings failed with status 1: No such schema.");
  f.h.make();
  EXPECT_TRUE(f.bookkeepingKept());
  EXPECT_TRUE(
      f.h.repairSuite()->boolValue(LegacyDesktopIconRestorer::defaultKeys().originalValueKey));
  ASSERT_EQ(f.h.count("legacy_desktop_icons_restore_failed"), 1);
  EXPECT_EQ(f.h.last("legacy_desktop_icons_restore_failed")->fields.at("error"),
            "gsettings failed with status 1: No such schema.");

  // On a desktop whose setting we do not know, nothing is tried and nothing forgotten.
  f.h.controller.reset();
  f.h.iconPreference = nullptr;
  f.h.make();
  EXPECT_TRUE(f.bookkeepingKept());
  EXPECT_EQ(f.h.count("legacy_desktop_icons_restore_unsupported"), 1);

  // The tool works again on a later launch: restored and forgotten.
  f.h.controller.reset();
  f.h.iconPreference = std::make_shared<platform::sim::SimDesktopIconPreference>();
  f.h.make();
  EXPECT_EQ(f.h.iconPreference->explicitValue(), true);
  EXPECT_FALSE(f.bookkeepingKept());
}

TEST(DirectShareTestManagerTest, SessionEndAndTermination) {
  runtime::VirtualRunLoop loop;
  DirectShareTestManager manager;
  std::vector<share_window::DirectShareTestState> reported;
  manager.stateHandler = [&](const share_window::DirectShareTestState& state) {
    reported.push_back(state);
  };
  using State = share_window::DirectShareTestState;

  // The usual case: nothing under way, the stop goes ahead and nothing is reported.
  EXPECT_TRUE(manager.prepareForProtectedSessionEnd([] {}));
  EXPECT_TRUE(reported.empty());

  // A pending request defers the stop; only the first callback is kept.
  manager.transaction.ownership = DirectShareTargetOwnership::pending(4);
  int first = 0, second = 0;
  EXPECT_FALSE(manager.prepareForProtectedSessionEnd([&] { ++first; }));
  EXPECT_FALSE(manager.prepareForProtectedSessionEnd([&] { ++second; }));
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[1], State::withGeneration(State::Kind::stopDeferred, 4));
  ASSERT_TRUE(manager.deferredSessionEnd);
  manager.deferredSessionEnd();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);

  // An accepted target is sealed once and reported sealed each time.
  manager.transaction.ownership = DirectShareTargetOwnership::accepted(5);
  EXPECT_TRUE(manager.prepareForProtectedSessionEnd([] {}));
  EXPECT_TRUE(manager.prepareForProtectedSessionEnd([] {}));
  EXPECT_EQ(manager.transaction.ownership, DirectShareTargetOwnership::sealed(5));
  EXPECT_EQ(reported.back(), State::withGeneration(State::Kind::sealedAwaitingHostStop, 5));
  EXPECT_EQ(reported.size(), 4u);

  // Termination never runs a deferred end and leaves nothing behind.
  manager.transaction.ownership = DirectShareTargetOwnership::pending(6);
  manager.deferredSessionEnd = nullptr;
  int deferred = 0;
  manager.prepareForProtectedSessionEnd([&] { ++deferred; });
  platform::sim::SimWindowSystem windows;
  manager.targetWindow = windows.makeWindow({{0, 0}, {10, 10}}, platform::WindowStyle::titled);
  const auto generation = manager.transaction.generation;
  manager.shutdownForTermination();
  EXPECT_EQ(deferred, 0);
  EXPECT_FALSE(manager.deferredSessionEnd);
  EXPECT_FALSE(manager.targetWindow);
  EXPECT_FALSE(manager.stateHandler);
  EXPECT_EQ(manager.transaction.generation, generation + 1);
  EXPECT_FALSE(manager.isBusy());
}

}  // namespace
}  // namespace corvane::app::testing
