#include "figures/goal_table.h"

#include <gtest/gtest.h>

namespace corvane::bench {
namespace {

TEST(GoalTableTest, ReadsOneGoalPerLineAndSaysWhichLineIsWrong) {
  const auto goals = parseGoals(
      "# comment\n"
      "\n"
      "Delivery × copy | BM_Delivery/1920/1080 | ratio_to_memcpy | <= 1.5\n"
      "Frames a second | BM_Composed | frames_per_second | >= 60\n"
      "Findings | fuzz_* | findings | == 0\n");
  ASSERT_TRUE(goals.ok()) << goals.message();
  ASSERT_EQ(goals->size(), 3u);
  EXPECT_EQ((*goals)[0].figure, "Delivery × copy");
  EXPECT_EQ((*goals)[0].record, "BM_Delivery/1920/1080");
  EXPECT_EQ((*goals)[0].field, "ratio_to_memcpy");
  EXPECT_EQ((*goals)[0].comparison, Goal::Comparison::atMost);
  EXPECT_EQ((*goals)[0].limit, 1.5);
  EXPECT_EQ((*goals)[1].comparison, Goal::Comparison::atLeast);
  EXPECT_EQ((*goals)[2].comparison, Goal::Comparison::equal);

  EXPECT_EQ(parseGoals("a | b | c | < 2\n").message(),
            "goals line 1: the goal must start with <=, >= or ==");
  EXPECT_EQ(parseGoals("# x\na | b | <= 2\n").message(),
            "goals line 2: expected figure | record | field | goal");
  EXPECT_EQ(parseGoals("a | b | c | <= two\n").message(), "goals line 1: \"two\" is not a number");
  EXPECT_EQ(parseGoals("a |  | c | <= 2\n").message(),
            "goals line 1: figure, record and field must not be empty");
}

TEST(GoalTableTest, EveryGoalGetsARowThatHoldsFailsOrIsMissing) {
  const auto records = parseFigureRecords(R"({"context": {}, "benchmarks": [
      {"name": "BM_Delivery", "run_type": "iteration", "ratio_to_memcpy": 1.21,
       "ratio_to_memcpy_p25": 1.17, "ratio_to_memcpy_p75": 1.29},
      {"name": "BM_Composed/min_time:1.000/real_time", "frames_per_second": 45.5},
      {"name": "fuzz_a", "executions": 120000, "findings": 0},
      {"name": "fuzz_b", "executions": 9000, "findings": 2}]})");
  ASSERT_TRUE(records.ok()) << records.message();
  const auto goals = parseGoals(
      "Delivery | BM_Delivery | ratio_to_memcpy | <= 1.5\n"
      "Frames | BM_Composed/* | frames_per_second | >= 60\n"
      "Presentation | BM_Present | ratio_to_memcpy | <= 2\n"
      "Unreported | BM_Delivery | frame_us | <= 1\n"
      "Findings | fuzz_* | findings | == 0\n");
  const auto rows = evaluateGoals(*goals, *records);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0].measured, "1.21 (1.17–1.29)");
  EXPECT_EQ(rows[0].goal, "<= 1.50");
  EXPECT_EQ(rows[0].state, GoalRow::State::holds);
  EXPECT_EQ(rows[1].figure, "Frames");
  EXPECT_EQ(rows[1].measured, "45.50");
  EXPECT_EQ(rows[1].state, GoalRow::State::fails);
  EXPECT_EQ(rows[2].measured, "not measured");
  EXPECT_EQ(rows[2].state, GoalRow::State::missing);
  EXPECT_EQ(rows[3].measured, "not reported");
  EXPECT_EQ(rows[3].state, GoalRow::State::missing);
  EXPECT_EQ(rows[4].figure, "Findings: fuzz_a");
  EXPECT_EQ(rows[4].state, GoalRow::State::holds);
  EXPECT_EQ(rows[5].figure, "Findings: fuzz_b");
  EXPECT_EQ(rows[5].state, GoalRow::State::fails);

  const std::string table = formatGoalTable(rows);
  EXPECT_NE(table.find("Figure"), std::string::npos);
  EXPECT_NE(table.find("Findings: fuzz_b | 2 "), std::string::npos) << table;
  EXPECT_NE(table.find("2 of 6 goals hold"), std::string::npos) << table;

  EXPECT_FALSE(parseFigureRecords("{\"benchmarks\": 3}").ok());
  EXPECT_FALSE(parseFigureRecords("not json").ok());
}

}  // namespace
}  // namespace corvane::bench
