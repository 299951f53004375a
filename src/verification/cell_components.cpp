#include "verification/cell_components.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <utility>

namespace corvane::verification {

std::vector<CellComponent> cellComponents(const std::vector<int>& labels, int columns, int rows) {
  std::vector<CellComponent> components;
  std::vector<bool> seen(labels.size(), false);
  for (std::size_t start = 0; start < labels.size(); ++start) {
    if (seen[start] || labels[start] == kNoCellLabel) continue;
    CellComponent component{labels[start], columns, rows, -1, -1, 0};
    std::deque<std::size_t> pending{start};
    seen[start] = true;
    while (!pending.empty()) {
      const std::size_t cell = pending.front();
      pending.pop_front();
      ++component.cells;
      const int column = static_cast<int>(cell % columns), row = static_cast<int>(cell / columns);
      component.left = std::min(component.left, column);
      component.right = std::max(component.right, column);
      component.top = std::min(component.top, row);
      component.bottom = std::max(component.bottom, row);
      const std::pair<int, int> neighbours[] = {
          {column - 1, row}, {column + 1, row}, {column, row - 1}, {column, row + 1}};
      for (const auto& [c, r] : neighbours) {
        if (c < 0 || r < 0 || c >= columns || r >= rows) continue;
        const std::size_t next = static_cast<std::size_t>(r) * columns + c;
        if (!seen[next] && labels[next] == component.label) {
          seen[next] = true;
          pending.push_back(next);
        }
      }
    }
    components.push_back(component);
  }
  return components;
}

}  // namespace corvane::verification
