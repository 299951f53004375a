// The application's front door on the simulated desktop: what opens at launch, reopening, the
// migration review notification and termination.
#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/controller_harness.h"
#include "app/corvane_controller.h"
#include "platform/linux/json_file_defaults_store.h"

namespace corvane::app {
namespace {

using testing::ControllerHarness;
using testing::kFormerID;

struct DelegateHarness : ControllerHarness {
  AppDelegate& launch() {
    AppDelegateServices services;
    services.controller = this->services();
    services.setupContent = [this](const std::shared_ptr<CorvaneController>&,
                                   std::function<void()> showSettings,
                                   std::function<void()> close) {
      showSettingsFromSetup = std::move(showSettings);
      closeSetup = std::move(close);
      return std::shared_ptr<platform::ContentView>();
    };
    services.makeStatusItem = [this](const std::shared_ptr<CorvaneController>&,
                                     std::function<void()> showSetup,
                                     std::function<void()> showSettings) {
      statusItemShowsSetup = std::move(showSetup);
      statusItemShowsSettings = std::move(showSettings);
      order.push_back("status item");
      return std::make_shared<int>(0);
    };
    services.startCrashReporting = [this](const model::ProductionConfiguration&) {
      order.push_back("crash reporting");
    };
    services.decodeBase64 = [](std::string_view text) -> std::optional<std::string> {
      if (text != AppDelegate::kEncodedFormerIdentifier) return std::nullopt;
      return std::string(kFormerID);
    };
    delegate = AppDelegate::make(std::move(services));
    controller = delegate->controller();
    delegate->applicationDidFinishLaunching();
    loop.runUntilIdle();
    return *delegate;
  }

  std::shared_ptr<platform::TopLevelWindow> setupWindow() const {
    return delegate->applicationWindowManager()->setupWindow();
  }
  bool setupShown() const { return setupWindow() && setupWindow()->isVisible(); }
  std::optional<std::int64_t> presentationVersion() {
    auto value = settings()->object(AppDelegate::kSetupPresentationVersionKey);
    return value ? value->asInteger() : std::nullopt;
  }

