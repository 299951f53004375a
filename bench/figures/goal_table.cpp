#include "figures/goal_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

namespace corvane::bench {

namespace {

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> splitOn(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const auto end = text.find(separator, start);
    parts.push_back(trimmed(text.substr(start, end - start)));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

runtime::Result<Goal> parseGoalLine(std::string_view line, int lineNumber) {
  const auto fail = [lineNumber](const std::string& why) {
    return runtime::Result<Goal>::failure("goals line " + std::to_string(lineNumber) + ": " + why);
  };
  const auto parts = splitOn(line, '|');
  if (parts.size() != 4) return fail("expected figure | record | field | goal");
  Goal goal{std::string(parts[0]), std::string(parts[1]), std::string(parts[2])};
  if (goal.figure.empty() || goal.record.empty() || goal.field.empty())
    return fail("figure, record and field must not be empty");
  std::string_view condition = parts[3];
  if (condition.starts_with("<=")) {
    goal.comparison = Goal::Comparison::atMost;
  } else if (condition.starts_with(">=")) {
    goal.comparison = Goal::Comparison::atLeast;
  } else if (condition.starts_with("==")) {
    goal.comparison = Goal::Comparison::equal;
  } else {
    return fail("the goal must start with <=, >= or ==");
  }
  const std::string number(trimmed(condition.substr(2)));
  char* end = nullptr;
  goal.limit = std::strtod(number.c_str(), &end);
  if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(goal.limit))
    return fail("\"" + number + "\" is not a number");
  return goal;
}

bool matches(const std::string& pattern, const std::string& name) {
  if (!pattern.empty() && pattern.back() == '*')
    return name.starts_with(std::string_view(pattern).substr(0, pattern.size() - 1));
  return pattern == name;
}

std::string number(double value) {
  char text[32];
  const double magnitude = std::fabs(value);
  if (value == std::floor(value) && magnitude < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else if (magnitude >= 100) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else if (magnitude >= 0.01) {
    std::snprintf(text, sizeof text, "%.2f", value);
  } else {
    std::snprintf(text, sizeof text, "%.2g", value);
  }
  return text;
}

std::string goalText(const Goal& goal) {
  switch (goal.comparison) {
    case Goal::Comparison::atMost:
      return "<= " + number(goal.limit);
    case Goal::Comparison::atLeast:
      return ">= " + number(goal.limit);
    case Goal::Comparison::equal:
      return "== " + number(goal.limit);
  }
  return {};
}

bool holds(const Goal& goal, double value) {
  switch (goal.comparison) {
    case Goal::Comparison::atMost:
      return value <= goal.limit;
    case Goal::Comparison::atLeast:
      return value >= goal.limit;
    case Goal::Comparison::equal:
      return value == goal.limit;
  }
  return false;
}

std::string measuredText(const FigureRecord& record, const std::string& field, double value) {
  std::string text = number(value);
  const auto low = record.fields.find(field + "_p25");
  const auto high = record.fields.find(field + "_p75");
  if (low != record.fields.end() && high != record.fields.end())
    text += " (" + number(low->second) + "–" + number(high->second) + ")";
  return text;
}

// Display width: the table's own texts hold a few multi-byte characters (×, –).
std::size_t columns(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

runtime::Result<std::vector<Goal>> parseGoals(std::string_view text) {
  std::vector<Goal> goals;
  int lineNumber = 0;
  for (std::string_view line : splitOn(text, '\n')) {
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;
    auto goal = parseGoalLine(line, lineNumber);
    if (!goal) return goal.error();
    goals.push_back(std::move(goal).value());
  }
  return goals;
}

runtime::Result<std::vector<FigureRecord>> parseFigureRecords(std::string_view json) {
  const auto document = nlohmann::json::parse(json, nullptr, false);
  if (document.is_discarded() || !document.is_object() || !document.contains("benchmarks") ||
      !document["benchmarks"].is_array())
    return runtime::Error{"not a benchmark report: no \"benchmarks\" list"};
  std::vector<FigureRecord> records;
  for (const auto& entry : document["benchmarks"]) {
    if (!entry.is_object() || !entry.contains("name") || !entry["name"].is_string()) continue;
    FigureRecord record{entry["name"].get<std::string>(), {}};
    for (const auto& [key, value] : entry.items()) {
      if (value.is_number()) record.fields[key] = value.get<double>();
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<GoalRow> evaluateGoals(const std::vector<Goal>& goals,
                                   const std::vector<FigureRecord>& records) {
  std::vector<GoalRow> rows;
  for (const Goal& goal : goals) {
    std::vector<const FigureRecord*> matching;
    for (const FigureRecord& record : records)
      if (matches(goal.record, record.name)) matching.push_back(&record);
    if (matching.empty())
      rows.push_back({goal.figure, "not measured", goalText(goal), GoalRow::State::missing});
    for (const FigureRecord* record : matching) {
      // A pattern that matched several records names each row's record.
      const std::string figure =
          matching.size() > 1 ? goal.figure + ": " + record->name : goal.figure;
      const auto value = record->fields.find(goal.field);
      if (value == record->fields.end()) {
        rows.push_back({figure, "not reported", goalText(goal), GoalRow::State::missing});
        continue;
      }
      rows.push_back({figure, measuredText(*record, goal.field, value->second), goalText(goal),
                      holds(goal, value->second) ? GoalRow::State::holds : GoalRow::State::fails});
    }
  }
  return rows;
}

std::string formatGoalTable(const std::vector<GoalRow>& rows) {
  const std::vector<std::string> header{"Figure", "Measured (spread)", "Goal", "Holds"};
  std::vector<std::vector<std::string>> cells{header};
  int held = 0;
  for (const GoalRow& row : rows) {
    const char* state = row.state == GoalRow::State::holds   ? "yes"
                        : row.state == GoalRow::State::fails ? "NO"
                                                             : "missing";
    held += row.state == GoalRow::State::holds ? 1 : 0;
    cells.push_back({row.figure, row.measured, row.goal, state});
  }
  std::vector<std::size_t> widths(header.size(), 0);
  for (const auto& line : cells)
    for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], columns(line[i]));
  std::ostringstream out;
  const auto rule = [&] {
    for (std::size_t i = 0; i < widths.size(); ++i)
      out << (i ? "-+-" : "") << std::string(widths[i], '-');
    out << '\n';
  };
  for (std::size_t l = 0; l < cells.size(); ++l) {
    for (std::size_t i = 0; i < cells[l].size(); ++i) {
      out << (i ? " | " : "") << cells[l][i];
      if (i + 1 < cells[l].size()) out << std::string(widths[i] - columns(cells[l][i]), ' ');
    }
    out << '\n';
    if (l == 0) rule();
  }
  out << held << " of " << rows.size() << " goals hold\n";
  return out.str();
}

}  // namespace corvane::bench
