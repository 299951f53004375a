// Prints the table that ends `make bench`: every goal of the goals file against the figures the
// benchmark and fuzz reports hold. Exits with 1 when a goal does not hold or was not measured.
// Usage: corvane_goal_table GOALS-FILE REPORT.json…
#include <fstream>
#include <iostream>
#include <sstream>

#include "figures/goal_table.h"

namespace {

bool readFile(const char* path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream contents;
  contents << file.rdbuf();
  text = contents.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvane::bench;
  if (argc < 2) {
    std::cerr << "usage: corvane_goal_table GOALS-FILE REPORT.json…\n";
    return 2;
  }
  std::string text;
  if (!readFile(argv[1], text)) {
    std::cerr << "cannot read the goals file " << argv[1] << "\n";
    return 2;
  }
  auto goals = parseGoals(text);
  if (!goals) {
    std::cerr << argv[1] << ": " << goals.message() << "\n";
    return 2;
  }
  std::vector<FigureRecord> records;
  for (int i = 2; i < argc; ++i) {
    if (!readFile(argv[i], text)) {
      std::cerr << "no report at " << argv[i] << "\n";
      continue;
    }
    auto report = parseFigureRecords(text);
    if (!report) {
      std::cerr << argv[i] << ": " << report.message() << "\n";
      continue;
    }
    records.insert(records.end(), report->begin(), report->end());
  }
  const auto rows = evaluateGoals(*goals, records);
  std::cout << "\n" << formatGoalTable(rows);
  for (const auto& row : rows)
    if (row.state != GoalRow::State::holds) return 1;
  return 0;
}
