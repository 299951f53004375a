#pragma once

#include <vector>

namespace corvane::bench {

// A ratio between a measured path and its reference (a copy of the frame, a root grab), from
// blocks timed in alternation, reference first and last: R0 P1 R1 P2 R2 … Pn Rn. Each path block
// is compared with the mean of the two reference blocks around it, so a machine that slows down
// or speeds up during the run weighs on both sides alike.
struct RatioFigures {
  int blocks = 0;               // path blocks with a reference block on either side
  double pathSeconds = 0;       // per unit of work: the median over the path's blocks
  double referenceSeconds = 0;  // the same statistic over as many bracketing reference means
  double ratio = 0;             // the median of the per-pair ratios
  double ratioLow = 0;          // their 25th percentile
  double ratioHigh = 0;         // their 75th percentile
};

// The q-quantile (0…1) of `values`, interpolated between neighbours; 0 for no values.
double quantile(std::vector<double> values, double q);

// Figures from the seconds each block took: path[i] ran between reference[i] and reference[i + 1];
// a path block held `pathUnitsPerBlock` units of work and a reference block
// `referenceUnitsPerBlock`. A path block without a reference block after it is left out.
RatioFigures summarizeBlocks(const std::vector<double>& pathBlockSeconds,
                             const std::vector<double>& referenceBlockSeconds,
                             int pathUnitsPerBlock, int referenceUnitsPerBlock);

}  // namespace corvane::bench
