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

}  // namespace
}  // namespace corvane::ui