  std::shared_ptr<AppDelegate> delegate;
  std::function<void()> showSettingsFromSetup, closeSetup;
  std::function<void()> statusItemShowsSetup, statusItemShowsSettings;
  std::vector<std::string> order;
};

TEST(AppDelegate, LaunchDecisionTable) {
  struct Row {
    std::optional<int> completion;
    bool reviewRequired;
    bool setupOpens;
  };
  for (const Row& row : {Row{std::nullopt, false, true}, Row{0, false, true}, Row{1, true, true},
                         Row{1, false, false}}) {
    SCOPED_TRACE(::testing::Message() << "completion " << row.completion.value_or(-1) << " review "
                                      << row.reviewRequired);
    DelegateHarness h;
    if (row.completion) h.settings()->set("setupCompletionVersion", *row.completion);
    if (row.reviewRequired) h.settings()->set("brandMigrationReviewRequired", true);
    h.launch();
    EXPECT_EQ(h.setupShown(), row.setupOpens);
    EXPECT_EQ(h.presentationVersion(),
              row.setupOpens ? std::optional<std::int64_t>(1) : std::nullopt);
    // Crash reporting, then the tray item; start-up completes on a later turn, once.
    EXPECT_EQ(h.order, (std::vector<std::string>{"crash reporting", "status item"}));
    EXPECT_TRUE(h.controller->isStartupInitializationComplete());
    EXPECT_EQ(h.count("app_initialized"), 1);
    EXPECT_EQ(h.count("app_shell_initialized"), 1);
  }
}

TEST(AppDelegate, SetupWindowIsBuiltOnceWithItsSizes) {
  DelegateHarness h;
  h.launch();
  auto setup = h.setupWindow();
  ASSERT_TRUE(setup);
  EXPECT_EQ(setup->title(), "Corvane Setup");
  EXPECT_EQ(setup->frame().size, (platform::Size{820, 500}));
  EXPECT_EQ(setup->minSize(), (platform::Size{760, 480}));
  EXPECT_TRUE(setup->isKey());

  // The view's own close only orders it out; showing it again brings the same window back.
  h.closeSetup();
  EXPECT_FALSE(setup->isVisible());
  h.statusItemShowsSetup();
  EXPECT_EQ(h.setupWindow(), setup);
  EXPECT_TRUE(setup->isVisible());

  h.showSettingsFromSetup();
  auto settings = h.delegate->applicationWindowManager()->settingsWindow();
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->title(), "Corvane Settings");
  EXPECT_EQ(settings->frame().size, (platform::Size{760, 520}));
  EXPECT_EQ(settings->minSize(), (platform::Size{720, 440}));
  h.statusItemShowsSettings();
  EXPECT_EQ(h.delegate->applicationWindowManager()->settingsWindow(), settings);
  EXPECT_EQ(h.windows->windows().size(), 2u);
}

TEST(AppDelegate, ReopenOpensSetupOnlyWithoutVisibleWindows) {
  DelegateHarness h;
  h.settings()->set("setupCompletionVersion", 1);
  auto& delegate = h.launch();
  ASSERT_FALSE(h.setupWindow());

  h.statusItemShowsSettings();
  EXPECT_TRUE(delegate.applicationShouldHandleReopen(
      delegate.applicationWindowManager()->hasVisibleWindow()));
  EXPECT_FALSE(h.setupWindow());

  delegate.applicationWindowManager()->settingsWindow()->orderOut();
  EXPECT_TRUE(delegate.applicationShouldHandleReopen(
      delegate.applicationWindowManager()->hasVisibleWindow()));
  EXPECT_TRUE(h.setupShown());
  // Reopening at launch does not count as the setup window's presentation.
  EXPECT_EQ(h.presentationVersion(), std::nullopt);
}

TEST(AppDelegate, MigrationReviewNotificationShowsSetupUntilTermination) {
  DelegateHarness h;
  h.settings()->set("setupCompletionVersion", 1);
  h.launch();
  h.notifications->post(kMigrationReviewRequiredNotification);
  ASSERT_TRUE(h.setupShown());
  auto setup = h.setupWindow();
  h.notifications->post(kMigrationReviewRequiredNotification);
  EXPECT_EQ(h.setupWindow(), setup);

  setup->orderOut();
  int terminations = 0;
  auto observer = h.notifications->addObserver(
      kWillTerminateNotification, [&](const runtime::Notification&) { ++terminations; });
  h.delegate->applicationWillTerminate();
  EXPECT_EQ(terminations, 1);
  h.notifications->post(kMigrationReviewRequiredNotification);
  EXPECT_FALSE(setup->isVisible());
}

// Settings are saved off the main thread; what is still waiting when the application ends is
// saved before it goes.
TEST(AppDelegate, TerminationSavesTheSettingsStillWaiting) {
  DelegateHarness h;
  const auto folder = h.folder.path() / "defaults";
  h.store = std::make_shared<platform::JsonFileDefaultsStore>(
      folder, platform::JsonFileDefaultsStore::Clock{}, h.loop.makeQueue("defaults"));
  h.launch();
  h.settings()->set("neverHideWords", platform::Value("Acme"));
  const auto stored = [&] {
    return platform::JsonFileDefaultsStore(folder)
        .suite(model::PreferencesStore::suiteName)
        ->stringValue("neverHideWords");
  };
  EXPECT_FALSE(stored());
  h.delegate->applicationWillTerminate();
  EXPECT_EQ(stored(), "Acme");
}

TEST(AppDelegate, FormerCopyMarksTheReviewRequired) {
  {  // A running copy does so even after a completed review.
    DelegateHarness h;
    h.settings()->set("setupCompletionVersion", 1);
    h.settings()->set("brandMigrationCompletedAt", runtime::WallTime{});
    h.desktop->launchApplication({kFormerID, "Halvermoor"}).value();
    h.launch();
    EXPECT_EQ(h.settings()->object("brandMigrationReviewRequired"), platform::Value(true));
    EXPECT_TRUE(h.setupShown());
  }
  {  // An installed copy only while the review was never completed.
    DelegateHarness h;
    h.installFormerEntry(h.systemApplications());
    h.settings()->set("setupCompletionVersion", 1);
    h.settings()->set("brandMigrationCompletedAt", runtime::WallTime{});
    h.launch();
    EXPECT_FALSE(h.settings()->object("brandMigrationReviewRequired").has_value());
    EXPECT_FALSE(h.setupShown());
  }
  {
    DelegateHarness h;
    h.installFormerEntry(h.systemApplications());
    h.settings()->set("setupCompletionVersion", 1);
    h.launch();
    EXPECT_EQ(h.settings()->object("brandMigrationReviewRequired"), platform::Value(true));
    EXPECT_TRUE(h.setupShown());
  }
  {  // A QA suite skips the launch preparation entirely.
    DelegateHarness h;
    h.qaSuite = "com.pemberquist.corvane.startupqa.x.preferences";
    h.installFormerEntry(h.systemApplications());
    h.settings()->set("setupCompletionVersion", 1);
    h.launch();
    EXPECT_FALSE(h.settings()->object("brandMigrationReviewRequired").has_value());
  }
}

}  // namespace
}  // namespace corvane::app
