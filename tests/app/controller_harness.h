#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/corvane_controller.h"
#include "model/in_memory_defaults_store.h"
#include "model/preferences_store.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_desktop_settings.h"
#include "platform/sim/sim_process_table.h"
#include "platform/sim/sim_window_system.h"
#include "runtime/virtual_run_loop.h"
#include "support/temporary_folder.h"

namespace corvane::app::testing {

inline constexpr const char* kFormerID = "com.pemberquist.halvermoor";
inline constexpr const char* kFormerEntry = "com.pemberquist.halvermoor.desktop";

struct RecordedEvent {
  std::string name;
  std::map<std::string, std::string> fields;
};

// A controller on the simulated desktop and the virtual clock, with in-memory settings, a
// simulated process list, desktop-icon setting and settings panes, and temporary application
// folders for the former brand's desktop entry. Set what the test needs, then make().
struct ControllerHarness {
  ControllerHarness() {
    (void)desktop->addDisplay(
        platform::sim::SimDesktop::makeDisplay(1, platform::Rect{{0, 0}, {160, 90}}, 1, true));
    ownProcess = desktop->launchApplication({"com.pemberquist.corvane", "Corvane"}).value();
    std::filesystem::create_directories(systemApplications());
    std::filesystem::create_directories(userApplications());
    std::filesystem::create_directories(folder.path() / "install/bin");
    bundle->root = folder.path() / "install";
    bundle->info["CFBundleIdentifier"] = platform::Value("com.pemberquist.corvane");
    reviewRequests =
        notifications->addObserver(kMigrationReviewRequiredNotification,
                                   [this](const runtime::Notification&) { ++reviewPosts; });
  }

  ~ControllerHarness() {
    if (controller && model::isActive(*controller->protectedShareEngine()->phase)) {
      auto stop = runtime::spawn(controller->protectedShareEngine()->stop());
      loop.advance(2.0);
    }
  }

  std::filesystem::path systemApplications() const { return folder.path() / "system/applications"; }
  std::filesystem::path userApplications() const { return folder.path() / "user/applications"; }

  std::shared_ptr<platform::DefaultsSuite> settings() {
    return store->suite(qaSuite.value_or(model::PreferencesStore::suiteName));
  }
  std::shared_ptr<platform::DefaultsSuite> repairSuite() {
    return store->suite(model::PreferencesStore::suiteName);
  }

  // A desktop entry of the former brand in `applications`, starting `program`.
  std::filesystem::path installFormerEntry(const std::filesystem::path& applications,
                                           const std::string& program = "/opt/halvermoor/bin/run") {
    const auto path = applications / kFormerEntry;
    std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=Halvermoor\nExec=" << program
                        << " %U\n";
    return path;
  }

  CorvaneControllerServices services() {
    CorvaneControllerServices s;
    s.desktop = desktop->desktop();
    s.windowSystem = windows;
    s.outputContentFactory =
        [](share_window::ProtectedShareWindowManager&,
           const std::shared_ptr<share_window::ProtectedShareWindowController>&)
        -> std::shared_ptr<platform::ContentView> { return nullptr; };
    s.settings = settings();
    s.defaultsStore = store;
    s.qaPreferencesSuiteName = qaSuite;
    s.bundle = bundle;
    s.ownProcessIdentifier = ownProcess;
    s.arguments = arguments;
    s.processTable = processes;
    s.desktopIconPreference = iconPreference;
    s.settingsOpener = opener;
    s.systemApplicationDirectories = {systemApplications()};
    s.userApplicationDirectory = userApplications();
    s.programSearchPath = (folder.path() / "install/bin").string();
    s.recorder = [this](const std::string& event, std::map<std::string, std::string> fields) {
      events.push_back({event, std::move(fields)});
    };
    s.notifications = notifications;
    return s;
  }

  CorvaneController& make() {
    controller = CorvaneController::make(services());
    return *controller;
  }

  int count(const std::string& event) const {
    int n = 0;
    for (const auto& recorded : events) n += recorded.name == event ? 1 : 0;
    return n;
  }
  const RecordedEvent* last(const std::string& event) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->name == event) return &*it;
    }
    return nullptr;
  }

  // Runs a controller task (or any task) to its end on the virtual clock.
  void run(runtime::Task<void> task, double seconds = 5.0) {
    auto handle = runtime::spawn(std::move(task));
    for (int i = 0; i < 10000 && !handle.isDone(); ++i) loop.advance(seconds / 10000);
    ASSERT_TRUE(handle.isDone());
  }

  runtime::VirtualRunLoop loop;
  corvane::testing::TemporaryFolder folder;
  std::shared_ptr<platform::sim::SimDesktop> desktop = platform::sim::SimDesktop::make();
  std::shared_ptr<platform::sim::SimWindowSystem> windows =
      std::make_shared<platform::sim::SimWindowSystem>(std::shared_ptr<platform::Screens>(desktop));
  std::shared_ptr<platform::sim::SimProcessTable> processes =
      platform::sim::SimProcessTable::make();
  std::shared_ptr<platform::sim::SimDesktopIconPreference> iconPreference =
      std::make_shared<platform::sim::SimDesktopIconPreference>();
  std::shared_ptr<platform::sim::SimSettingsOpener> opener =
      std::make_shared<platform::sim::SimSettingsOpener>();
  std::shared_ptr<platform::DefaultsStore> store = std::make_shared<model::InMemoryDefaultsStore>();
  std::shared_ptr<platform::Bundle> bundle = std::make_shared<platform::Bundle>();
  std::shared_ptr<runtime::NotificationCenter> notifications =
      std::make_shared<runtime::NotificationCenter>();
  std::optional<std::string> qaSuite;
  std::vector<std::string> arguments;
  std::int32_t ownProcess = 0;
  std::vector<RecordedEvent> events;
  int reviewPosts = 0;
  runtime::Subscription reviewRequests;
  std::shared_ptr<CorvaneController> controller;
};

}  // namespace corvane::app::testing
