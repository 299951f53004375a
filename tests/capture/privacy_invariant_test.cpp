#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "capture/protected_capture_filter.h"
#include "engine_harness.h"

namespace corvane::capture {
namespace {

using model::ProtectedSharePhase;
using platform::sim::SimWindowKind;
using testing::EngineHarness;

// A session on the simulated desktop driven by random events, playing the controller's part the
// way the application does: it refreshes the filter when applications start or quit (holding the
// output when an excluded one starts), marks desktop switches, holds through file-manager
// relaunches and pushes changes of the excluded list. Every image the output publishes is checked
// as it is written.
class PrivacySession {
 public:
  explicit PrivacySession(std::uint32_t seed) : random_(seed) {}

  void run(double seconds) {
    h_.desktop->captureScript().deliveryDelay = 0.03;
    h_.desktop->captureScript().shareableContent.latency = 0.05;
    std::uniform_int_distribution<int> coin(0, 1);
    for (int i = 0; i < 3; ++i) launchOrdinary();
    launchProtected("org.example.Vault");
    files_ = h_.desktop->launchApplication({"org.example.Files", "Files"}).value();
    (void)h_.desktop->addWindow(files_, iconsSpec());
    hideIcons_ = true;

    auto check = h_.engine->outputSurface()->observeUpdates(
        [this](const ProtectedOutputSurface::Snapshot& snapshot) { inspect(snapshot); });
    startSession();

    const double end = h_.loop.uptime() + seconds;
    std::uniform_real_distribution<double> pause(0.02, 0.4);
    while (h_.loop.uptime() < end) {
      step();
      h_.loop.advance(pause(random_));
      if (h_.engine->phase.value() == ProtectedSharePhase::failed) {
        ++failures_;
        failureMessages_.push_back(h_.engine->lastError.value().value_or(""));
        startSession();
      }
    }
    if (transitionEnd_) endTransition();
    if (paused_) setPaused(false);
    h_.desktop->captureScript().stalled = false;
    h_.loop.advance(1.0);
    check.cancel();
  }

  int checkedFrames() const { return checkedFrames_; }
  int failures() const { return failures_; }
  const std::vector<std::string>& violations() const { return violations_; }
  const std::vector<std::string>& failureMessages() const { return failureMessages_; }

 private:
  struct Hold {
    runtime::Uptime begin = 0;
    std::optional<runtime::Uptime> end;
  };

  std::set<std::string> excludedNow() const {
    auto ids = protected_;
    ids.insert(testing::kSystemSurfaceID);
    return ids;
  }

  // Whether the pixels of this window must never be shown right now.
  bool mustBeHidden(std::uint32_t windowID) const {
    const auto owner = h_.desktop->windowOwner(windowID);
    if (!owner) return false;
    if (owner->processIdentifier == h_.ownProcess) return true;
    if (hideIcons_ && owner->kind == SimWindowKind::desktopIcons) return true;
    return shouldExcludeCaptureApplication(owner->bundleIdentifier, testing::kOwnBundleID,
                                           excludedNow());
  }

  void inspect(const ProtectedOutputSurface::Snapshot& snapshot) {
    ++checkedFrames_;
    const auto now = runtime::uptime();
    const double captured = snapshot.sequence / 1'000'000.0;
    for (const auto window : h_.desktop->windowsInFrame(*snapshot.image)) {
      if (mustBeHidden(window)) {
        violations_.push_back("frame " + std::to_string(snapshot.sequence) + " shows window " +
                              std::to_string(window) + " at " + std::to_string(now));
      }
    }
    for (const auto& hold : holds_) {
      if (!hold.end) {
        violations_.push_back("published during a hold at " + std::to_string(now));
      } else if (captured >= hold.begin && captured < *hold.end) {
        violations_.push_back("published a frame captured during a hold at " + std::to_string(now));
      }
    }
  }

  void closeHold(std::optional<std::size_t>& hold) {
    if (hold) holds_[*hold].end = h_.loop.uptime();
    hold.reset();
  }

