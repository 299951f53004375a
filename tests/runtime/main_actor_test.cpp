#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "runtime/main_actor.h"
#include "runtime/published.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::runtime {
namespace {

TEST(MainActorTest, TheTestBodyAndMainJobsAreOnItAndQueueJobsAndOtherThreadsAreNot) {
  VirtualRunLoop loop;
  EXPECT_TRUE(isOnMainActor());
  bool inMainJob = false;
  bool inQueueJob = true;
  bool onOtherThread = true;
  loop.post([&] { inMainJob = isOnMainActor(); });
  auto queue = loop.makeQueue("checks");
  queue->post([&] { inQueueJob = isOnMainActor(); });
  std::thread([&] { onOtherThread = isOnMainActor(); }).join();
  loop.runUntilIdle();
  EXPECT_TRUE(inMainJob);
  EXPECT_FALSE(inQueueJob);
  EXPECT_FALSE(onOtherThread);
}

TEST(MainActorTest, PostToMainRunsForALiveOwnerOnlyAndAfterItsDelay) {
  VirtualRunLoop loop;
  struct Counter {
    int runs = 0;
  };
  auto counter = std::make_shared<Counter>();
  auto gone = std::make_shared<Counter>();
  int goneRuns = 0;
  postToMain(std::weak_ptr<Counter>(counter), [](Counter& c) { ++c.runs; });
  postToMainAfter(1.0, std::weak_ptr<Counter>(counter), [](Counter& c) { c.runs += 10; });
  postToMain(std::weak_ptr<Counter>(gone), [&](Counter&) { ++goneRuns; });
  gone.reset();
  loop.runUntilIdle();
  EXPECT_EQ(counter->runs, 1);
  loop.advance(1.0);
  EXPECT_EQ(counter->runs, 11);
  EXPECT_EQ(goneRuns, 0);
}

#if defined(CORVANE_CHECK_MAIN_ACTOR)
TEST(MainActorDeathTest, SettingAPublishedValueFromASerialQueueStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        VirtualRunLoop loop;
        Published<int> value(0);
        auto queue = loop.makeQueue("off-main");
        queue->post([&] { value.set(1); });
        loop.runUntilIdle();
      },
      "must run on the main actor");
}
#endif

}  // namespace
}  // namespace corvane::runtime
