#pragma once

#include <vector>

namespace corvane::bench {

// A ratio between a measured path and its reference (a copy of the frame, a root grab), from
// blocks timed in alternation: block i of the path ran right before block i of the reference.
struct RatioFigures {
  int blocks = 0;               // complete pairs of blocks
  double pathSeconds = 0;       // per unit of work: the median over the path's blocks
  double referenceSeconds = 0;  // the same statistic over as many reference blocks
  double ratio = 0;             // the median of the per-pair ratios
  double ratioLow = 0;          // their 25th percentile
  double ratioHigh = 0;         // their 75th percentile
};

// The q-quantile (0…1) of `values`, interpolated between neighbours; 0 for no values.
double quantile(std::vector<double> values, double q);

// Figures from the seconds each block took; the pairs are (path[i], reference[i]), a path block
// held `pathUnitsPerBlock` units of work and a reference block `referenceUnitsPerBlock`. Pairs
// beyond the shorter list are left out.
RatioFigures summarizeBlocks(const std::vector<double>& pathBlockSeconds,
                             const std::vector<double>& referenceBlockSeconds,
                             int pathUnitsPerBlock, int referenceUnitsPerBlock);

}  // namespace corvane::bench