  void startSession() {
    closeHold(pauseHold_);
    closeHold(transitionHold_);
    paused_ = false;
    transitionEnd_.reset();
    h_.startSharing(protected_, hideIcons_);
  }

  platform::Rect randomRect() {
    std::uniform_int_distribution<int> x(0, 140), y(0, 80), w(8, 100), hgt(8, 70);
    return platform::Rect{{double(x(random_)), double(y(random_))},
                          {double(w(random_)), double(hgt(random_))}};
  }
  platform::sim::SimWindowSpec windowSpec() {
    std::uniform_int_distribution<int> desktop(0, 3);
    platform::sim::SimWindowSpec spec{randomRect()};
    spec.desktop = desktop(random_) == 0 ? 1 : 0;
    return spec;
  }
  static platform::sim::SimWindowSpec iconsSpec() {
    return {platform::Rect{{0, 0}, {160, 90}}, -1, SimWindowKind::desktopIcons};
  }

  void addWindows(std::int32_t pid, int count) {
    for (int i = 0; i < count; ++i) {
      auto id = h_.desktop->addWindow(pid, windowSpec());
      if (id.ok()) windows_.push_back(id.value());
    }
  }

  void launchOrdinary() {
    const auto id = "org.example.App" + std::to_string(nextApp_++ % 6);
    auto pid = h_.desktop->launchApplication({id, id});
    if (!pid.ok()) return;
    apps_[pid.value()] = id;
    refresh(false, std::nullopt, std::nullopt);
    addWindows(pid.value(), 1 + int(random_() % 2));
  }

  void launchProtected(const std::string& id) {
    auto pid = h_.desktop->launchApplication({id, id});
    if (!pid.ok()) return;
    apps_[pid.value()] = id;
    // The controller sees an excluded application start and holds until the filter covers it.
    if (shouldExcludeCaptureApplication(id, testing::kOwnBundleID, excludedNow())) {
      refresh(true, id, pid.value());
    } else {
      refresh(false, std::nullopt, std::nullopt);
    }
    addWindows(pid.value(), 1 + int(random_() % 2));
  }

  void refresh(bool freeze, std::optional<std::string> id, std::optional<std::int32_t> pid) {
    h_.engine->refreshCaptureFilterForApplicationChange(freeze, std::move(id), pid);
  }

  void quitRandom() {
    if (apps_.empty()) return;
    auto it = apps_.begin();
    std::advance(it, random_() % apps_.size());
    (void)h_.desktop->quitApplication(it->first);
    apps_.erase(it);
    refresh(false, std::nullopt, std::nullopt);
  }

  void beginTransition() {
    h_.engine->setSourceContextTransitioning(true);
    if (!model::isActive(h_.engine->phase.value())) return;
    transitionHold_ = holds_.size();
    holds_.push_back({h_.loop.uptime(), std::nullopt});
    h_.desktop->switchDesktop(h_.desktop->activeDesktop() == 0 ? 1 : 0);
    transitionEnd_ = h_.loop.uptime() + 0.35;
  }
  void endTransition() {
    transitionEnd_.reset();
    closeHold(transitionHold_);
    h_.engine->setSourceContextTransitioning(false);
  }

  void setPaused(bool paused) {
    const bool before = h_.engine->isPublishingPaused.value();
    h_.engine->setPublishingPaused(paused);
    if (h_.engine->isPublishingPaused.value() == before) return;
    paused_ = paused;
    if (paused) {
      pauseHold_ = holds_.size();
      holds_.push_back({h_.loop.uptime(), std::nullopt});
    } else {
      closeHold(pauseHold_);
    }
  }

