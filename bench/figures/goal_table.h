#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/result.h"

namespace corvane::bench {

// A promise a figure must keep, read from one line of the goals file:
//
//     figure as the table shows it | record | field | <= 1.5
//
// `record` names a benchmark (as Google Benchmark reports it) or a fuzz target; a trailing `*`
// matches every record that starts with what precedes it (one row each, named after its record
// when there are several). `field` is a counter of
// that record. The goal is `<=`, `>=` or `==` and a number. Blank lines and lines starting with
// `#` are skipped.
struct Goal {
  enum class Comparison { atMost, atLeast, equal };

  std::string figure;
  std::string record;
  std::string field;
  Comparison comparison = Comparison::atMost;
  double limit = 0;
};

runtime::Result<std::vector<Goal>> parseGoals(std::string_view text);

// What one benchmark or fuzz target reported: its name and its numeric fields.
struct FigureRecord {
  std::string name;
  std::map<std::string, double> fields;
};

// The records of a Google Benchmark JSON report (or a fuzz summary in the same shape:
// {"benchmarks": [{"name": …, "executions": …, "findings": …}]}); non-numeric fields are left out.
runtime::Result<std::vector<FigureRecord>> parseFigureRecords(std::string_view json);

struct GoalRow {
  enum class State { holds, fails, missing };

  std::string figure;
  std::string measured;  // the value, with its spread (25th–75th percentile) where reported
  std::string goal;
  State state = State::missing;
};

// One row per goal and matching record; a goal whose record or field is absent is `missing`.
std::vector<GoalRow> evaluateGoals(const std::vector<Goal>& goals,
                                   const std::vector<FigureRecord>& records);

// The rows as an aligned text table with a header and a closing count of goals held.
std::string formatGoalTable(const std::vector<GoalRow>& rows);

}  // namespace corvane::bench
