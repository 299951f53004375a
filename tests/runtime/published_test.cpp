#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/notification_center.h"
#include "runtime/published.h"
#include "runtime/run_loop.h"
#include "runtime/serial_queue.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::runtime {
namespace {

TEST(PublishedTest, AtOnceObserversSeeOldValueNextTurnSeeNew) {
  VirtualRunLoop loop;
  Published<int> phase(1);
  std::vector<std::string> log;
  auto a = phase.observeAtOnce([&](int next) {
    log.push_back("at-once stored=" + std::to_string(phase.value()) +
                  " next=" + std::to_string(next));
  });
  auto b = phase.observeNextTurn([&](int next) {
    log.push_back("next-turn stored=" + std::to_string(phase.value()) +
                  " next=" + std::to_string(next));
  });
  phase.set(2);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "at-once stored=1 next=2");
  loop.runUntilIdle();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "next-turn stored=2 next=2");
}

TEST(PublishedTest, CancelledSubscriptionReceivesNothingEvenIfQueued) {
  VirtualRunLoop loop;
  Published<std::string> status;
  int calls = 0;
  auto sub = status.observeNextTurn([&](const std::string&) { ++calls; });
  status.set("a");
  sub.cancel();
  loop.runUntilIdle();
  EXPECT_EQ(calls, 0);
  status.setIfChanged("a");
  status.setIfChanged("a");
}

TEST(PublishedTest, ObserverMayUnsubscribeItselfDuringAnnouncement) {
  VirtualRunLoop loop;
  Published<int> value;
  Subscription sub;
  int calls = 0;
  sub = value.observeAtOnce([&](int) {
    ++calls;
    sub.cancel();
  });
  value.set(1);
  value.set(2);
  EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterTest, PostIsSynchronousAndOrdered) {
  NotificationCenter center;
  std::vector<std::string> log;
  auto first = center.addObserver("CorvaneWillTerminate",
                                  [&](const Notification& n) { log.push_back("first:" + n.name); });
  auto second = center.addObserver("CorvaneWillTerminate",
                                   [&](const Notification&) { log.push_back("second"); });
  auto other = center.addObserver("Other", [&](const Notification&) { log.push_back("other"); });
  center.post("CorvaneWillTerminate");
  EXPECT_EQ(log, (std::vector<std::string>{"first:CorvaneWillTerminate", "second"}));
  second.cancel();
  center.post("CorvaneWillTerminate");
  EXPECT_EQ(log.size(), 3u);
}

TEST(VirtualSerialQueueTest, HeldQueueKeepsItsJobsInOrder) {
  VirtualRunLoop loop;
  auto queue = loop.makeQueue("com.example.samples");
  std::vector<int> order;
  queue->hold();
  for (int i = 0; i < 3; ++i)
    queue->post([&order, i, &queue] {
      EXPECT_TRUE(queue->isCurrent());
      order.push_back(i);
    });
  loop.post([&] { order.push_back(100); });
  loop.runUntilIdle();
  EXPECT_EQ(order, std::vector<int>{100});
  EXPECT_TRUE(queue->step());
  EXPECT_EQ(order, (std::vector<int>{100, 0}));
  queue->release();
  loop.runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{100, 0, 1, 2}));
  EXPECT_FALSE(queue->isCurrent());
}

TEST(VirtualRunLoopTest, TimersRunInDueOrderAndAdvanceStopsAtTarget) {
  VirtualRunLoop loop;
  std::vector<std::string> log;
  loop.postAfter(0.5, [&] { log.push_back("b@" + std::to_string(loop.uptime() - 1000)); });
  loop.postAfter(0.25, [&] {
    log.push_back("a");
    loop.postAfter(0.1, [&] { log.push_back("c"); });
  });
  loop.advance(0.4);
  EXPECT_EQ(log, (std::vector<std::string>{"a", "c"}));
  loop.advance(0.1);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[2].substr(0, 5), "b@0.5");
  EXPECT_DOUBLE_EQ(loop.uptime(), 1000.5);
}

TEST(ThreadSerialQueueTest, RunsJobsInOrderOnItsOwnThread) {
  ThreadSerialQueue queue("com.example.thread");
  std::vector<int> seen;
  for (int i = 0; i < 100; ++i) queue.post([&seen, i] { seen.push_back(i); });
  bool onQueue = false;
  queue.runSync([&] { onQueue = queue.isCurrent(); });
  EXPECT_TRUE(onQueue);
  ASSERT_EQ(seen.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
}

TEST(RunLoopTest, RealLoopRunsPostsFromOtherThreadsAndTimers) {
  RunLoop loop;
  ThreadSerialQueue worker("com.example.worker");
  std::vector<std::string> log;
  worker.post([&] { loop.post([&] { log.push_back("posted"); }); });
  loop.postAfter(0.01, [&] {
    log.push_back("timer");
    loop.quit();
  });
  loop.run();
  EXPECT_EQ(log.back(), "timer");
}

}  // namespace
}  // namespace corvane::runtime
