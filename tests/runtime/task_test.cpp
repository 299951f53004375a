#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/generation.h"
#include "runtime/task.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::runtime {
namespace {

Task<int> sleepThenReturn(double seconds, int value) {
  co_await sleep(seconds);
  co_return value;
}

Task<void> recordSleep(double seconds, std::vector<std::string>* log) {
  co_await sleep(seconds);
  log->push_back((co_await isCancelled()) ? "cancelled" : "woke");
}

TEST(TaskTest, SleepWaitsForVirtualTimeOnly) {
  VirtualRunLoop loop;
  std::vector<std::string> log;
  auto handle = spawn(recordSleep(2.0, &log));
  loop.runUntilIdle();
  loop.advance(1.99);
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(handle.isDone());
  loop.advance(0.01);
  EXPECT_EQ(log, std::vector<std::string>{"woke"});
  EXPECT_TRUE(handle.isDone());
}

TEST(TaskTest, VirtualClockNeverMovesByItself) {
  VirtualRunLoop loop;
  const Uptime start = loop.uptime();
  const WallTime wall = loop.now();
  auto handle = spawn(sleepThenReturn(5, 1));
  for (int i = 0; i < 100; ++i) loop.runUntilIdle();
  EXPECT_EQ(loop.uptime(), start);
  EXPECT_EQ(loop.now(), wall);
  EXPECT_FALSE(handle.isDone());
}

TEST(TaskTest, CancelledSleepReturnsAndTaskSeesCancellation) {
  VirtualRunLoop loop;
  std::vector<std::string> log;
  auto handle = spawn(recordSleep(100.0, &log));
  loop.runUntilIdle();
  handle.cancel();
  loop.runUntilIdle();
  EXPECT_EQ(log, std::vector<std::string>{"cancelled"});
  EXPECT_TRUE(handle.isDone());
  EXPECT_EQ(loop.uptime(), 1000.0);
}

TEST(TaskTest, AwaitedTasksShareTheCallersCancellation) {
  VirtualRunLoop loop;
  std::vector<std::string> log;
  auto outer = [](std::vector<std::string>* log) -> Task<void> {
    co_await recordSleep(10, log);
    co_await recordSleep(10, log);
  };
  auto handle = spawn(outer(&log));
  loop.advance(1);
  handle.cancel();
  loop.runUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"cancelled", "cancelled"}));
}

TEST(TaskTest, WithTimeoutCompletesOnceWhenOperationWins) {
  VirtualRunLoop loop;
  int completions = 0;
  std::optional<int> outcome;
  auto race = [](int* completions, std::optional<int>* outcome) -> Task<void> {
    *outcome = co_await withTimeout(sleepThenReturn(1.0, 7), 2.0);
    ++*completions;
  };
  spawn(race(&completions, &outcome));
  loop.advance(5);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(outcome, 7);
}

TEST(TaskTest, WithTimeoutCompletesOnceWhenTimeoutWinsAndCancelsOperation) {
  VirtualRunLoop loop;
  int completions = 0;
  std::optional<int> outcome = 99;
  std::vector<std::string> log;
  auto race = [](int* completions, std::optional<int>* outcome,
                 std::vector<std::string>* log) -> Task<void> {
    auto slow = [](std::vector<std::string>* log) -> Task<int> {
      co_await recordSleep(3.0, log);
      co_return 1;
    };
    *outcome = co_await withTimeout(slow(log), 2.0);
    ++*completions;
  };
  spawn(race(&completions, &outcome, &log));
  loop.advance(2.0);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(outcome, std::nullopt);
  EXPECT_EQ(log, std::vector<std::string>{"cancelled"});
  loop.advance(10);
  EXPECT_EQ(completions, 1);
}

TEST(TaskTest, WithTimeoutAtTheSameInstantCompletesExactlyOnce) {
  VirtualRunLoop loop;
  int completions = 0;
  auto race = [](int* completions) -> Task<void> {
    (void)co_await withTimeout(sleepThenReturn(2.0, 1), 2.0);
    ++*completions;
  };
  for (int i = 0; i < 20; ++i) spawn(race(&completions));
  loop.advance(3);
  EXPECT_EQ(completions, 20);
}

TEST(TaskTest, CompletionFromAnotherQueueAfterTimeoutIsHarmless) {
  VirtualRunLoop loop;
  auto queue = loop.makeQueue("test.completion");
  queue->hold();
  std::function<void(int)> lateComplete;
  std::optional<std::optional<int>> result;
  auto wait = [](std::function<void(int)>* late, std::optional<std::optional<int>>* result,
                 std::shared_ptr<VirtualSerialQueue> queue) -> Task<void> {
    *result = co_await awaitCompletion<int>(
        [late, queue](std::function<void(int)> complete) {
          *late = complete;
          queue->post([complete] { complete(5); });
        },
        1.0);
  };
  spawn(wait(&lateComplete, &result, queue));
  loop.advance(1.0);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(*result, std::nullopt);
  queue->release();
  loop.runUntilIdle();
  lateComplete(6);
  loop.runUntilIdle();
  EXPECT_EQ(*result, std::nullopt);
}

TEST(TaskTest, StaleGenerationMakesDelayedWorkDoNothing) {
  VirtualRunLoop loop;
  Generation generation;
  int applied = 0;
  auto delayed = [](Generation* generation, int* applied) -> Task<void> {
    const auto started = generation->current();
    co_await sleep(0.35);
    if (!generation->isCurrent(started)) co_return;
    ++*applied;
  };
  spawn(delayed(&generation, &applied));
  loop.advance(0.1);
  generation.advance();
  loop.advance(1);
  EXPECT_EQ(applied, 0);
  spawn(delayed(&generation, &applied));
  loop.advance(1);
  EXPECT_EQ(applied, 1);
}

TEST(TaskTest, ExceptionsReachTheAwaiter) {
  VirtualRunLoop loop;
  auto failing = []() -> Task<int> {
    co_await sleep(0);
    throw std::runtime_error("broken");
  };
  auto handle = spawn(failing());
  loop.runUntilIdle();
  ASSERT_TRUE(handle.isDone());
  EXPECT_THROW((void)handle.result(), std::runtime_error);
}

}  // namespace
}  // namespace corvane::runtime