  void step() {
    if (transitionEnd_ && h_.loop.uptime() >= *transitionEnd_) endTransition();
    std::uniform_int_distribution<int> pick(0, 15);
    switch (pick(random_)) {
      case 0:
        launchOrdinary();
        break;
      case 1:
        launchProtected(random_() % 2 ? "org.example.Keys" : "org.example.Vault.helper");
        break;
      case 2:
        quitRandom();
        break;
      case 3:
      case 4: {  // windows move and repaint all the time
        if (windows_.empty()) break;
        const auto window = windows_[random_() % windows_.size()];
        (void)h_.desktop->moveWindow(window, randomRect().origin);
        (void)h_.desktop->setWindowPattern(
            window, platform::sim::SimWindowPattern{true, 4, int(random_() % 4)});
        break;
      }
      case 5: {  // an application comes to the front
        if (apps_.empty()) break;
        auto it = apps_.begin();
        std::advance(it, random_() % apps_.size());
        h_.desktop->activate(it->first);
        const bool excluded =
            shouldExcludeCaptureApplication(it->second, testing::kOwnBundleID, excludedNow());
        h_.engine->setForegroundProtectedApplication(excluded ? std::optional(it->second)
                                                              : std::nullopt);
        break;
      }
      case 6:
        if (!transitionEnd_) beginTransition();
        break;
      case 7: {  // the user changes the excluded list
        std::vector<std::string> pool{"org.example.App0", "org.example.App1", "org.example.Keys"};
        const auto& id = pool[random_() % pool.size()];
        if (protected_.contains(id)) {
          protected_.erase(id);
        } else {
          protected_.insert(id);
        }
        h_.engine->updateCaptureConfiguration(protected_, hideIcons_, {}, std::nullopt);
        break;
      }
      case 8: {  // the file manager relaunches while its icons are hidden
        h_.engine->handleFinderRelaunch();
        (void)h_.desktop->quitApplication(files_);
        h_.loop.advance(0.1);
        files_ = h_.desktop->launchApplication({"org.example.Files", "Files"}).value();
        (void)h_.desktop->addWindow(files_, iconsSpec());
        refresh(false, std::nullopt, std::nullopt);
        break;
      }
      case 9:
        setPaused(!paused_);
        break;
      case 10: {  // the capture stalls for a moment, sometimes while the user works
        h_.desktop->captureScript().stalled = true;
        const int tenths = 5 + int(random_() % 20);
        const bool typing = random_() % 2 == 0;
        for (int i = 0; i < tenths; ++i) {
          if (typing) h_.desktop->setSecondsSinceLastInput(0);
          h_.loop.advance(0.1);
        }
        h_.desktop->captureScript().stalled = false;
        break;
      }
      case 11: {
        const double delays[] = {0.0, 0.03, 0.12};
        h_.desktop->captureScript().deliveryDelay = delays[random_() % 3];
        break;
      }
      case 12:
        h_.desktop->moveCursor({double(random_() % 160), double(random_() % 90)});
        break;
      default:
        break;
    }
  }

  EngineHarness h_;
  std::mt19937 random_;
  std::set<std::string> protected_{"org.example.Vault"};
  bool hideIcons_ = false;
  std::map<std::int32_t, std::string> apps_;
  std::vector<std::uint32_t> windows_;
  std::int32_t files_ = 0;
  int nextApp_ = 0;
  bool paused_ = false;
  std::optional<runtime::Uptime> transitionEnd_;
  std::vector<Hold> holds_;
  std::optional<std::size_t> pauseHold_;
  std::optional<std::size_t> transitionHold_;
  int checkedFrames_ = 0;
  int failures_ = 0;
  std::vector<std::string> violations_;
  std::vector<std::string> failureMessages_;
};

class PrivacyInvariantTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(PrivacyInvariantTest, NoPublishedFrameShowsAnExcludedWindowOrAHeldBackCapture) {
  PrivacySession session(GetParam());
  session.run(90.0);
  EXPECT_GT(session.checkedFrames(), 1000);
  EXPECT_EQ(session.failures(), 0)
      << (session.failureMessages().empty() ? std::string() : session.failureMessages().front());
  EXPECT_TRUE(session.violations().empty())
      << session.violations().size() << " violations, first: " << session.violations().front();
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, PrivacyInvariantTest, ::testing::Values(1u, 7u, 42u, 2026u));

}  // namespace
}  // namespace corvane::capture
