#include "platform/x11/frame_areas.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane::platform::x11 {
namespace {

FrameArea boundingBox(const FrameArea& a, const FrameArea& b) {
  const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  const int right = std::max(a.x + a.width, b.x + b.width);
  const int bottom = std::max(a.y + a.height, b.y + b.height);
  return FrameArea{left, top, right - left, bottom - top};
}

long long pixels(const FrameArea& area) {
  return static_cast<long long>(area.width) * area.height;
}

bool overlap(const FrameArea& a, const FrameArea& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// Joins runs of neighbours in the list's order (rows of a region come in order) until at most
// `most` are left: a cheap first pass before the pairwise joining.
std::vector<FrameArea> joinRuns(const std::vector<FrameArea>& areas, std::size_t most) {
  const std::size_t run = (areas.size() + most - 1) / most;
  std::vector<FrameArea> joined;
  for (std::size_t i = 0; i < areas.size(); i += run) {
    FrameArea box = areas[i];
    for (std::size_t j = i + 1; j < std::min(areas.size(), i + run); ++j)
      box = boundingBox(box, areas[j]);
    joined.push_back(box);
  }
  return joined;
}

}  // namespace

std::vector<FrameArea> coveringAreas(std::vector<FrameArea> areas, std::size_t most) {
  most = std::max<std::size_t>(1, most);
  std::erase_if(areas, [](const FrameArea& area) { return area.width <= 0 || area.height <= 0; });
  constexpr std::size_t kPairwiseLimit = 32;
  if (areas.size() > kPairwiseLimit) areas = joinRuns(areas, kPairwiseLimit);
  while (areas.size() > 1) {
    // The pair whose bounding box wastes the fewest pixels; overlapping pairs always join.
    std::size_t first = 0, second = 0;
    long long leastWaste = std::numeric_limits<long long>::max();
    bool overlapping = false;
    for (std::size_t i = 0; i < areas.size(); ++i) {
      for (std::size_t j = i + 1; j < areas.size(); ++j) {
        const bool overlaps = overlap(areas[i], areas[j]);
        const long long waste =
            pixels(boundingBox(areas[i], areas[j])) - pixels(areas[i]) - pixels(areas[j]);
        if ((overlaps && !overlapping) || (overlaps == overlapping && waste < leastWaste)) {
          first = i;
          second = j;
          leastWaste = waste;
          overlapping = overlapping || overlaps;
        }
      }
    }
    if (!overlapping && areas.size() <= most) break;
    areas[first] = boundingBox(areas[first], areas[second]);
    areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(second));
  }
  return areas;
}

FrameArea scaledFootprint(const FrameArea& area, int fromWidth, int fromHeight, int toWidth,
                          int toHeight) {
  auto span = [](int start, int length, int from, int to) {
    const double scale = static_cast<double>(to) / from;
    const int low = static_cast<int>(std::floor((start - 1) * scale)) - 1;
    const int high = static_cast<int>(std::ceil((start + length + 1) * scale)) + 1;
    return std::pair{std::clamp(low, 0, to), std::clamp(high, 0, to)};
  };
  const auto [left, right] = span(area.x, area.width, fromWidth, toWidth);
  const auto [top, bottom] = span(area.y, area.height, fromHeight, toHeight);
  return FrameArea{left, top, right - left, bottom - top};
}

long long pixelCount(const std::vector<FrameArea>& areas) {
  long long count = 0;
  for (const auto& area : areas) count += pixels(area);
  return count;
}

std::vector<FrameArea> areasOutside(const std::vector<FrameArea>& areas, const FrameArea& cut) {
  std::vector<FrameArea> outside;
  for (const FrameArea& area : areas) {
    if (area.width <= 0 || area.height <= 0) continue;
    if (cut.width <= 0 || cut.height <= 0 || !overlap(area, cut)) {
      outside.push_back(area);
      continue;
    }
    // The rows above and below the cut, then what lies left and right of it in its rows.
    const int top = std::max(area.y, cut.y);
    const int bottom = std::min(area.y + area.height, cut.y + cut.height);
    const int left = std::max(area.x, cut.x);
    const int right = std::min(area.x + area.width, cut.x + cut.width);
    if (top > area.y) outside.push_back(FrameArea{area.x, area.y, area.width, top - area.y});
    if (bottom < area.y + area.height) {
      outside.push_back(FrameArea{area.x, bottom, area.width, area.y + area.height - bottom});
    }
    if (left > area.x) outside.push_back(FrameArea{area.x, top, left - area.x, bottom - top});
    if (right < area.x + area.width) {
      outside.push_back(FrameArea{right, top, area.x + area.width - right, bottom - top});
    }
  }
  return outside;
}

}  // namespace corvane::platform::x11
