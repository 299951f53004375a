#include "app/launch_automation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "app/session_harness.h"
#include "runtime/timer_delay.h"

namespace corvane::app::testing {
namespace {

std::optional<LaunchAutomationPlan> planFor(std::set<std::string> arguments) {
  return LaunchAutomationPlan::from(arguments);
}

std::optional<double> stopWaitFor(const std::string& argument) {
  return planFor({kOpenProtectedShareFlag, argument})->stopWait;
}

TEST(LaunchAutomationTest, ValuesAreWholeCLocaleNumbersAndEveryWaitIsBoundedAndFinite) {
  EXPECT_FALSE(planFor({"--qa-space-change-after=1", kPauseAfterFirstFrameFlag}).has_value());
  EXPECT_EQ(stopWaitFor("--qa-stop-after=3"), 3.0);
  EXPECT_EQ(stopWaitFor("--qa-stop-after=0.2"), 0.5);
  EXPECT_EQ(stopWaitFor("--qa-stop-after=0"), 0.5);
  EXPECT_EQ(stopWaitFor("--qa-stop-after=-1"), 0.5);
  EXPECT_EQ(stopWaitFor("--qa-stop-after=nan"), 0.5);
  // Huge and infinite values are clamped to a day rather than reaching a timer.
  EXPECT_EQ(stopWaitFor("--qa-stop-after=1e300"), LaunchAutomationPlan::kLongestStepWait);
  EXPECT_EQ(stopWaitFor("--qa-stop-after=inf"), LaunchAutomationPlan::kLongestStepWait);
  EXPECT_EQ(stopWaitFor("--qa-stop-after=1e400"), LaunchAutomationPlan::kLongestStepWait);
  // Every occurrence of the prefix goes, not only the leading one.
  EXPECT_EQ(stopWaitFor("--qa-stop-after=2--qa-stop-after="), 2.0);
  for (const char* skipped : {"--qa-stop-after=", "--qa-stop-after=soon", "--qa-stop-after= 2",
                              "--qa-stop-after=2s", "--qa-stop-after=2,5"}) {
    EXPECT_FALSE(stopWaitFor(skipped).has_value()) << skipped;
  }

  // The Qt executor's conversion to milliseconds stays defined whatever it is handed.
  EXPECT_EQ(runtime::timerMilliseconds(std::nan("")), 0);
  EXPECT_EQ(runtime::timerMilliseconds(-3), 0);
  EXPECT_EQ(runtime::timerMilliseconds(0.0101), 11);
  EXPECT_EQ(runtime::timerMilliseconds(1e300), std::numeric_limits<int>::max());
  EXPECT_EQ(runtime::timerMilliseconds(INFINITY), std::numeric_limits<int>::max());
}

// Notes when each step runs; the start takes a second.
class RecordingTarget final : public LaunchAutomationTarget {
 public:
  void setPauseAfterFirstFrame(bool pause) override { note(pause ? "pause-armed" : "no-pause"); }
  void openProtectedShareWindow() override { note("open"); }
  runtime::Task<void> startDemoMode() override {
    note("start");
    co_await runtime::sleep(1.0);
  }
  void beginSourceSpaceTransition(const std::string& reason) override { note("space:" + reason); }
  void resumePublishing() override { note("resume"); }
  bool isProtectedShareStopping() const override { return stopping; }
  void stopDemoMode() override { note("stop"); }
  bool hasTerminationBegun() const override { return false; }

  void note(const std::string& step) {
    steps.push_back(step + "@" + std::to_string(runtime::uptime() - startedAt));
  }

