#include <gtest/gtest.h>

#include <random>

#include "app/session_harness.h"
#include "capture/protected_capture_filter.h"

namespace corvane::app::testing {
namespace {

using platform::sim::SimWindowKind;

// Random sessions driven through the controller, as a user and the desktop would: starts and
// stops, applications launching, quitting and coming to the front, desktop switches, changes of
// the excluded list, pauses and file-manager relaunches. The controller alone reacts to them.
// Every image the output publishes is checked as it is written.
class ControllerPrivacySession {
 public:
  explicit ControllerPrivacySession(std::uint32_t seed) : random_(seed) {}

  void run(double seconds) {
    h_.desktop->captureScript().deliveryDelay = 0.03;
    h_.desktop->captureScript().shareableContent.latency = 0.05;
    auto& controller = h_.make();
    for (const auto pid : {h_.editor, h_.vault}) apps_[pid] = true;
    auto check = controller.protectedShareEngine()->outputSurface()->observeUpdates(
        [this](const capture::ProtectedOutputSurface::Snapshot& snapshot) { inspect(snapshot); });
    controller.toggleDemoMode();
    const double end = h_.loop.uptime() + seconds;
    std::uniform_real_distribution<double> pause(0.02, 0.4);
    while (h_.loop.uptime() < end) {
      step();
      h_.loop.advance(pause(random_));
    }
    if (controller.isDemoModeOn()) controller.stopDemoMode();
    h_.loop.advance(1.0);
    check.cancel();
  }

  int checkedFrames() const { return checkedFrames_; }
  int sessions() const { return h_.count("demo_mode_started"); }
  const std::vector<std::string>& violations() const { return violations_; }

 private:
  CorvaneController& controller() { return *h_.controller; }

  bool mustBeHidden(std::uint32_t windowID) {
    const auto owner = h_.desktop->windowOwner(windowID);
    if (!owner) return false;
    if (owner->processIdentifier == h_.ownProcess) return true;
    if (controller().protectionOptions().hideDesktopIcons &&
        owner->kind == SimWindowKind::desktopIcons)
      return true;
    std::set<std::string> excluded;
    for (const auto& app : controller().protectedApps()) {
      if (app.isEnabled) excluded.insert(app.id);
    }
    return capture::shouldExcludeCaptureApplication(owner->bundleIdentifier, "", excluded);
  }

  void inspect(const capture::ProtectedOutputSurface::Snapshot& snapshot) {
    ++checkedFrames_;
    for (const auto window : h_.desktop->windowsInFrame(*snapshot.image)) {
      if (mustBeHidden(window)) {
        violations_.push_back("frame " + std::to_string(snapshot.sequence) + " shows window " +
                              std::to_string(window) + " at " + std::to_string(runtime::uptime()));
      }
    }
  }

  platform::sim::SimWindowSpec windowSpec() {
    std::uniform_int_distribution<int> x(0, 140), y(0, 80), w(8, 100), hgt(8, 70);
    platform::sim::SimWindowSpec spec{platform::Rect{{double(x(random_)), double(y(random_))},
                                                     {double(w(random_)), double(hgt(random_))}}};
    spec.desktop = random_() % 4 == 0 ? 1 : 0;
    return spec;
  }

  void launch(const std::string& id) {
    auto pid = h_.desktop->launchApplication({id, id});
    if (!pid.ok()) return;
    apps_[pid.value()] = true;
    for (int i = 0, n = 1 + int(random_() % 2); i < n; ++i) {
      auto window = h_.desktop->addWindow(pid.value(), windowSpec());
      if (window.ok()) windows_.push_back(window.value());
    }
  }

  std::optional<std::int32_t> randomApp() {
    if (apps_.empty()) return std::nullopt;
    auto it = apps_.begin();
    std::advance(it, random_() % apps_.size());
    return it->first;
  }

  void step() {
    std::uniform_int_distribution<int> pick(0, 15);
    switch (pick(random_)) {
      case 0:
        launch("org.example.App" + std::to_string(random_() % 4));
        break;
      case 1:
        launch(random_() % 2 ? "org.example.Keys" : "org.example.Vault.helper");
        break;
      case 2:
        if (auto pid = randomApp()) {
          (void)h_.desktop->quitApplication(*pid);
          apps_.erase(*pid);
        }
        break;
      case 3:
      case 4:
        if (!windows_.empty()) {
          const auto window = windows_[random_() % windows_.size()];
          (void)h_.desktop->moveWindow(window, windowSpec().frame.origin);
          (void)h_.desktop->setWindowPattern(
              window, platform::sim::SimWindowPattern{true, 4, int(random_() % 4)});
        }
        break;
      case 5:
        if (auto pid = randomApp()) (void)h_.desktop->activate(*pid);
        break;
      case 6:
        h_.desktop->switchDesktop(h_.desktop->activeDesktop() == 0 ? 1 : 0);
        break;
      case 7: {  // the user edits the excluded list
        auto apps = controller().protectedApps();
        const std::string pool[] = {"org.example.App0", "org.example.App1", "org.example.Keys"};
        const auto& id = pool[random_() % 3];
        auto found =
            std::find_if(apps.begin(), apps.end(), [&](auto& app) { return app.id == id; });
        if (found == apps.end()) {
          apps.push_back({id, id, "", true});
        } else {
          found->isEnabled = !found->isEnabled;
        }
        controller().setProtectedApps(apps);
        break;
      }
      case 8: {  // the file manager relaunches
        (void)h_.desktop->quitApplication(h_.files);
        h_.loop.advance(0.1);
        h_.files = h_.desktop->launchApplication({kFilesID, "Files"}).value();
        (void)h_.desktop->addWindow(
            h_.files, {platform::Rect{{0, 0}, {160, 90}}, -1, SimWindowKind::desktopIcons});
        break;
      }
      case 9:
        if (controller().isDemoModeOn()) controller().togglePublishingPaused();
        break;
      case 10:
        if (random_() % 3 == 0) controller().toggleDemoMode();  // start or stop
        break;
      case 11:
        h_.desktop->moveCursor({double(random_() % 160), double(random_() % 90)});
        break;
      default:
        break;
    }
  }

  SessionHarness h_;
  std::mt19937 random_;
  std::map<std::int32_t, bool> apps_;
  std::vector<std::uint32_t> windows_;
  int checkedFrames_ = 0;
  std::vector<std::string> violations_;
};

class ControllerPrivacyTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ControllerPrivacyTest, NoPublishedFrameHoldsAnExcludedApplicationsPixels) {
  ControllerPrivacySession session(GetParam());
  session.run(40.0);
  EXPECT_GT(session.checkedFrames(), 200);
  EXPECT_GE(session.sessions(), 1);
  EXPECT_TRUE(session.violations().empty())
      << session.violations().size() << " violations, first: " << session.violations().front();
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, ControllerPrivacyTest, ::testing::Values(3u, 17u, 2026u));

}  // namespace
}  // namespace corvane::app::testing
