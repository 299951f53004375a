#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "qt_test_support.h"

namespace corvane::ui {
namespace {

class QtMainExecutorTest : public ::testing::Test, public testing::QtRuntimeFixture {};

TEST_F(QtMainExecutorTest, PostedJobsRunInOrderOnTheQtThread) {
  std::vector<int> order;
  EXPECT_TRUE(executor().isCurrent());
  executor().post([&] { order.push_back(1); });
  executor().post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());  // never inline
  ASSERT_TRUE(processUntil([&] { return order.size() == 2; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(QtMainExecutorTest, JobsPostedFromAnotherThreadRunOnTheMainThread) {
  std::atomic<bool> ranOnMain{false};
  std::atomic<bool> ran{false};
  std::atomic<bool> timerRanOnMain{false};
  std::thread worker([&] {
    EXPECT_FALSE(executor().isCurrent());
    executor().post([&] {
      ranOnMain = executor().isCurrent();
      ran = true;
    });
    executor().postAfter(0.01, [&] { timerRanOnMain = executor().isCurrent(); });
  });
  worker.join();
  ASSERT_TRUE(processUntil([&] { return ran.load() && timerRanOnMain.load(); }));
  EXPECT_TRUE(ranOnMain.load());
}

TEST_F(QtMainExecutorTest, TimersFireAfterTheirDelayInDueOrder) {
  std::vector<int> order;
  const double start = executor().uptime();
  double firedAt = 0;
  executor().postAfter(0.06, [&] {
    order.push_back(2);
    firedAt = executor().uptime();
  });
  executor().postAfter(0.02, [&] { order.push_back(1); });
  ASSERT_TRUE(processUntil([&] { return order.size() == 2; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_GE(firedAt - start, 0.055);
}

// Events that take long to handle, as a huge window's layout does.
class SlowEvents : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    ++handled;
    return true;
  }
  int handled = 0;
};

TEST_F(QtMainExecutorTest, QueuedCallsRunForABoundedTimeAndNothingElse) {
  SlowEvents slow;
  for (int i = 0; i < 1000; ++i) QCoreApplication::postEvent(&slow, new QEvent(QEvent::User));
  std::vector<int> order;
  executor().post([&] {
    order.push_back(1);
    executor().post([&] { order.push_back(2); });  // a cancelled task's next turn
  });
  std::thread worker([&] { executor().post([&] { order.push_back(3); }); });
  worker.join();
  runQueuedCallsFor(50);
  EXPECT_EQ(order, (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(slow.handled, 0);
  QCoreApplication::removePostedEvents(&slow);
}

}  // namespace
}  // namespace corvane::ui