  double startedAt = runtime::uptime();
  bool stopping = false;
  std::vector<std::string> steps;
};

TEST(LaunchAutomationTest, TimedStepsWaitOneAfterAnotherFromTheEndOfTheStart) {
  runtime::VirtualRunLoop loop;
  auto target = std::make_shared<RecordingTarget>();
  const auto plan = planFor({kStartProtectedShareFlag, "--qa-space-change-after=nan",
                             "--qa-resume-after=2", "--qa-stop-after=1e300"});
  auto run = runtime::spawn(runLaunchAutomationPlan([target] { return target; }, *plan));
  loop.advance(0.59);
  EXPECT_TRUE(target->steps.empty());
  loop.advance(0.01 + 1.0 + 0.5 + 2.0);
  EXPECT_EQ(target->steps,
            (std::vector<std::string>{"no-pause@0.600000", "open@0.600000", "start@0.600000",
                                      "space:space_changed@2.100000", "resume@4.100000"}));
  // A clamped wait is long but finite: the stop comes a day later.
  loop.advance(LaunchAutomationPlan::kLongestStepWait);
  EXPECT_EQ(target->steps.back(), "stop@86404.100000");
  EXPECT_TRUE(run.isDone());

  // A stop already under way is left alone; a target gone before the first step ends the run.
  auto stopping = std::make_shared<RecordingTarget>();
  stopping->stopping = true;
  runtime::spawn(runLaunchAutomationPlan([stopping] { return stopping; },
                                         *planFor({kOpenProtectedShareFlag, "--qa-stop-after=0"})));
  auto gone = runtime::spawn(
      runLaunchAutomationPlan([] { return std::shared_ptr<LaunchAutomationTarget>(); },
                              *planFor({kOpenProtectedShareFlag})));
  loop.advance(2.0);
  EXPECT_EQ(stopping->steps.size(), 2u);  // armed and opened, no stop
  EXPECT_TRUE(gone.isDone());
}

TEST(LaunchAutomationTest, ScriptedSessionPausesAfterItsFirstFrameResumesAndStops) {
  SessionHarness h;
  h.arguments = {"corvane", kStartProtectedShareFlag, kPauseAfterFirstFrameFlag,
                 "--qa-resume-after=2", "--qa-stop-after=5"};
  auto& controller = h.make();
  const auto& engine = *controller.protectedShareEngine();
  controller.completeStartupInitialization();
  h.loop.advance(0.59);
  EXPECT_FALSE(controller.isDemoModeOn());
  for (int i = 0; i < 400 && !h.isLive(); ++i) h.loop.advance(0.01);
  ASSERT_TRUE(h.isLive()) << controller.statusMessage();
  EXPECT_TRUE(controller.protectedShareWindowManager()->window());
  h.loop.advance(0.01);
  EXPECT_TRUE(engine.isPublishingPaused.value());
  h.loop.advance(2.0);
  EXPECT_FALSE(engine.isPublishingPaused.value());
  EXPECT_TRUE(controller.isDemoModeOn());
  h.loop.advance(5.0);
  EXPECT_FALSE(controller.isDemoModeOn());
  EXPECT_EQ(h.count("demo_mode_stopped"), 1);
}

// Quitting cancels every live task, and a cancelled wait returns at once: the automation must
// not take that for its cue to start (or drive) a session after the workspace was restored.
TEST(LaunchAutomationTest, QuittingEndsTheAutomationAndNoSessionStartsAfterIt) {
  std::mt19937 random(36);
  for (int run = 0; run < 6; ++run) {
    // Before the first step (the start), or later, while the stop step waits.
    const bool beforeStart = run % 2 == 0;
    const double quitAfter = std::uniform_real_distribution<double>(0.0, 0.59)(random);
    SCOPED_TRACE(::testing::Message() << "before start " << beforeStart << " after " << quitAfter);
    SessionHarness h;
    h.arguments = {"corvane", kStartProtectedShareFlag, "--qa-space-change-after=3",
                   "--qa-stop-after=3"};
    auto& controller = h.make();
    controller.completeStartupInitialization();
    if (!beforeStart) {
      for (int i = 0; i < 400 && !h.isLive(); ++i) h.loop.advance(0.01);
      ASSERT_TRUE(h.isLive()) << controller.statusMessage();
    }
    h.loop.advance(quitAfter);
    h.notifications->post(kWillTerminateNotification);
    runtime::cancelAllLiveTasks();
    h.loop.advance(10.0);
    EXPECT_EQ(h.count("demo_mode_started"), beforeStart ? 0 : 1);
    EXPECT_EQ(h.count("demo_mode_stopped"), 0);
    EXPECT_FALSE(controller.isDemoModeOn());
    EXPECT_EQ(h.count("source_space_transition_started"), 0);

    // Nor does any other caller start one once quitting began.
    auto late = runtime::spawn(controller.startDemoMode());
    h.loop.advance(5.0);
    EXPECT_TRUE(late.isDone());
    EXPECT_EQ(h.count("demo_mode_started"), beforeStart ? 0 : 1);
  }
}

}  // namespace
}  // namespace corvane::app::testing
