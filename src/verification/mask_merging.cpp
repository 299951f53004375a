#include "verification/mask_merging.h"

#include <algorithm>

#include "verification/normalized_geometry.h"

namespace corvane::verification {

using platform::Rect;

double coveredArea(const std::vector<Rect>& rects) {
  // Sweep over the strips between the distinct edges of x; in each, the covered length of y.
  std::vector<double> xs;
  for (const Rect& r : rects) {
    if (r.isEmpty()) continue;
    xs.push_back(r.minX());
    xs.push_back(r.maxX());
  }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  double area = 0;
  std::vector<std::pair<double, double>> spans;
  for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
    const double x0 = xs[i], x1 = xs[i + 1];
    spans.clear();
    for (const Rect& r : rects) {
      if (!r.isEmpty() && r.minX() <= x0 && r.maxX() >= x1) spans.push_back({r.minY(), r.maxY()});
    }
    std::sort(spans.begin(), spans.end());
    double length = 0, top = 0, bottom = 0;
    bool open = false;
    for (const auto& [y0, y1] : spans) {
      if (open && y0 <= bottom) {
        bottom = std::max(bottom, y1);
        continue;
      }
      if (open) length += bottom - top;
      top = y0, bottom = y1, open = true;
    }
    if (open) length += bottom - top;
    area += length * (x1 - x0);
  }
  return area;
}

int maskAreaOf(const Rect& box, const MaskAreas& areas) {
  const platform::Point middle = centre(box);
  for (std::size_t i = 0; i < areas.size(); ++i) {
    for (const Rect& shown : areas[i])
      if (shown.contains(middle)) return static_cast<int>(i);
  }
  return -1;
}

bool MaskGroup::mayJoin(const MaskGroup& other) const {
  constexpr double kSpareShareOfAll = 0.1;
  constexpr double kSpareShareOfTheSmaller = 1.5;
  if (area_ != other.area_) return false;
  std::vector<Rect> all = parts_;
  all.insert(all.end(), other.parts_.begin(), other.parts_.end());
  const double covered = coveredArea(all);
  const double beyond = unionRect(box_, other.box_).area() - covered;
  const double smaller = std::min(coveredArea(parts_), coveredArea(other.parts_));
  return beyond <= std::max(kSpareShareOfAll * covered, kSpareShareOfTheSmaller * smaller);
}

void MaskGroup::join(const MaskGroup& other) {
  box_ = unionRect(box_, other.box_);
  parts_.insert(parts_.end(), other.parts_.begin(), other.parts_.end());
}

}  // namespace corvane::verification
