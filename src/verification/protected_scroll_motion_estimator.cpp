#include "verification/protected_scroll_motion_estimator.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "verification/normalized_geometry.h"

namespace corvane::verification {

namespace {

constexpr int kMinimumSide = 128;
constexpr int kMinimumSamples = 12;
constexpr int kPenaltyCap = 64;
constexpr int kCoarseStep = 8;
constexpr int kFineReach = 7;

struct SamplingGrid {
  int xStep = 0;
  int xMargin = 0;
  int yStep = 0;
  int yMargin = 0;
  int largestShift = 0;
};

SamplingGrid gridFor(int width, int height) {
  SamplingGrid grid;
  grid.xStep = width < 960 ? 24 : width / 40;
  grid.xMargin = width < 384 ? 24 : width / 16;
  if (height >= 700) {
    grid.yStep = height / 35;
    grid.yMargin = height / 18;
  } else if (width >= 960) {
    grid.yStep = 20;
    grid.yMargin = std::max(height / 18, 20);
  } else {
    grid.yStep = 20;
    grid.yMargin = height < 360 ? 20 : height / 18;
  }
  grid.largestShift = std::min(height / 3, 768);
  return grid;
}

int luminance(const std::uint8_t* bgra) {
  return (bgra[0] + 2 * bgra[1] + bgra[2]) / 4;
}

// Samples sit on a few columns; the previous frame's luminance down each of them is read once,
// so the shift search runs on a small table instead of striding through the frame.
struct Samples {
  std::vector<int> y;
  std::vector<int> column;  // index into the columns' luminance table
  std::vector<int> currentLuminance;
  int rowBegin = 0;  // first row of the table
  int rowCount = 0;
  std::vector<std::uint8_t> previousLuminance;  // [column][row - rowBegin]

  int size() const { return static_cast<int>(y.size()); }
};

Samples collectSamples(const platform::PixelBuffer& current, const platform::PixelBuffer& previous,
                       const SamplingGrid& grid, const std::vector<platform::Rect>& rects) {
  const int width = current.width();
  const int height = current.height();
  Samples samples;
  samples.y.reserve(1600);
  samples.column.reserve(1600);
  samples.currentLuminance.reserve(1600);
  std::vector<int> columnX;
  for (int y = grid.yMargin; y < height - grid.yMargin; y += grid.yStep) {
    const std::uint8_t* row = current.data() + static_cast<std::size_t>(y) * current.bytesPerRow();
    int column = 0;
    for (int x = grid.xMargin; x < width - grid.xMargin; x += grid.xStep, ++column) {
      const platform::Point point{static_cast<double>(x) / width, static_cast<double>(y) / height};
      const bool inside = std::any_of(rects.begin(), rects.end(),
                                      [&](const platform::Rect& r) { return r.contains(point); });
      if (!inside) continue;
      if (column >= static_cast<int>(columnX.size())) columnX.resize(column + 1, -1);
      columnX[column] = x;
      samples.y.push_back(y);
      samples.column.push_back(column);
      samples.currentLuminance.push_back(luminance(row + static_cast<std::size_t>(x) * 4));
    }
  }
  if (samples.size() < kMinimumSamples) return samples;
  samples.rowBegin = grid.yMargin;
  samples.rowCount = std::max(height - 2 * grid.yMargin, 0);
  samples.previousLuminance.assign(columnX.size() * samples.rowCount, 0);
  for (int r = 0; r < samples.rowCount; ++r) {
    const std::uint8_t* row =
        previous.data() + static_cast<std::size_t>(samples.rowBegin + r) * previous.bytesPerRow();
    for (std::size_t column = 0; column < columnX.size(); ++column) {
      if (columnX[column] < 0) continue;
      samples.previousLuminance[column * samples.rowCount + r] =
          static_cast<std::uint8_t>(luminance(row + static_cast<std::size_t>(columnX[column]) * 4));
    }
  }
  return samples;
}

// Mean capped luminance difference between each sample and the previous frame `shift` rows up;
// the largest double when too few samples land inside the sampled band.
double costOf(const Samples& samples, int shift) {
  const int n = samples.size();
  const int required = n < 36 ? kMinimumSamples : n / 3;
  long total = 0;
  int used = 0;
  for (int i = 0; i < n; ++i) {
    const int r = samples.y[i] - shift - samples.rowBegin;
    if (r < 0 || r >= samples.rowCount) continue;
    const int before =
        samples
            .previousLuminance[static_cast<std::size_t>(samples.column[i]) * samples.rowCount + r];
    total += std::min(std::abs(samples.currentLuminance[i] - before), kPenaltyCap);
    ++used;
  }
  if (used < required || used == 0) return std::numeric_limits<double>::max();
  return static_cast<double>(total) / used;
}

}  // namespace

std::optional<int> ProtectedScrollMotionEstimator::verticalTranslation(
    const platform::PixelBuffer& current, const platform::PixelBuffer& previous,
    double changedAreaFraction, const std::vector<platform::Rect>& changedRects) {
  if (!(changedAreaFraction >= 0.1 && changedAreaFraction <= 1.0)) return std::nullopt;
  const int width = current.width();
  const int height = current.height();
  if (previous.width() != width || previous.height() != height ||
      previous.bytesPerRow() != current.bytesPerRow() || width < kMinimumSide ||
      height < kMinimumSide)
    return std::nullopt;

  const SamplingGrid grid = gridFor(width, height);
  std::vector<platform::Rect> rects;
  for (const auto& rect : changedRects) {
    const auto clipped = rect.standardized().intersection(kUnitRect);
    if (!clipped.isEmpty()) rects.push_back(clipped);
  }
  const Samples samples = collectSamples(current, previous, grid, rects);
  if (samples.size() < kMinimumSamples) return std::nullopt;

  const double baseline = costOf(samples, 0);
  int best = 0;
  double bestCost = baseline;
  auto consider = [&](int shift) {
    const double cost = costOf(samples, shift);
    if (cost < bestCost) {
      best = shift;
      bestCost = cost;
    }
  };
  for (int shift = -grid.largestShift; shift <= grid.largestShift; shift += kCoarseStep)
    consider(shift);
  const int coarseBest = best;
  for (int shift = coarseBest - kFineReach; shift <= coarseBest + kFineReach; ++shift) {
    if (std::abs(shift) <= grid.largestShift) consider(shift);
  }

  const bool explainsChange = std::abs(best) >= 3 && baseline >= 3.0 && bestCost <= 36.0 &&
                              bestCost <= 0.88 * baseline && baseline - bestCost >= 3.0;
  if (!explainsChange) return std::nullopt;
  return best;
}

}  // namespace corvane::verification
