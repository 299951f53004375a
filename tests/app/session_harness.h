#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/controller_harness.h"
#include "platform/sim/sim_dialogs.h"

namespace corvane::app::testing {

// Counts every write to the suites it hands out, over an in-memory store.
class CountingDefaultsStore final : public platform::DefaultsStore {
 public:
  class Suite final : public platform::DefaultsSuite {
   public:
    Suite(std::shared_ptr<platform::DefaultsSuite> inner, std::shared_ptr<std::atomic<int>> writes)
        : inner_(std::move(inner)), writes_(std::move(writes)) {}
    const std::string& name() const override { return inner_->name(); }
    std::optional<platform::Value> object(const std::string& key) const override {
      return inner_->object(key);
    }
    void set(const std::string& key, platform::Value value) override {
      ++*writes_;
      inner_->set(key, std::move(value));
    }
    void remove(const std::string& key) override {
      ++*writes_;
      inner_->remove(key);
    }
    platform::Value::Dictionary dictionaryRepresentation() const override {
      return inner_->dictionaryRepresentation();
    }

   private:
    std::shared_ptr<platform::DefaultsSuite> inner_;
    std::shared_ptr<std::atomic<int>> writes_;
  };

  std::shared_ptr<platform::DefaultsSuite> suite(const std::string& name) override {
    return std::make_shared<Suite>(inner_.suite(name), writes_);
  }
  std::shared_ptr<platform::DefaultsSuite> standard() override { return suite("standard"); }
  std::optional<platform::Value::Dictionary> persistentDomain(
      const std::string& name) const override {
    return inner_.persistentDomain(name);
  }
  void removePersistentDomain(const std::string& name) override {
    ++*writes_;
    inner_.removePersistentDomain(name);
  }
  int writes() const { return *writes_; }

 private:
  model::InMemoryDefaultsStore inner_;
  std::shared_ptr<std::atomic<int>> writes_ = std::make_shared<std::atomic<int>>(0);
};

// What a window's content is to the managers: something to redraw.
class StandInContentView final : public platform::ContentView {
 public:
  void setNeedsDisplay() override {}
};

inline constexpr const char* kVaultID = "org.example.Vault";
inline constexpr const char* kFilesID = "org.example.Files";

// A controller ready for sessions: setup done, an excluded application and an ordinary one
// running with windows, a file manager drawing the desktop icons, alerts answered from a script.
struct SessionHarness : ControllerHarness {
  SessionHarness() {
    settings()->set("setupCompletionVersion", platform::Value(1));
    auto apps = std::vector<model::ProtectedApp>{{kVaultID, "Vault", "", true}};
    model::PreferencesStore::save(*settings(), apps, model::PreferencesStore::protectedAppsKey);
    editor = desktop->launchApplication({"org.example.Editor", "Editor"}).value();
    (void)desktop->addWindow(editor, {platform::Rect{{10, 10}, {60, 40}}});
    vault = desktop->launchApplication({kVaultID, "Vault"}).value();
    (void)desktop->addWindow(vault, {platform::Rect{{90, 30}, {50, 40}}});
    files = desktop->launchApplication({kFilesID, "Files"}).value();
    (void)desktop->addWindow(
        files, {platform::Rect{{0, 0}, {160, 90}}, -1, platform::sim::SimWindowKind::desktopIcons});
    (void)desktop->activate(editor);
    loop.runUntilIdle();
  }

  void enableSourceGuard() {
    bundle->info[model::ProductionConfiguration::startupSourceGuardKey] = platform::Value(true);
  }

  CorvaneController& make(const std::function<void(CorvaneControllerServices&)>& adjust = {}) {
    auto s = services();
    s.dialogs = dialogs;
    s.outputContentFactory =
        [](share_window::ProtectedShareWindowManager&,
           const std::shared_ptr<share_window::ProtectedShareWindowController>&)
        -> std::shared_ptr<platform::ContentView> {
      return std::make_shared<StandInContentView>();
    };
    if (adjust) adjust(s);
    controller = CorvaneController::make(std::move(s));
    loop.runUntilIdle();
    return *controller;
  }

  // Starts a session and runs the clock until the first frame is live.
  void startLive() {
    controller->toggleDemoMode();
    for (int i = 0; i < 400 && !isLive(); ++i) loop.advance(0.01);
    ASSERT_TRUE(isLive()) << controller->statusMessage();
  }
  bool isLive() const {
    const auto& engine = *controller->protectedShareEngine();
    return controller->isDemoModeOn() && engine.renderedFrame.value().has_value() &&
           engine.phase.value() == model::ProtectedSharePhase::sharing;
  }
  void stopAndSettle() {
    controller->stopDemoMode();
    for (int i = 0; i < 300 && controller->isProtectedShareStopping(); ++i) loop.advance(0.01);
  }

  std::shared_ptr<platform::sim::SimDialogs> dialogs =
      std::make_shared<platform::sim::SimDialogs>();
  std::int32_t editor = 0;
  std::int32_t vault = 0;
  std::int32_t files = 0;
};

}  // namespace corvane::app::testing
