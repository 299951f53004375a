#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "menubar/menu_bar_popover_input.h"

namespace corvane::menubar {

// One condition of a popover table, named as the table reads ("isDemoModeOn",
// "isInitialSetupComplete is false", "otherwise").
struct PopoverCondition {
  const char* name;
  bool (*holds)(const MenuBarPopoverInput&);
};

template <class Value>
struct PopoverRow {
  PopoverCondition condition;
  Value value;
};

// An ordered table: the first row whose condition holds gives the value. Every table ends with a
// row whose condition always holds, so some row always wins.
template <class Value>
using PopoverTable = std::vector<PopoverRow<Value>>;

// The index of the row that wins for `input`.
template <class Value>
std::size_t winningRow(const PopoverTable<Value>& table, const MenuBarPopoverInput& input) {
  for (std::size_t row = 0; row < table.size(); ++row) {
    if (table[row].condition.holds(input)) return row;
  }
  return table.size() - 1;  // unreachable: the last row is "otherwise"
}

template <class Value>
const Value& firstMatch(const PopoverTable<Value>& table, const MenuBarPopoverInput& input) {
  return table[winningRow(table, input)].value;
}

}  // namespace corvane::menubar
