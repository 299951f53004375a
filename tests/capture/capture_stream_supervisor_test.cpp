#include "capture/capture_stream_supervisor.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_capture_stream.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::capture {
namespace {

// The supervisor on a simulated desktop with two displays: it reports what came of each step and
// leaves deciding what a failure means to its owner.
class CaptureStreamSupervisorTest : public ::testing::Test {
 protected:
  CaptureStreamSupervisorTest() {
    (void)desktop->addDisplay(platform::sim::SimDesktop::makeDisplay(
        1, platform::Rect{{0, 0}, {64, 36}}, 1, /*isMain=*/true));
    (void)desktop->addDisplay(
        platform::sim::SimDesktop::makeDisplay(2, platform::Rect{{64, 0}, {32, 18}}));
    CaptureStreamSupervisor::Sinks sinks;
    sinks.sample = [this](const platform::CapturedSample&, std::uint64_t identity) {
      samplesOf.push_back(identity);
    };
    sinks.stoppedWithError = [this](std::uint64_t identity, const runtime::Error& error) {
      stopped.emplace_back(identity, error.message);
    };
    supervisor = CaptureStreamSupervisor::make(desktop, desktop, loop.makeQueue("samples"), sinks);
  }

  template <class T>
  T run(runtime::Task<T> task, double seconds = 6.0) {
    std::optional<T> result;
    auto handle =
        runtime::spawn([](runtime::Task<T> t, std::optional<T>* out) -> runtime::Task<void> {
          *out = co_await std::move(t);
        }(std::move(task), &result));
    for (double t = 0; t < seconds && !result; t += 0.05) loop.advance(0.05);
    EXPECT_TRUE(result.has_value());
    return result.value_or(T{});
  }

  platform::ShareableContent content() {
    const auto listed = run(supervisor->fetchContent());
    EXPECT_TRUE(listed && listed->ok());
    return listed && listed->ok() ? listed->value() : platform::ShareableContent{};
  }

  CaptureFilterSnapshot filterFor(const platform::ShareableDisplay& display) {
    CaptureFilterSnapshot snapshot;
    snapshot.filter.displayID = display.displayID;
    return snapshot;
  }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<platform::sim::SimDesktop> desktop = platform::sim::SimDesktop::make();
  std::shared_ptr<CaptureStreamSupervisor> supervisor;
  std::vector<std::uint64_t> samplesOf;
  std::vector<std::pair<std::uint64_t, std::string>> stopped;
};

TEST_F(CaptureStreamSupervisorTest, StartsOnTheChosenDisplayAndReplacesTheStreamByNumber) {
  const auto listed = content();
  EXPECT_EQ(supervisor->chooseDisplay(listed, std::nullopt)->displayID, 1u) << "the main one";
  const auto second = *supervisor->chooseDisplay(listed, 2);
  int prepared = 0;
  const auto started = run(supervisor->start(filterFor(second), second, [&] { ++prepared; }));
  ASSERT_TRUE(started.isRunning()) << started.error;
  EXPECT_EQ(prepared, 1);
  const auto first = supervisor->identity();
  EXPECT_EQ(supervisor->activeDisplay()->displayID, 2u);
  EXPECT_EQ(supervisor->chooseDisplay(listed, std::nullopt)->displayID, 2u) << "the one in use";
  loop.advance(0.2);
  ASSERT_FALSE(samplesOf.empty());
  EXPECT_EQ(samplesOf.back(), first);

  const auto main = *supervisor->chooseDisplay(listed, 1);
  const auto replaced = run(supervisor->replace(
      filterFor(main), main, [] {}, [] { return true; }));
  ASSERT_TRUE(replaced.isRunning()) << replaced.error;
  EXPECT_NE(supervisor->identity(), first);
  EXPECT_FALSE(supervisor->isCurrent(first));
  samplesOf.clear();
  loop.advance(0.2);
  ASSERT_FALSE(samplesOf.empty());
  for (auto identity : samplesOf) EXPECT_EQ(identity, supervisor->identity());
  EXPECT_EQ(desktop->liveStreams().size(), 1u) << "the old stream was stopped";
}

TEST_F(CaptureStreamSupervisorTest, AFailedReplacementIsReportedAndLeavesNoStreamRunning) {
  const auto listed = content();
  const auto main = *supervisor->chooseDisplay(listed, std::nullopt);
  ASSERT_TRUE(run(supervisor->start(filterFor(main), main, {})).isRunning());
  desktop->captureScript().start.failure = "The display went away.";
  const auto replaced = run(supervisor->replace(
      filterFor(main), main, [] {}, [] { return true; }));
  EXPECT_EQ(replaced.outcome, StreamChange::Outcome::failed);
  EXPECT_EQ(replaced.error, "The display went away.");
  EXPECT_FALSE(supervisor->stream());
  loop.advance(2.0);
  for (const auto& stream : desktop->liveStreams()) EXPECT_FALSE(stream->isRunning());

  // A start that a stop overtakes is superseded, not failed.
  desktop->captureScript().start = platform::sim::SimOperationScript::answeringAfter(1.0);
  auto task = supervisor->start(filterFor(main), main, {});
  std::optional<StreamChange> result;
  auto handle = runtime::spawn([](auto t, auto* out) -> runtime::Task<void> {
    *out = co_await std::move(t);
  }(std::move(task), &result));
  loop.advance(0.1);
  CaptureStreamSupervisor::stopQuietly(supervisor->release());
  loop.advance(2.0);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->outcome, StreamChange::Outcome::superseded);
  EXPECT_TRUE(stopped.empty());
}

}  // namespace
}  // namespace corvane::capture
