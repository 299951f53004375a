#include "verification/mask_merging.h"

#include <algorithm>

#include "verification/normalized_geometry.h"

namespace corvane::verification {

using platform::Rect;

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
