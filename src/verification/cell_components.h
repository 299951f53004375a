#pragma once

#include <vector>

namespace corvane::verification {

// A connected part of the cells of a grid that share a label (four neighbours each): its bounding
// box in cells, inclusive, and how many cells it holds.
struct CellComponent {
  int label = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
  int cells = 0;
};

inline constexpr int kNoCellLabel = -1;

// The connected parts of `labels` (`columns` × `rows` cells, row by row); cells labelled
// kNoCellLabel belong to none. In the order their first cells come.
std::vector<CellComponent> cellComponents(const std::vector<int>& labels, int columns, int rows);

}  // namespace corvane::verification
