#include "figures/ratio_statistics.h"

#include <algorithm>
#include <cmath>

namespace corvane::bench {

double quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double position = std::clamp(q, 0.0, 1.0) * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(position));
  const auto above = std::min(below + 1, values.size() - 1);
  const double fraction = position - static_cast<double>(below);
  return values[below] + (values[above] - values[below]) * fraction;
}

RatioFigures summarizeBlocks(const std::vector<double>& pathBlockSeconds,
                             const std::vector<double>& referenceBlockSeconds,
                             int pathUnitsPerBlock, int referenceUnitsPerBlock) {
  RatioFigures figures;
  const std::size_t pairs =
      std::min(pathBlockSeconds.size(),
               referenceBlockSeconds.empty() ? 0 : referenceBlockSeconds.size() - 1);
  if (pairs == 0 || pathUnitsPerBlock <= 0 || referenceUnitsPerBlock <= 0) return figures;
  const double unitsRatio = static_cast<double>(referenceUnitsPerBlock) / pathUnitsPerBlock;
  std::vector<double> path(pathBlockSeconds.begin(), pathBlockSeconds.begin() + pairs);
  std::vector<double> reference;
  std::vector<double> ratios;
  for (std::size_t i = 0; i < pairs; ++i) {
    reference.push_back((referenceBlockSeconds[i] + referenceBlockSeconds[i + 1]) / 2);
    if (reference.back() > 0) ratios.push_back(path[i] / reference.back() * unitsRatio);
  }
  figures.blocks = static_cast<int>(pairs);
  figures.pathSeconds = quantile(path, 0.5) / pathUnitsPerBlock;
  figures.referenceSeconds = quantile(reference, 0.5) / referenceUnitsPerBlock;
  figures.ratio = quantile(ratios, 0.5);
  figures.ratioLow = quantile(ratios, 0.25);
  figures.ratioHigh = quantile(ratios, 0.75);
  return figures;
}

}  // namespace corvane::bench
